// The accessor's own rules around the algorithm it owns: the lifecycle it
// drives, the value records it keeps and which calls it forwards, stores,
// answers itself or refuses; the parameter values as component state; and
// what the measuring accessor adds around every processing call: the
// output-silence flag the processor uses to skip work, and the input and
// output peaks behind the level meters.

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

#include "AlgoTestSupport.h"
#include "dsp/AlgoAccessorVu.h"

namespace DSP::testing {
namespace {

using Events = std::vector<std::string>;

class AccessorTest : public ::testing::Test {
protected:
    void SetUp() override { accessor = makeAccessor(log, algo); }

    // Clears what the set-up produced so a test sees only its own calls.
    void forgetCalls() {
        log.events.clear();
        log.setValues.clear();
    }

    void expectCounts(int32_t inputs, int32_t outputs, int32_t aux) {
        EXPECT_EQ(accessor->inputChannels(), inputs);
        EXPECT_EQ(accessor->outputChannels(), outputs);
        EXPECT_EQ(accessor->auxChannels(), aux);
    }

    // The values as handed to the algorithm when all are pushed: in table order with their ids.
    static std::vector<std::pair<int32_t, double>> pushed(const std::vector<double>& values) {
        std::vector<std::pair<int32_t, double>> calls;
        for (size_t i = 0; i < kMeterIds.size(); ++i) calls.emplace_back(kMeterIds[i], values[i]);
        return calls;
    }

    // After an accepted set-up: the algorithm's calls, then every stored value pushed.
    void expectPushedAfter(const Events& calls) {
        EXPECT_EQ(log.events, calls);
        EXPECT_EQ(log.setValues, pushed(storedValues(*accessor)));
        forgetCalls();
    }

    void setAll(const std::vector<double>& values) {
        for (size_t i = 0; i < kMeterIds.size(); ++i) accessor->setValue(kMeterIds[i], values[i]);
    }

    // Records with the meter's ids in table order.
    static std::vector<SavedRecord> meterRecords(const std::vector<double>& values) {
        std::vector<SavedRecord> records;
        for (size_t i = 0; i < kMeterIds.size(); ++i)
            records.push_back({Param::meterParameters()[i].name, kMeterIds[i], values[i]});
        return records;
    }

    // The whole component state as the processor saves it: its length word, then the accessor's records.
    std::vector<uint8_t> savedByAccessor() {
        NivoloHost::MemoryStream stream;
        std::vector<uint8_t> word;
        Zel::LittleEndianWriter(word).writeInt32(12 * 144);
        int32_t written = 0;
        EXPECT_EQ(stream.write(word.data(), 4, &written), Zel::kResultOk);
        EXPECT_EQ(accessor->writeValues(&stream), 0);
        return stream.bytes();
    }

