// The meter the processor drives: the audio passes through untouched, silent
// blocks are skipped whole, every reading and command answers under its id,
// and channel set-ups are taken or refused as a whole. The meters here
// evaluate their windows synchronously so that readings are exact and
// repeatable; the accessor tests cover the worker-thread set-up.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/DenormalGuard.h"
#include "dsp/MeterValueIds.h"
#include "dsp/VazEzaru.h"
#include "tests/dsp/LoudnessTestSupport.h"

namespace DSP {
namespace {

using testing::Channels;
using testing::lufsOf;
using testing::pointers;

constexpr double kRate = 48000.0;
constexpr int32_t kMaxBlock = 1024;
constexpr double kFloorLufs = -80.0;
constexpr double kTruePeakFloor = static_cast<double>(1e-6f);
constexpr uint64_t kStereo = 0x3;
constexpr uint64_t kFiveOne = 0x3F; // L R C LFE Ls Rs

std::unique_ptr<VazEzaru> makeMeter(int32_t channels, uint64_t arrangement, bool loudnessOn = true) {
    auto meter = std::make_unique<VazEzaru>(kRate, static_cast<uint32_t>(kMaxBlock), false);
    meter->initialize();
    EXPECT_EQ(meter->setChannelsAndArrangement(channels, channels, 0, arrangement), 0);
    if (loudnessOn) meter->setValue(kValueLoudnessEnabled, 1.0);
    return meter;
}

// A multichannel programme built from stretches of one 1 kHz sine whose phase
// runs on across stretches; a peak of 0 leaves that channel silent.
class Programme {
public:
    explicit Programme(int32_t channels) : data_(static_cast<size_t>(channels)) {}

    Programme& tone(double seconds, const std::vector<double>& peaks) {
        const auto n = static_cast<size_t>(std::llround(seconds * kRate));
        for (size_t i = 0; i < n; ++i, ++position_) {
            const double s = std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(position_) / kRate);
            for (size_t c = 0; c < data_.size(); ++c) data_[c].push_back(static_cast<float>(peaks[c] * s));
        }
        return *this;
    }

    size_t size() const { return data_.empty() ? 0 : data_[0].size(); }
    Channels& data() { return data_; }

    // Feeds [from, to) in blocks, the output into separate buffers.
    void play(VazEzaru& meter, size_t from, size_t to, int32_t block = 512) {
        Channels out(data_.size(), std::vector<float>(static_cast<size_t>(kMaxBlock)));
        auto outPtrs = pointers(out);
        for (size_t at = from; at < to; at += static_cast<size_t>(block)) {
            const auto n = static_cast<int32_t>(std::min(to - at, static_cast<size_t>(block)));
            auto in = pointers(data_, at);
            meter.process(in.data(), outPtrs.data(), n);
        }
    }
    void play(VazEzaru& meter, int32_t block = 512) { play(meter, 0, size(), block); }

private:
    Channels data_;
    size_t position_ = 0;
};

// One block processed on its own.
void processBlock(VazEzaru& meter, Channels& in) {
    Channels out(in.size(), std::vector<float>(in[0].size()));
    auto i = pointers(in);
    auto o = pointers(out);
    meter.process(i.data(), o.data(), static_cast<int32_t>(in[0].size()));
}

// Weighted mean square of 1 kHz sines of the given peaks, before the log.
double meanSquare(const Loudness& l, const std::vector<double>& peaks, const std::vector<double>& weights) {
    return testing::sineMeanSquare(l, kRate, peaks, weights);
}

using Readings = std::map<int32_t, double>;

// Every id the meter answers with a measurement, for whole-state comparisons.
Readings readAll(VazEzaru& meter) {
    std::vector<int32_t> ids = {kValueMomentary,   kValueShortTerm,       kValueIntegrated,        kValueMomentaryMax,
                                kValueShortTermMax, kValueLoudnessRange,  kValueTruePeak,          kValueTruePeakChannel0,
                                kValueLoudnessEnabled, kValueRmsOverall,  kValueBelowRelativeGate, kValueRangeHigh,
                                kValueRangeLow};
    for (int32_t c = 0; c < meter.channelCount(); ++c) ids.push_back(kValueRmsFirst + c);
    Readings r;
    for (int32_t id : ids) r[id] = meter.getValue(id);
    return r;
}

// Bit-exact equality of all readings except the listed ids.
void expectSameReadings(const Readings& expected, const Readings& actual, const std::vector<int32_t>& except = {}) {
    ASSERT_EQ(expected.size(), actual.size());
    for (const auto& [id, value] : expected) {
        if (std::find(except.begin(), except.end(), id) != except.end()) continue;
        EXPECT_EQ(actual.at(id), value) << "id " << id;
    }
}

// ---- Pass-through --------------------------------------------------------------

// Blocks that probe the copy: awkward lengths, signed zeros, denormals and
// full-scale values, a digitally silent block and one loud only off the
// 32-sample grid (both skipped by the measurement, never by the copy).
std::vector<Channels> probeBlocks(int32_t channels) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<Channels> blocks;
    for (int32_t count : {1, 31, 33, 480, kMaxBlock}) {
        Channels b(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(count)));
        for (auto& c : b)
            for (auto& x : c) x = noise(rng);
        b[0][0] = -0.0f;
        if (count > 3) {
            b[1][1] = 1e-40f; // denormal: must survive the copy even with flush-to-zero on
            b[1][2] = -1.0f;
            b[channels - 1][3] = 1.0f;
        }
        blocks.push_back(b);
    }
    blocks.emplace_back(static_cast<size_t>(channels), std::vector<float>(700, 0.0f));
    Channels offGrid(static_cast<size_t>(channels), std::vector<float>(700));
    for (auto& c : offGrid)
        for (size_t i = 0; i < c.size(); ++i) c[i] = i % 32 == 0 ? 0.0f : noise(rng);
    blocks.push_back(offGrid);
    return blocks;
}

