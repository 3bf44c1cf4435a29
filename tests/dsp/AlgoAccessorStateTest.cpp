// The parameter values as component state: the saved byte layout, restoring
// into a fresh accessor, clamping, and states that must be ignored whole.

#include <gtest/gtest.h>

#include <climits>

#include "AlgoTestSupport.h"

namespace DSP::testing {
namespace {

constexpr int32_t kRecordStride = 144; // the length word counts in-memory records
constexpr int32_t kSavedSize = 140;    // what one record takes in the stream
constexpr int32_t kFullLength = 12 * kRecordStride;

// Minima and maxima of the meter parameters, in table order.
const std::vector<double> kMinima = {-80, -80, -80, -80, -80, 0, -80, 0, 0, 0, 0, 0};
const std::vector<double> kMaxima = {48, 48, 48, 48, 48, 100, 48, 1, 1, 1, 1, 1};

// In-range values that differ from every default.
const std::vector<double> kSomeValues = {-23.25, 5.5, -80.0, 48.0, 0.125, 12.5, -3.0, 1.0, 1.0, 1.0, 1.0, 1.0};

int32_t int32At(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<int32_t>(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
                                uint32_t(b[at + 3]) << 24);
}

double float64At(const std::vector<uint8_t>& b, size_t at) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | b[at + static_cast<size_t>(i)];
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

class StateTest : public ::testing::Test {
protected:
    void SetUp() override { accessor = makeAccessor(log, algo); }

    void setAll(IAlgoAccessor<double>& target, const std::vector<double>& values) {
        for (size_t i = 0; i < kMeterIds.size(); ++i) target.setValue(kMeterIds[i], values[i]);
    }

    // Records with the meter's ids in table order.
    static std::vector<SavedRecord> meterRecords(const std::vector<double>& values) {
        std::vector<SavedRecord> records;
        for (size_t i = 0; i < kMeterIds.size(); ++i)
            records.push_back({Param::meterParameters()[i].name, kMeterIds[i], values[i]});
        return records;
    }

    bool anyIdPushed() const { return !log.setValues.empty(); }

    AlgoLog log;
    RecordingAlgo* algo = nullptr;
    std::unique_ptr<AlgoAccessor> accessor;
};

// ---- saving --------------------------------------------------------------------

TEST_F(StateTest, TwelveRecordsArePackedIntoExactly1680Bytes) {
    NivoloHost::MemoryStream body;
    EXPECT_EQ(accessor->writeValues(&body), 0);
    EXPECT_EQ(body.bytes().size(), 12u * kSavedSize);

    // With the processor's length word in front, the whole state.
    NivoloHost::MemoryStream state;
    std::vector<uint8_t> word;
    Zel::LittleEndianWriter(word).writeInt32(kFullLength);
    int32_t written = 0;
    ASSERT_EQ(state.write(word.data(), 4, &written), Zel::kResultOk);
    EXPECT_EQ(accessor->writeValues(&state), 0);
    ASSERT_EQ(state.bytes().size(), 1684u);
    EXPECT_EQ(int32At(state.bytes(), 0), 1728);
}

TEST_F(StateTest, EachSavedRecordIsNameThenLittleEndianIdThenLittleEndianValue) {
    setAll(*accessor, kSomeValues);
    NivoloHost::MemoryStream stream;
    ASSERT_EQ(accessor->writeValues(&stream), 0);
    const std::vector<uint8_t>& b = stream.bytes();
    ASSERT_EQ(b.size(), 12u * kSavedSize);

    const Param::ParameterRecord* table = Param::meterParameters();
    for (size_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        const size_t at = i * kSavedSize;
        std::vector<char> name(128, '\0');
        std::memcpy(name.data(), table[i].name, std::strlen(table[i].name));
        EXPECT_EQ(std::memcmp(b.data() + at, name.data(), 128), 0); // name, zero-padded to 128
        EXPECT_EQ(int32At(b, at + 128), kMeterIds[i]);
        EXPECT_EQ(float64At(b, at + 132), kSomeValues[i]);
    }

    // Record 5 (loudness range, id 10 = 12.5) spelled out byte for byte.
    const std::vector<uint8_t> expected = {0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x29, 0x40};
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 5 * kSavedSize + 128, b.begin() + 6 * kSavedSize), expected);
}