    AlgoLog log; // declared first: outlives the accessor and its algorithm
    RecordingAlgo* algo = nullptr;
    std::unique_ptr<AlgoAccessor> accessor;
};

// ---- lifecycle -----------------------------------------------------------------

TEST(AccessorLifecycle, BindingTheTableInitialisesAndResetsDestructionTerminatesThenDestroys) {
    AlgoLog log;
    auto accessor = std::make_unique<AlgoAccessor>(48000.0, 1024u, Param::kMeterParameterCount,
                                                   Param::meterParameters());
    accessor->attachAlgorithm(new RecordingAlgo(log));
    EXPECT_TRUE(log.events.empty()); // attaching alone does nothing to it
    accessor->setParameterTable(Param::meterParameters());
    accessor.reset();
    EXPECT_EQ(log.events, (Events{"initialize", "reset", "terminate", "destroy"}));
}

// ---- value records -------------------------------------------------------------

// Non-zero defaults, so the records cannot pass by being zero-initialised; an
// empty key name falls back to the title; a repeated id is stored in its
// first record; only the first bypass flag makes the bypass parameter.
TEST(AccessorRecords, DefaultsTitlesRepeatedIdsAndTheFirstBypassComeFromTheTable) {
    static const Param::ParameterRecord table[] = {
        makeParameter(21, "gain", "Gain", -10, 10, 2.5),
        makeParameter(22, "", "Untitled Key", 0, 1, 0.75),
        makeParameter(33, "mute", "Mute", 0, 1, 1.0, Param::ParameterRecord::kBypass),
        makeParameter(34, "mute2", "Mute2", 0, 1, 0.0, Param::ParameterRecord::kBypass),
        makeParameter(21, "gain2", "Gain2", -10, 10, 4.0),
    };
    AlgoLog log;
    RecordingAlgo* algo = nullptr;
    auto accessor = makeAccessor(log, algo, table, 5);
    EXPECT_STREQ(accessor->getValueRecords()[0].name, "gain");
    EXPECT_STREQ(accessor->getValueRecords()[1].name, "Untitled Key");
    EXPECT_EQ(storedValues(*accessor), (std::vector<double>{2.5, 0.75, 1.0, 0.0, 4.0}));
    accessor->setValue(21, 7.0);
    EXPECT_EQ(storedValues(*accessor), (std::vector<double>{7.0, 0.75, 1.0, 0.0, 4.0}));
    EXPECT_EQ(accessor->bypassParameterId(), 33);
    EXPECT_EQ(accessor->getValue(33), 1.0);   // answered from the record
    EXPECT_EQ(accessor->getValue(34), 340.5); // a later bypass flag is an ordinary id
    EXPECT_EQ(log.getValues, (std::vector<int32_t>{34}));

    // Without any bypass parameter every read is the algorithm's, even of id 0.
    static const Param::ParameterRecord plain[] = {makeParameter(0, "level", "Level", 0, 1, 0.25)};
    auto withoutBypass = makeAccessor(log, algo, plain, 1);
    EXPECT_EQ(withoutBypass->getValue(0), 0.5);
}

// ---- values: forward, store, answer --------------------------------------------

TEST_F(AccessorTest, EveryValueReachesTheAlgorithmAndOnlyParameterIdsAreStored) {
    forgetCalls();
    accessor->setValue(27, 0.3); // a measurement id
    accessor->setValue(10, 42.0);
    accessor->setValue(0, 1.0);
    EXPECT_EQ(log.setValues, (std::vector<std::pair<int32_t, double>>{{27, 0.3}, {10, 42.0}, {0, 1.0}}));
    auto expected = std::vector<double>(12, 0.0);
    expected[5] = 42.0;
    expected[11] = 1.0;
    EXPECT_EQ(storedValues(*accessor), expected);

    // Reads are the algorithm's answers, even of a stored parameter; the bypass comes from its record.
    EXPECT_EQ(accessor->getValue(0), 1.0);
    EXPECT_EQ(accessor->getValue(10), 100.5);
    EXPECT_EQ(accessor->getValue(27), 270.5);
    EXPECT_EQ(log.getValues, (std::vector<int32_t>{10, 27}));
}

TEST_F(AccessorTest, SettingTheBlockSizeForwardsItThenPushesEveryStoredValue) {
    accessor->setValue(48, 1.0);
    accessor->setValue(10, 12.5);
    forgetCalls();
    accessor->setMaxSamplesPerCall(512);
    expectPushedAfter({"maxSamples 512"});
}

// ---- channel set-up ------------------------------------------------------------

TEST_F(AccessorTest, AnAcceptedSetUpStoresTheCountsThenPushesEveryValue) {
    forgetCalls();
    EXPECT_EQ(accessor->setChannels(2, 2, 1), 0);
    expectCounts(2, 2, 1);
    expectPushedAfter({"setChannels 2 2 1"});

    EXPECT_EQ(accessor->setChannelsAndArrangement(6, 6, 0, 0x3F), 0);
    expectCounts(6, 6, 0);
    expectPushedAfter({"setChannelsAndArrangement 6 6 0 63"});

    // An algorithm that cannot take arrangements gets their speaker counts as channels.
    EXPECT_EQ(accessor->setArrangements(0x3, 0x3, 0x1), 0);
    expectCounts(2, 2, 1);
    expectPushedAfter({"setArrangements 3 3 1", "setChannels 2 2 1"});

    // One that takes them gets them as they are, without the detour.
    algo->implementsArrangements = true;
    EXPECT_EQ(accessor->setArrangements(0x3F, 0x3F, 0x3), 0);
    expectCounts(6, 6, 2);
    expectPushedAfter({"setArrangements 63 63 3"});
}

// Unequal or zero counts never reach the algorithm; what the algorithm refuses
// is not stored either. Nothing is pushed, the last accepted counts stay.
TEST_F(AccessorTest, RefusedSetUpsChangeNothingAndPushNothing) {
    forgetCalls();
    EXPECT_EQ(accessor->setChannels(2, 1, 0), 1);
    EXPECT_EQ(accessor->setChannels(0, 0, 0), 1);
    EXPECT_EQ(accessor->setChannels(1, 2, 0), 1);
    EXPECT_EQ(accessor->setChannelsAndArrangement(2, 1, 0, 3), 1);
    EXPECT_EQ(accessor->setChannelsAndArrangement(0, 0, 0, 0), 1);
    EXPECT_EQ(accessor->setArrangements(0x3, 0x1, 0), 1); // stereo in, mono out
    EXPECT_EQ(accessor->setArrangements(0, 0, 0), 1);
    EXPECT_EQ(log.events, (Events{"setArrangements 3 1 0", "setArrangements 0 0 0"}));
    EXPECT_TRUE(log.setValues.empty());
    expectCounts(0, 0, 0);

    ASSERT_EQ(accessor->setChannels(2, 2, 1), 0);
    forgetCalls();
    algo->channelsResult = 1;
    EXPECT_EQ(accessor->setChannels(6, 6, 0), 1);
    EXPECT_EQ(accessor->setChannelsAndArrangement(6, 6, 0, 0x3F), 1);
    EXPECT_EQ(accessor->setArrangements(0x3F, 0x3F, 0), 1);
    algo->implementsArrangements = true;
    algo->arrangementsResult = 1;
    EXPECT_EQ(accessor->setArrangements(0x3, 0x3, 0), 1);
    EXPECT_EQ(log.events, (Events{"setChannels 6 6 0", "setChannelsAndArrangement 6 6 0 63", "setArrangements 63 63 0",
                                  "setChannels 6 6 0", "setArrangements 3 3 0"}));
    EXPECT_TRUE(log.setValues.empty());
    expectCounts(2, 2, 1);
}

constexpr int32_t kRecordStride = 144; // the length word counts in-memory records
constexpr int32_t kSavedSize = 140;    // what one record takes in the stream
constexpr int32_t kFullLength = 12 * kRecordStride;

// Minima and maxima of the meter parameters, in table order.
const std::vector<double> kMinima = {-80, -80, -80, -80, -80, 0, -80, 0, 0, 0, 0, 0};
const std::vector<double> kMaxima = {48, 48, 48, 48, 48, 100, 48, 1, 1, 1, 1, 1};

// In-range values that differ from every default.
const std::vector<double> kSomeValues = {-23.25, 5.5, -80.0, 48.0, 0.125, 12.5, -3.0, 1.0, 1.0, 1.0, 1.0, 1.0};

class StateTest : public AccessorTest {};

// ---- saving --------------------------------------------------------------------

// Each record: the name zero-padded to 128 bytes, then the id and the value,
// little-endian; with the processor's length word in front, the whole state.
TEST_F(StateTest, TwelveRecordsOf140BytesMakeA1684ByteStateWithLengthWord1728) {
    setAll(kSomeValues);
    const std::vector<uint8_t> b = savedByAccessor();
    ASSERT_EQ(b.size(), 1684u);
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 4), (std::vector<uint8_t>{0xC0, 0x06, 0, 0})); // 1728
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 4, b.end()), savedRecords(meterRecords(kSomeValues)));
    // Record 5 (loudness range, id 10 = 12.5) spelled out byte for byte.
    const std::vector<uint8_t> expected = {0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x29, 0x40};
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 4 + 5 * kSavedSize + 128, b.begin() + 4 + 6 * kSavedSize), expected);
}