// Into separate output buffers (nothing written past the count, the input
// left alone) and in place, where the host hands two pointer arrays naming
// the same buffers.
TEST(MeterPassThrough, TheOutputIsTheInputBitForBitAndNothingMore) {
    DenormalGuard guard;
    constexpr float kSentinel = 12345.0f;
    for (bool loudnessOn : {true, false}) {
        for (bool inPlace : {false, true}) {
            SCOPED_TRACE(::testing::Message() << (loudnessOn ? "loudness on" : "loudness off")
                                              << (inPlace ? ", in place" : ""));
            auto meter = makeMeter(3, 0x7, loudnessOn);
            auto blocks = probeBlocks(3);
            for (size_t b = 0; b < blocks.size(); ++b) {
                Channels& in = blocks[b];
                const Channels original = in;
                const size_t count = in[0].size();
                Channels separate(3, std::vector<float>(count + 8, kSentinel));
                auto i = pointers(in);
                auto o = inPlace ? i : pointers(separate);
                meter->process(i.data(), o.data(), static_cast<int32_t>(count));
                for (size_t c = 0; c < 3; ++c) {
                    EXPECT_EQ(std::memcmp(original[c].data(), o[c], count * sizeof(float)), 0) << "block " << b;
                    EXPECT_EQ(std::memcmp(original[c].data(), in[c].data(), count * sizeof(float)), 0)
                        << "input changed, block " << b;
                    if (!inPlace) {
                        for (size_t k = count; k < count + 8; ++k)
                            EXPECT_EQ(separate[c][k], kSentinel) << "written past the count";
                    }
                }
            }
            // An empty call writes nothing.
            Channels in(3, std::vector<float>(8, 0.5f)), out(3, std::vector<float>(8, kSentinel));
            auto i = pointers(in);
            auto o = pointers(out);
            meter->process(i.data(), o.data(), 0);
            for (auto& c : out) EXPECT_EQ(c[0], kSentinel);
        }
    }
}

// ---- Silence gate --------------------------------------------------------------