// ---- restoring -----------------------------------------------------------------

TEST_F(StateTest, AFreshAccessorRestoresAllTwelveValuesAndHandsThemToItsAlgorithm) {
    setAll(*accessor, kSomeValues);
    NivoloHost::MemoryStream stream;
    std::vector<uint8_t> word;
    Zel::LittleEndianWriter(word).writeInt32(kFullLength);
    int32_t written = 0;
    stream.write(word.data(), 4, &written);
    ASSERT_EQ(accessor->writeValues(&stream), 0);
    stream.rewind();

    AlgoLog freshLog;
    RecordingAlgo* freshAlgo = nullptr;
    auto fresh = makeAccessor(freshLog, freshAlgo);
    ASSERT_EQ(storedValues(*fresh), std::vector<double>(12, 0.0));
    EXPECT_EQ(restore(*fresh, stream), 0);
    EXPECT_EQ(storedValues(*fresh), kSomeValues);

    // Names and ids are the fresh accessor's own; only values travel.
    for (int32_t i = 0; i < 12; ++i) {
        EXPECT_STREQ(fresh->getValueRecords()[i].name, Param::meterParameters()[i].name);
        EXPECT_EQ(static_cast<int32_t>(fresh->getValueRecords()[i].id), kMeterIds[static_cast<size_t>(i)]);
    }
    ASSERT_EQ(freshLog.setValues.size(), 12u);
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(freshLog.setValues[i], std::make_pair(kMeterIds[i], kSomeValues[i]));
}

TEST_F(StateTest, RecordsAreMatchedByIdWhateverTheirOrderOrName) {
    auto records = meterRecords(kSomeValues);
    std::reverse(records.begin(), records.end());
    for (auto& r : records) r.name = "misnamed";
    NivoloHost::MemoryStream stream(savedState(records));
    EXPECT_EQ(restore(*accessor, stream), 0);
    EXPECT_EQ(storedValues(*accessor), kSomeValues);
}

TEST_F(StateTest, ValuesOutsideTheirRangeComeBackAsTheNearestLimit) {
    // Reversed, so every value must be held against its own parameter's range.
    std::vector<double> above, below;
    for (size_t i = 0; i < 12; ++i) {
        above.push_back(kMaxima[i] + 1000.0);
        below.push_back(kMinima[i] - 0.5);
    }
    auto records = meterRecords(above);
    std::reverse(records.begin(), records.end());
    NivoloHost::MemoryStream high(savedState(records));
    EXPECT_EQ(restore(*accessor, high), 0);
    EXPECT_EQ(storedValues(*accessor), kMaxima);

    records = meterRecords(below);
    std::reverse(records.begin(), records.end());
    NivoloHost::MemoryStream low(savedState(records));
    EXPECT_EQ(restore(*accessor, low), 0);
    EXPECT_EQ(storedValues(*accessor), kMinima);

    // The limits themselves are kept.
    NivoloHost::MemoryStream exact(savedState(meterRecords(kMaxima)));
    EXPECT_EQ(restore(*accessor, exact), 0);
    EXPECT_EQ(storedValues(*accessor), kMaxima);
}

TEST_F(StateTest, RecordsWithUnknownIdsAreSkipped) {
    setAll(*accessor, kSomeValues);
    log.setValues.clear();
    NivoloHost::MemoryStream stream(savedState({{"ghost", 99, 5.0}, {"loudnessRange", 10, 3.0}, {"rms", 27, 0.5}}));
    EXPECT_EQ(restore(*accessor, stream), 0);
    auto expected = kSomeValues;
    expected[5] = 3.0;
    EXPECT_EQ(storedValues(*accessor), expected);
    for (const auto& [id, value] : log.setValues) {
        EXPECT_NE(id, 99);
        EXPECT_NE(id, 27);
    }
    EXPECT_EQ(log.setValues.size(), 12u); // the stored values are pushed afterwards
}