// ---- restoring -----------------------------------------------------------------

TEST_F(StateTest, AFreshAccessorRestoresAllTwelveValuesAndHandsThemToItsAlgorithm) {
    setAll(kSomeValues);
    NivoloHost::MemoryStream stream(savedByAccessor());

    AlgoLog freshLog;
    RecordingAlgo* freshAlgo = nullptr;
    auto fresh = makeAccessor(freshLog, freshAlgo);
    ASSERT_EQ(storedValues(*fresh), std::vector<double>(12, 0.0));
    EXPECT_EQ(restore(*fresh, stream), 0);
    EXPECT_EQ(storedValues(*fresh), kSomeValues);
    EXPECT_EQ(freshLog.setValues, pushed(kSomeValues));

    // Names and order do not matter: records are matched by id.
    auto records = meterRecords(kMaxima);
    std::reverse(records.begin(), records.end());
    for (auto& r : records) r.name = "misnamed";
    NivoloHost::MemoryStream reordered(savedState(records));
    EXPECT_EQ(restore(*fresh, reordered), 0);
    EXPECT_EQ(storedValues(*fresh), kMaxima);
    EXPECT_STREQ(fresh->getValueRecords()[0].name, Param::meterParameters()[0].name);
}

TEST_F(StateTest, ValuesOutsideTheirRangeComeBackAsTheNearestLimit) {
    // Reversed, so every value must be held against its own parameter's range.
    std::vector<double> above, below;
    for (size_t i = 0; i < 12; ++i) {
        above.push_back(kMaxima[i] + 1000.0);
        below.push_back(kMinima[i] - 0.5);
    }
    for (const auto* values : {&above, &below}) {
        auto records = meterRecords(*values);
        std::reverse(records.begin(), records.end());
        NivoloHost::MemoryStream stream(savedState(records));
        EXPECT_EQ(restore(*accessor, stream), 0);
        EXPECT_EQ(storedValues(*accessor), values == &above ? kMaxima : kMinima);
    }
}