// Silent or grid-silent blocks must be skipped whole: if any window, filter
// state or average advanced, the second half would be measured differently.
TEST(MeterSilenceGate, SilenceBetweenTwoHalvesOfAProgrammeChangesNoReading) {
    DenormalGuard guard;
    Programme p(2);
    p.tone(1.3, {0.3, 0.1}).tone(2.9, {0.05, 0.6});
    const size_t half = static_cast<size_t>(1.3 * kRate);

    auto reference = makeMeter(2, kStereo);
    p.play(*reference);
    const Readings expected = readAll(*reference);
    ASSERT_GT(expected.at(kValueShortTerm), kFloorLufs) << "the programme must reach every window";
    ASSERT_GT(expected.at(kValueIntegrated), kFloorLufs);

    auto meter = makeMeter(2, kStereo);
    p.play(*meter, 0, half);
    const Readings beforeGap = readAll(*meter);

    // More than a momentary window of digital silence, and of a level whose
    // mean magnitude is exactly the one-millionth threshold (not above it).
    for (float level : {0.0f, 1e-6f}) {
        Channels silence(2, std::vector<float>(kMaxBlock, level));
        for (int k = 0; k < 25; ++k) processBlock(*meter, silence);
        expectSameReadings(beforeGap, readAll(*meter));
    }

    // Loud noise everywhere but on the every-32nd grid the gate inspects; the
    // count is not a multiple of 32, so the last grid point is 992.
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> noise(-0.95f, 0.95f);
    for (int k = 0; k < 25; ++k) {
        Channels offGrid(2, std::vector<float>(1000));
        for (auto& c : offGrid)
            for (size_t i = 0; i < c.size(); ++i) c[i] = i % 32 == 0 ? 0.0f : noise(rng);
        processBlock(*meter, offGrid);
    }
    expectSameReadings(beforeGap, readAll(*meter));

    p.play(*meter, half, p.size());
    expectSameReadings(expected, readAll(*meter));
}

// ---- Loudness switch -------------------------------------------------------------

// Off by default, set by values from one half up; true peak and RMS are
// measured either way, and switching off freezes the loudness figures.
TEST(MeterLoudnessSwitch, OffByDefaultTheFlagFollowsHalfAndSwitchingOffFreezesTheLoudness) {
    DenormalGuard guard;
    auto meter = makeMeter(2, kStereo, false);
    Programme p(2);
    p.tone(3.5, {0.25, 0.5}).tone(1.0, {0.05, 0.05});
    const size_t loudEnd = static_cast<size_t>(3.5 * kRate);
    p.play(*meter, 0, loudEnd);
    Readings expected = readAll(*makeMeter(2, kStereo, false));
    for (int32_t id : std::vector<int32_t>{kValueTruePeak, kValueTruePeakChannel0, kValueRmsFirst, kValueRmsFirst + 1,
                                           kValueRmsOverall})
        expected[id] = meter->getValue(id);
    expectSameReadings(expected, readAll(*meter));
    EXPECT_NEAR(meter->getValue(kValueTruePeak), 0.5, 0.005); // the louder channel's
    EXPECT_NEAR(meter->getValue(kValueTruePeakChannel0), 0.25, 0.0025);
    EXPECT_GT(meter->getValue(kValueRmsFirst + 1), 0.3);

    const std::pair<double, double> cases[] = {{1.0, 1.0}, {0.0, 0.0}, {0.5, 1.0}, {0.4999, 0.0}, {7.0, 1.0}};
    for (auto [value, flag] : cases) {
        meter->setValue(kValueLoudnessEnabled, value);
        EXPECT_EQ(meter->getValue(kValueLoudnessEnabled), flag) << "set to " << value;
    }
    p.play(*meter, 0, loudEnd); // the same loud stretch again, measured
    EXPECT_GT(meter->getValue(kValueMomentary), -20.0);

    meter->setValue(kValueLoudnessEnabled, 0.0);
    const Readings before = readAll(*meter);
    p.play(*meter, loudEnd, p.size());
    const Readings after = readAll(*meter);
    for (int32_t id : {kValueMomentary, kValueShortTerm, kValueIntegrated, kValueMomentaryMax, kValueShortTermMax,
                       kValueLoudnessRange})
        EXPECT_EQ(after.at(id), before.at(id)) << "id " << id;
    EXPECT_LT(after.at(kValueRmsFirst), before.at(kValueRmsFirst)); // the quieter stretch still reaches the RMS
}

// ---- A measured programme: readings and commands -------------------------------