TEST_F(StateTest, AnIdSavedTwiceTakesItsFirstValue) {
    NivoloHost::MemoryStream stream(savedState({{"loudnessRange", 10, 3.0}, {"loudnessRange", 10, 4.0}}));
    EXPECT_EQ(restore(*accessor, stream), 0);
    EXPECT_EQ(accessor->getValueRecords()[5].value, 3.0);
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

TEST_F(StateTest, AStateWithMoreRecordsThanTheTableIsIgnoredEntirely) {
    setAll(*accessor, kSomeValues);
    log.setValues.clear();
    auto records = meterRecords(kMaxima);
    records.push_back({"extra", 99, 1.0});
    NivoloHost::MemoryStream stream(savedState(records));
    ASSERT_EQ(int32At(stream.bytes(), 0), 13 * kRecordStride);
    restore(*accessor, stream);
    EXPECT_EQ(storedValues(*accessor), kSomeValues);
    EXPECT_FALSE(anyIdPushed());
    int64_t position = 0;
    stream.tell(&position);
    EXPECT_EQ(position, 4); // nothing read after the length word
}

TEST_F(StateTest, ANegativeLengthWordIsIgnoredEntirely) {
    setAll(*accessor, kSomeValues);
    // -1 and -143 divide to a count of 0 and once pushed every value again.
    for (int32_t length : {-1, -kRecordStride + 1, -kRecordStride, -kFullLength, INT_MIN}) {
        SCOPED_TRACE(length);
        log.setValues.clear();
        NivoloHost::MemoryStream stream(savedRecords(meterRecords(kMaxima)));
        accessor->readValues(&stream, length);
        EXPECT_EQ(storedValues(*accessor), kSomeValues);
        EXPECT_FALSE(anyIdPushed());
        int64_t position = -1;
        stream.tell(&position);
        EXPECT_EQ(position, 0);
    }
}

TEST_F(StateTest, ACutShortStateChangesNoValueAtAnyLength) {
    setAll(*accessor, kSomeValues);
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

TEST_F(StateTest, InMemoryRecordsAreMatchedByIdUnclampedThenPushed) {
    setAll(*accessor, kSomeValues);
    log.setValues.clear();
    ValueRecord records[4] = {};
    std::strcpy(records[0].name, "whatever");
    records[0].id = 10;
    records[0].value = 250.0; // above the maximum of 100: kept as is
    records[1].id = 99;       // unknown
    records[1].value = 7.0;
    records[2].id = 1;
    records[2].value = -200.0;
    records[3].id = 0;
    records[3].value = 0.5;
    EXPECT_EQ(accessor->readValuesFromMemory(records, static_cast<int32_t>(sizeof records)), 0);

    auto expected = kSomeValues;
    expected[5] = 250.0;
    expected[0] = -200.0;
    expected[11] = 0.5;
    EXPECT_EQ(storedValues(*accessor), expected);
    ASSERT_EQ(log.setValues.size(), 12u);
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(log.setValues[i], std::make_pair(kMeterIds[i], expected[i]));
}

TEST_F(StateTest, InMemoryRecordsBeyondTheByteLengthAreNotRead) {
    ValueRecord records[2] = {};
    records[0].id = 10;
    records[0].value = 3.0;
    records[1].id = 11;
    records[1].value = 4.0;
    EXPECT_EQ(accessor->readValuesFromMemory(records, kRecordStride + kRecordStride - 1), 0);
    EXPECT_EQ(accessor->getValueRecords()[5].value, 3.0);
    EXPECT_EQ(accessor->getValueRecords()[6].value, 0.0);
}

TEST_F(StateTest, InMemoryRecordsMoreThanTheTableAreIgnoredEntirely) {
    std::vector<ValueRecord> records(13);
    for (auto& r : records) {
        r.id = 10;
        r.value = 9.0;
    }
    log.setValues.clear();
    accessor->readValuesFromMemory(records.data(), 13 * kRecordStride);
    EXPECT_EQ(storedValues(*accessor), std::vector<double>(12, 0.0));
    EXPECT_FALSE(anyIdPushed());
}

} // namespace
} // namespace DSP::testing