// Unknown ids are skipped without being handed on; of an id saved twice the first value counts.
TEST_F(StateTest, RecordsWithUnknownIdsAreSkippedAndAnIdSavedTwiceTakesItsFirstValue) {
    setAll(kSomeValues);
    log.setValues.clear();
    NivoloHost::MemoryStream stream(savedState(
        {{"ghost", 99, 5.0}, {"loudnessRange", 10, 3.0}, {"rms", 27, 0.5}, {"loudnessRange", 10, 4.0}}));
    EXPECT_EQ(restore(*accessor, stream), 0);
    auto expected = kSomeValues;
    expected[5] = 3.0;
    EXPECT_EQ(storedValues(*accessor), expected);
    EXPECT_EQ(log.setValues, pushed(expected)); // the stored values, pushed afterwards
}

TEST_F(StateTest, TheRecordCountIsTheLengthWordOver144) {
    // Leftover bytes below one stride do not make another record.
    NivoloHost::MemoryStream padded(savedState(meterRecords(kSomeValues), kFullLength + kRecordStride - 1));
    EXPECT_EQ(restore(*accessor, padded), 0);
    EXPECT_EQ(storedValues(*accessor), kSomeValues);

    // A length word counted in saved-record sizes names only eleven records.
    AlgoLog freshLog;
    RecordingAlgo* freshAlgo = nullptr;
    auto fresh = makeAccessor(freshLog, freshAlgo);
    NivoloHost::MemoryStream packed(savedState(meterRecords(kSomeValues), 12 * kSavedSize));
    EXPECT_EQ(restore(*fresh, packed), 0);
    auto expected = kSomeValues;
    expected[11] = 0.0;
    EXPECT_EQ(storedValues(*fresh), expected);
}