// Stereo 1 kHz: 1 s quiet, 3 s loud, 1.2 s medium. The momentary and
// short-term windows at the end, the maxima and the integrated figure all
// stand for different stretches, so a reading under the wrong id shows.
class MeasuredMeter : public ::testing::Test {
protected:
    static inline const std::vector<double> kQuiet{0.05, 0.05};
    static inline const std::vector<double> kLoud{0.5, 0.3};
    static inline const std::vector<double> kMedium{0.08, 0.08};

    void SetUp() override {
        meter = measured();
        ASSERT_FALSE(HasFatalFailure());
    }

    static std::unique_ptr<VazEzaru> measured() {
        auto m = makeMeter(2, kStereo);
        programme().play(*m);
        return m;
    }
    static Programme programme() {
        Programme p(2);
        p.tone(1.0, kQuiet).tone(3.0, kLoud).tone(1.2, kMedium);
        return p;
    }
    double z(const std::vector<double>& peaks) const { return meanSquare(*meter->loudness(), peaks, {1.0, 1.0}); }

    DenormalGuard guard;
    std::unique_ptr<VazEzaru> meter;
};

class MeterReadings : public MeasuredMeter {};
class MeterCommands : public MeasuredMeter {};

TEST_F(MeterReadings, LoudnessIdsStandForTheirOwnWindows) {
    const double loud = lufsOf(z(kLoud));
    // The last 400 ms lie in the medium stretch.
    EXPECT_NEAR(meter->getValue(kValueMomentary), lufsOf(z(kMedium)), 0.02);
    // The last 3 s window (2 s to 5 s): two seconds loud, one medium.
    EXPECT_NEAR(meter->getValue(kValueShortTerm), lufsOf((2.0 * z(kLoud) + z(kMedium)) / 3.0), 0.03);
    EXPECT_NEAR(meter->getValue(kValueMomentaryMax), loud, 0.02);
    // The window from 1 s to 4 s is all loud.
    EXPECT_NEAR(meter->getValue(kValueShortTermMax), loud, 0.02);
    // Quiet and medium blocks lie more than 10 LU under the mean and are gated
    // out; only windows straddling the steps pull it a little below the loud level.
    const double integrated = meter->getValue(kValueIntegrated);
    EXPECT_LE(integrated, loud + 0.01);
    EXPECT_GT(integrated, loud - 0.6);
    // The medium end sits more than 10 LU under the gated mean.
    EXPECT_EQ(meter->getValue(kValueBelowRelativeGate), 1.0);

    // The range percentiles are mean squares whose ratio is the range; the
    // upper one is the all-loud short-term window.
    const double high = meter->getValue(kValueRangeHigh), low = meter->getValue(kValueRangeLow);
    ASSERT_GT(low, 0.0);
    EXPECT_GT(meter->getValue(kValueLoudnessRange), 1.0);
    EXPECT_NEAR(10.0 * std::log10(high / low), meter->getValue(kValueLoudnessRange), 0.01);
    EXPECT_NEAR(lufsOf(high), loud, 0.02);
}

// The RMS readings are roots of an exponential mean square with a 0.9 s time
// constant; the expectation runs that average in double precision.
TEST(MeterRms, ReadingsAreRootsOfTheRunningAndTheHeldMeanSquare) {
    DenormalGuard guard;
    auto meter = makeMeter(2, kStereo, false);
    Programme p(2);
    p.tone(1.0, {0.6, 0.2}).tone(0.5, {0.1, 0.3});
    p.play(*meter, 480);

    const double a = std::exp(-1000.0 / (900.0 * kRate));
    double state[2] = {0.0, 0.0};
    double held = 0.0;
    for (size_t i = 0; i < p.size(); ++i)
        for (size_t c = 0; c < 2; ++c) {
            const double x = p.data()[c][i];
            state[c] = (1.0 - a) * x * x + a * state[c];
            held = std::max(held, state[c]);
        }
    for (int32_t c = 0; c < 2; ++c)
        EXPECT_NEAR(meter->getValue(kValueRmsFirst + c), std::sqrt(state[c]), std::sqrt(state[c]) * 2e-3) << c;
    EXPECT_NEAR(meter->getValue(kValueRmsOverall), std::sqrt(held), std::sqrt(held) * 2e-3);
    // Channels the meter does not have read nothing.
    EXPECT_EQ(meter->getValue(kValueRmsFirst + 2), 0.0);
    EXPECT_EQ(meter->getValue(kValueRmsLast), 0.0);

    // Host-flagged silence drops the running average but keeps the held value.
    const double heldReading = meter->getValue(kValueRmsOverall);
    meter->processSilence(kMaxBlock);
    EXPECT_EQ(meter->getValue(kValueRmsFirst), 0.0);
    EXPECT_EQ(meter->getValue(kValueRmsFirst + 1), 0.0);
    EXPECT_EQ(meter->getValue(kValueRmsOverall), heldReading);
}

// Ids 4 to 7, at any value: each clears its own readings at once and leaves
// every other reading exactly as it was.
TEST_F(MeterCommands, EachResetCommandClearsOnlyItsOwnReadings) {
    Readings everything = readAll(*makeMeter(2, kStereo)); // as a new meter reads them
    everything.erase(kValueLoudnessEnabled); // a setting, not a measurement
    const struct {
        int32_t command;
        double value;
        Readings cleared;
    } cases[] = {
        {kCommandReset, 0.0, everything},
        {kCommandReset, 1.0, everything},
        {kCommandReset, -2.5, everything},
        {kCommandResetMaxima, 0.0, {{kValueMomentaryMax, kFloorLufs}, {kValueShortTermMax, kFloorLufs}}},
        {kCommandClearRmsHeld, 1.0, {{kValueRmsOverall, 0.0}}},
        {kCommandResetTruePeak, 0.0, {{kValueTruePeak, kTruePeakFloor}, {kValueTruePeakChannel0, kTruePeakFloor}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "id " << c.command << " set to " << c.value);
        auto m = measured();
        Readings expected = readAll(*m);
        for (const auto& [id, value] : c.cleared) {
            ASSERT_NE(expected.at(id), value) << "id " << id << " must have measured something";
            expected[id] = value;
        }
        m->setValue(c.command, c.value);
        expectSameReadings(expected, readAll(*m));
    }
}

TEST_F(MeterCommands, ClearedMaximaAndTruePeakMeasureAgainFromTheNextBlock) {
    meter->setValue(kCommandResetMaxima, 0.0);
    meter->setValue(kCommandResetTruePeak, 0.0);
    Programme p(2);
    p.tone(0.1, kMedium);
    p.play(*meter);
    EXPECT_EQ(meter->getValue(kValueMomentaryMax), meter->getValue(kValueMomentary));
    EXPECT_EQ(meter->getValue(kValueShortTermMax), meter->getValue(kValueShortTerm));
    EXPECT_NEAR(meter->getValue(kValueTruePeak), 0.08, 0.08 * 0.05); // not held at the loud stretch
}

// Nothing of the first programme may linger in filters, windows, stores or
// averages: after a reset the same programme reads as on a new meter.
TEST_F(MeterCommands, AfterResetAProgrammeReadsAsOnANewMeter) {
    meter->setValue(kCommandReset, 0.0);
    Programme p = programme();
    p.play(*meter);
    auto fresh = measured();
    expectSameReadings(readAll(*fresh), readAll(*meter), {kValueTruePeak, kValueTruePeakChannel0});
    EXPECT_NEAR(meter->getValue(kValueTruePeak), fresh->getValue(kValueTruePeak), 1e-4);
    EXPECT_NEAR(meter->getValue(kValueTruePeakChannel0), fresh->getValue(kValueTruePeakChannel0), 1e-4);
}

TEST_F(MeterCommands, RmsScaleRaisesEveryRmsReadingByThreeDecibelsAndBack) {
    const Readings before = readAll(*meter);
    const std::vector<int32_t> rmsIds = {kValueRmsFirst, kValueRmsFirst + 1, kValueRmsOverall};
    for (double on : {1.0, 0.5}) {
        meter->setValue(kCommandRmsScale, on);
        for (int32_t id : rmsIds) EXPECT_NEAR(meter->getValue(id) / before.at(id), 1.4125, 1e-6) << "id " << id;
        expectSameReadings(before, readAll(*meter), rmsIds);
    }
    for (double off : {0.0, 0.4999}) {
        meter->setValue(kCommandRmsScale, off);
        expectSameReadings(before, readAll(*meter));
    }
}

TEST_F(MeterCommands, IdsWithoutMeaningReadZeroAndIgnoreWrites) {
    const std::vector<int32_t> meaningless = {0,  4,  5,  6,  7,  14, 15, 26, 39, 40, 41,
                                              42, 44, 46, 47, 48, 49, 50, 53, 100, -1};
    for (int32_t id : meaningless) EXPECT_EQ(meter->getValue(id), 0.0) << "id " << id;

    const Readings before = readAll(*meter);
    for (int32_t id : {0, 1, 2, 3, 8, 9, 10, 11, 12, 15, 26, 27, 28, 43, 45, 48, 51, 52, 100, -1})
        meter->setValue(id, 1.0);
    expectSameReadings(before, readAll(*meter));
}

// ---- Channel set-up --------------------------------------------------------------

TEST(MeterChannels, UnequalInputAndOutputCountsAreRefusedAndChangeNothing) {
    DenormalGuard guard;
    auto meter = makeMeter(2, kStereo);
    Programme p(2);
    p.tone(1.0, {0.4, 0.2}).tone(0.5, {0.2, 0.4});
    const size_t first = static_cast<size_t>(kRate);
    p.play(*meter, 0, first);
    const Readings before = readAll(*meter);

    EXPECT_EQ(meter->setChannelsAndArrangement(3, 2, 0, 0x7), 1);
    EXPECT_EQ(meter->setChannelsAndArrangement(2, 1, 0, kStereo), 1);
    EXPECT_EQ(meter->setChannelsAndArrangement(6, 2, 0, kFiveOne), 1);
    expectSameReadings(before, readAll(*meter));

    // Measuring goes on as if nothing had been asked: same as an undisturbed meter.
    p.play(*meter, first, p.size());
    auto undisturbed = makeMeter(2, kStereo);
    p.play(*undisturbed);
    expectSameReadings(readAll(*undisturbed), readAll(*meter));
}

// Every channel has its own average, started from zero at the change; the
// copy and the measurement cover every channel of the new count.
TEST(MeterChannels, ANewChannelCountIsMeasuredAndPassedThrough) {
    DenormalGuard guard;
    auto meter = makeMeter(2, kStereo);
    Programme stereo(2);
    stereo.tone(0.6, {0.3, 0.3});
    stereo.play(*meter);

    ASSERT_EQ(meter->setChannelsAndArrangement(6, 6, 0, kFiveOne), 0);
    const std::vector<double> peaks = {0.1, 0.2, 0.15, 0.3, 0.05, 0.25};
    Programme surround(6);
    surround.tone(1.0, peaks);
    surround.play(*meter, kMaxBlock);
    const double settled = std::sqrt(1.0 - std::exp(-1.0 / 0.9)); // one second of a 0.9 s average
    for (int32_t c = 0; c < 6; ++c) {
        const double rms = peaks[static_cast<size_t>(c)] / std::sqrt(2.0) * settled;
        EXPECT_NEAR(meter->getValue(kValueRmsFirst + c), rms, rms * 0.01) << "channel " << c;
    }
    Channels block = surround.data(), out(6, std::vector<float>(surround.size(), -1.0f));
    auto i = pointers(block);
    auto o = pointers(out);
    meter->process(i.data(), o.data(), 100);
    for (size_t c = 0; c < 6; ++c) EXPECT_TRUE(std::equal(out[c].begin(), out[c].begin() + 100, block[c].begin()));

    // Down to one channel: only that channel's buffers are touched.
    ASSERT_EQ(meter->setChannelsAndArrangement(1, 1, 0, 0x4), 0);
    Programme mono(1);
    mono.tone(1.0, {0.4});
    mono.play(*meter);
    EXPECT_NEAR(meter->getValue(kValueMomentary), lufsOf(meanSquare(*meter->loudness(), {0.4}, {1.0})), 0.05);
    EXPECT_NEAR(meter->getValue(kValueTruePeakChannel0), 0.4, 0.004);
}

} // namespace
} // namespace DSP