// A length word naming more records than the table has, or a negative one
// (-1 and -143 divide to a count of 0 and once pushed every value again):
// nothing is read after the length word, no value changes, none is pushed.
TEST_F(StateTest, AStateWithTooManyRecordsOrANegativeLengthIsIgnoredEntirely) {
    setAll(kSomeValues);
    auto records = meterRecords(kMaxima);
    records.push_back({"extra", 99, 1.0});
    for (int32_t length : {13 * kRecordStride, -1, -kRecordStride + 1, -kRecordStride, -kFullLength, INT_MIN}) {
        SCOPED_TRACE(length);
        log.setValues.clear();
        NivoloHost::MemoryStream stream(savedRecords(records));
        EXPECT_NE(accessor->readValues(&stream, length), 0);
        EXPECT_EQ(storedValues(*accessor), kSomeValues);
        EXPECT_TRUE(log.setValues.empty());
        int64_t position = -1;
        stream.tell(&position);
        EXPECT_EQ(position, 0);
    }
    std::vector<ValueRecord> inMemory(13);
    for (auto& r : inMemory) {
        r.id = 10;
        r.value = 9.0;
    }
    EXPECT_NE(accessor->readValuesFromMemory(inMemory.data(), 13 * kRecordStride), 0);
    EXPECT_EQ(storedValues(*accessor), kSomeValues);
    EXPECT_TRUE(log.setValues.empty());
}

TEST_F(StateTest, ACutShortStateChangesNoValueAtAnyLength) {
    setAll(kSomeValues);
    std::vector<double> other;
    for (double v : kSomeValues) other.push_back(v == 1.0 ? 0.0 : v / 2);
    const auto body = savedRecords(meterRecords(other));
    ASSERT_EQ(body.size(), 1680u);
    for (size_t cut = 0; cut < body.size(); ++cut) {
        NivoloHost::MemoryStream stream(body);
        stream.truncate(cut);
        accessor->readValues(&stream, kFullLength);
        ASSERT_EQ(storedValues(*accessor), kSomeValues) << "cut at " << cut;
    }
    NivoloHost::MemoryStream whole(body);
    EXPECT_EQ(accessor->readValues(&whole, kFullLength), 0);
    EXPECT_EQ(storedValues(*accessor), other);
}

// ---- restoring from memory -----------------------------------------------------

// Matched by id as from a stream, but not clamped; records past the byte
// length are not read.
TEST_F(StateTest, InMemoryRecordsAreMatchedByIdUnclampedThenPushed) {
    setAll(kSomeValues);
    log.setValues.clear();
    ValueRecord records[5] = {};
    std::strcpy(records[0].name, "whatever");
    records[0].id = 10;
    records[0].value = 250.0; // above the maximum of 100: kept as is
    records[1].id = 99;       // unknown
    records[1].value = 7.0;
    records[2].id = 1;
    records[2].value = -200.0;
    records[3].id = 0;
    records[3].value = 0.5;
    records[4].id = 11; // beyond the length
    records[4].value = 4.0;
    EXPECT_EQ(accessor->readValuesFromMemory(records, 5 * kRecordStride - 1), 0);

    auto expected = kSomeValues;
    expected[5] = 250.0;
    expected[0] = -200.0;
    expected[11] = 0.5;
    EXPECT_EQ(storedValues(*accessor), expected);
    EXPECT_EQ(log.setValues, pushed(expected));
}

class VuTest : public ::testing::Test {
protected:
    void SetUp() override {
        accessor = makeAccessor<AlgoAccessorVu>(log, algo);
        ASSERT_EQ(accessor->setChannels(2, 2, 0), 0);
    }

    // Runs one block through the accessor, its output in a separate buffer.
    void run(Block& in, int32_t count) {
        Block out(2, count);
        accessor->process(in.get(), out.get(), count);
    }

    // Leaves the flag at the given state, so that a block under test must change it.
    void startFrom(bool silent) {
        Block in(2, 64);
        in.fill(silent ? 0.0f : 0.5f);
        run(in, 64);
        ASSERT_EQ(accessor->isOutputSilent(), silent);
    }

    AlgoLog log;
    RecordingAlgo* algo = nullptr;
    std::unique_ptr<AlgoAccessorVu> accessor;
};

// ---- output silence ------------------------------------------------------------

// The mean magnitude of every 32nd sample (positions below the count) over
// all channels, against one millionth; nothing inspected counts as silent.
TEST_F(VuTest, SilenceIsTheMeanMagnitudeOfEvery32ndSampleAgainstOneMillionth) {
    struct Case {
        const char* what;
        int32_t count;
        float fill;
        bool gridZero; // every 32nd sample set to 0 after the fill
        std::vector<std::tuple<int32_t, int32_t, float>> samples;
        bool silent;
    };
    const Case cases[] = {
        {"digital silence", 256, 0.0f, false, {}, true},
        {"loud only off the grid", 256, 1.0f, true, {}, true},
        {"one sample at 32 of channel 1", 64, 0.0f, false, {{1, 32, 1.0f}}, false},
        {"one sample at 0 of channel 0", 64, 0.0f, false, {{0, 0, 1.0f}}, false},
        {"grid point 32 of a count of 33", 33, 0.0f, false, {{0, 32, 1.0f}}, false},
        {"grid point 32 of a count of 32", 32, 0.0f, false, {{0, 32, 1.0f}, {0, 31, 1.0f}}, true},
        {"an empty block", 0, 0.5f, false, {}, true},
        {"constant 0.9e-6", 256, 0.9e-6f, false, {}, true},
        {"constant -0.9e-6", 256, -0.9e-6f, false, {}, true},
        {"constant 1e-6, not above", 256, 1e-6f, false, {}, true},
        {"constant 1.1e-6", 256, 1.1e-6f, false, {}, false},
        {"constant -1.1e-6", 256, -1.1e-6f, false, {}, false},
        // One sample among the 16 inspected of 2 x 256: the threshold is crossed at 16e-6.
        {"0.9 x 16e-6 once", 256, 0.0f, false, {{0, 0, 0.9f * 16e-6f}}, true},
        {"1.1 x 16e-6 once", 256, 0.0f, false, {{0, 0, 1.1f * 16e-6f}}, false},
        {"opposite signs", 64, 0.0f, false, {{0, 0, 0.5f}, {0, 32, -0.5f}, {1, 0, -0.5f}, {1, 32, 0.5f}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        startFrom(!c.silent);
        Block in(2, std::max(c.count, 64));
        in.fill(c.fill);
        if (c.gridZero) {
            for (int32_t ch = 0; ch < 2; ++ch)
                for (int32_t i = 0; i < c.count; i += 32) in.at(ch, i) = 0.0f;
        }
        for (const auto& [ch, i, v] : c.samples) in.at(ch, i) = v;
        run(in, c.count);
        EXPECT_EQ(accessor->isOutputSilent(), c.silent);
    }
    startFrom(false);
    Block in(2, 64);
    in.fill(0.5f);
    accessor->checkOutputSilence(in.get(), 64, 0); // no channels: nothing visited either
    EXPECT_TRUE(accessor->isOutputSilent());
}

// Judged on what the algorithm wrote, on both processing paths.
TEST_F(VuTest, SilenceIsJudgedOnTheOutputOfEitherProcessingPath) {
    startFrom(false);
    float level = 0.0f;
    algo->writer = [&level](float**, float** out, int32_t count) {
        for (int32_t c = 0; c < 2; ++c) std::fill(out[c], out[c] + count, level);
    };
    Block loud(2, 64), silence(2, 64), out(2, 64), aux(1, 64);
    loud.fill(0.5f);
    run(loud, 64); // loud in, silent out
    EXPECT_TRUE(accessor->isOutputSilent());
    level = 0.25f;
    run(silence, 64);
    EXPECT_FALSE(accessor->isOutputSilent());

    level = 0.0f;
    accessor->processWithAux(loud.get(), out.get(), aux.get(), 64);
    EXPECT_TRUE(accessor->isOutputSilent());
    level = 0.25f;
    accessor->processWithAux(silence.get(), out.get(), aux.get(), 64);
    EXPECT_FALSE(accessor->isOutputSilent());
}

// ---- peaks ---------------------------------------------------------------------

// Input peaks of channels 0 and 1 and overall, then the same of the output.
std::vector<float> peaksOf(AlgoAccessorVu& a) {
    return {a.inputChannelPeak(0),  a.inputChannelPeak(1),  a.inputPeak(),
            a.outputChannelPeak(0), a.outputChannelPeak(1), a.outputPeak()};
}

// Clearing resets only the overall peak of its side, which then starts from zero.
TEST_F(VuTest, PeaksAreTheLargestMagnitudesSoFarUntilTheOverallOneOfASideIsCleared) {
    Block first(2, 16);
    first.fill(-0.05f); // all negative: the peak is the size
    first.at(0, 1) = 0.5f;
    first.at(0, 5) = -0.8f;
    first.at(1, 2) = 0.3f;
    run(first, 16);
    EXPECT_EQ(peaksOf(*accessor), (std::vector<float>{0.8f, 0.3f, 0.8f, 0.8f, 0.3f, 0.8f}));
    Block second(2, 8);
    second.at(0, 0) = -0.1f;
    second.at(1, 4) = -0.6f;
    run(second, 8);
    EXPECT_EQ(peaksOf(*accessor), (std::vector<float>{0.8f, 0.6f, 0.8f, 0.8f, 0.6f, 0.8f}));

    Block quiet(2, 8);
    quiet.at(1, 2) = -0.1f;
    accessor->clearInputPeak();
    EXPECT_EQ(peaksOf(*accessor), (std::vector<float>{0.8f, 0.6f, 0.0f, 0.8f, 0.6f, 0.8f}));
    run(quiet, 8);
    EXPECT_EQ(peaksOf(*accessor), (std::vector<float>{0.8f, 0.6f, 0.1f, 0.8f, 0.6f, 0.8f}));
    accessor->clearOutputPeak();
    EXPECT_EQ(peaksOf(*accessor), (std::vector<float>{0.8f, 0.6f, 0.1f, 0.8f, 0.6f, 0.0f}));
    run(quiet, 8);
    EXPECT_EQ(peaksOf(*accessor), (std::vector<float>{0.8f, 0.6f, 0.1f, 0.8f, 0.6f, 0.1f}));
}

// In place, as hosts often do, the algorithm overwrites the input; the side
// chain is not metered.
TEST(VuPeaks, InputPeaksAreTakenBeforeAndOutputPeaksAfterTheAlgorithmOnEitherPath) {
    for (bool withAux : {false, true}) {
        SCOPED_TRACE(withAux ? "with aux" : "in place");
        AlgoLog log;
        RecordingAlgo* algo = nullptr;
        auto accessor = makeAccessor<AlgoAccessorVu>(log, algo);
        ASSERT_EQ(accessor->setChannels(2, 2, 1), 0);
        algo->writer = [](float** in, float** out, int32_t count) {
            for (int32_t i = 0; i < count; ++i) {
                out[0][i] = 4.0f * in[0][i];
                out[1][i] = -0.7f;
            }
        };
        Block buffer(2, 16), out(2, 16), aux(1, 16);
        buffer.at(0, 3) = 0.25f;
        buffer.at(1, 9) = -0.125f;
        aux.fill(0.95f);
        if (withAux)
            accessor->processWithAux(buffer.get(), out.get(), aux.get(), 16);
        else
            accessor->process(buffer.get(), buffer.get(), 16);
        EXPECT_EQ(peaksOf(*accessor), (std::vector<float>{0.25f, 0.125f, 0.25f, 1.0f, 0.7f, 1.0f}));
    }
}

TEST(VuChannelLimit, ChannelsBeyondFourteenAreNotMetered) {
    AlgoLog log;
    RecordingAlgo* algo = nullptr;
    auto accessor = makeAccessor<AlgoAccessorVu>(log, algo);
    ASSERT_EQ(accessor->setChannels(16, 16, 0), 0);
    Block in(16, 8), out(16, 8);
    in.at(13, 4) = 0.2f;
    in.at(14, 4) = 0.9f;
    in.at(15, 4) = -0.9f;
    accessor->process(in.get(), out.get(), 8);
    ASSERT_EQ(out.at(15, 4), -0.9f); // the algorithm did see all sixteen
    EXPECT_EQ(accessor->inputChannelPeak(13), 0.2f);
    EXPECT_EQ(accessor->outputChannelPeak(13), 0.2f);
    EXPECT_EQ(accessor->inputPeak(), 0.2f);
    EXPECT_EQ(accessor->outputPeak(), 0.2f);
}

} // namespace
} // namespace DSP::testing
