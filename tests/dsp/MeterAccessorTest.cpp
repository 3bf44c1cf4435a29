// The processor's accessor over the meter: the stored bypass it answers, the
// per-channel input peaks read-and-cleared by the controller's polling, the
// arrangement handed to the meter with its surround weights, and whole
// programmes through the meter as the processor runs it, with the loudness
// evaluated on worker threads (waited for after every block so that no
// window is dropped and the figures are exact).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "dsp/DenormalGuard.h"
#include "dsp/MeterValueIds.h"
#include "dsp/VazEzaruAcc.h"
#include "tests/dsp/LoudnessTestSupport.h"

namespace DSP {
namespace {

using testing::Channels;
using testing::pointers;

constexpr double kRate = 48000.0;
constexpr int32_t kMaxBlock = 1024;
constexpr double kFloorLufs = -80.0;
constexpr uint64_t kStereo = 0x3;
constexpr uint64_t kFiveOne = 0x3F; // L R C LFE Ls Rs

class AccessorRig {
public:
    explicit AccessorRig(uint64_t arrangement) : acc(std::make_unique<VazEzaruAcc>(kRate, kMaxBlock)) {
        EXPECT_EQ(acc->setArrangements(arrangement, arrangement, 0), 0);
    }

    // One block through the accessor into separate output buffers.
    void process(Channels& in) {
        Channels out(in.size(), std::vector<float>(in[0].size()));
        auto i = pointers(in);
        auto o = pointers(out);
        acc->process(i.data(), o.data(), static_cast<int32_t>(in[0].size()));
        lastInput = in;
        lastOutput = out;
    }

    // A 1 kHz sine with one peak per channel, phase running on across calls,
    // in full host blocks; the loudness workers are waited for after each.
    void playSine(double seconds, const std::vector<double>& peaks) {
        ASSERT_EQ(peaks.size(), static_cast<size_t>(acc->meter()->channelCount()));
        auto remaining = static_cast<int64_t>(std::llround(seconds * kRate));
        while (remaining > 0) {
            const auto n = static_cast<size_t>(std::min<int64_t>(remaining, kMaxBlock));
            Channels in(peaks.size(), std::vector<float>(n));
            for (size_t i = 0; i < n; ++i, ++position_) {
                const double s = std::sin(2.0 * std::numbers::pi * 1000.0 * static_cast<double>(position_) / kRate);
                for (size_t c = 0; c < peaks.size(); ++c) in[c][i] = static_cast<float>(peaks[c] * s);
            }
            process(in);
            waitForWorkers();
            if (::testing::Test::HasFatalFailure()) return;
            remaining -= static_cast<int64_t>(n);
        }
    }

    void waitForWorkers() {
        Loudness* l = acc->meter()->loudness();
        l->integratedCollector()->waitForWorker();
        l->rangeCollector()->waitForWorker();
    }

    std::unique_ptr<VazEzaruAcc> acc;
    Channels lastInput;
    Channels lastOutput;

private:
    int64_t position_ = 0;
};

// The reading of 1 kHz sines of the given peaks and channel weights after the weighting the meter holds.
double expectedLufs(const Loudness& l, const std::vector<double>& peaks, const std::vector<double>& weights) {
    return testing::lufsOf(testing::sineMeanSquare(l, kRate, peaks, weights));
}

// ---- Set-up ------------------------------------------------------------------------

TEST(MeterAccessorSetUp, StartsReadyAtTheFloorsAndAnswersTheStoredBypass) {
    VazEzaruAcc acc(kRate, kMaxBlock);
    ASSERT_NE(acc.meter(), nullptr);
    ASSERT_NE(acc.meter()->loudness(), nullptr);
    EXPECT_EQ(acc.getValue(kValueMomentary), kFloorLufs);
    EXPECT_EQ(acc.getValue(kValueTruePeak), static_cast<double>(1e-6f));
    EXPECT_EQ(acc.getValue(kValueLoudnessEnabled), 0.0) << "loudness is the owner's to switch on";

    // The meter has no bypass reading; the accessor answers from its record.
    EXPECT_EQ(acc.getValue(0), 0.0);
    acc.setValue(0, 1.0);
    EXPECT_EQ(acc.getValue(0), 1.0);
    EXPECT_EQ(acc.meter()->getValue(0), 0.0);
}

// ---- Input peaks ---------------------------------------------------------------------

// Channel c of a block: a low staircase with one peak of the given signed
// value at a position of its own.
Channels peakBlock(const std::vector<float>& peaks, size_t count = 256) {
    Channels b(peaks.size(), std::vector<float>(count));
    for (size_t c = 0; c < b.size(); ++c) {
        for (size_t i = 0; i < count; ++i) b[c][i] = 0.001f * static_cast<float>(i % 7);
        b[c][(c * 13 + 5) % count] = peaks[c];
    }
    return b;
}

// Each channel's reading is the peak since its previous reading; the overall
// input peak is kept until cleared.
TEST(MeterAccessorInputPeaks, ChannelReadingsClearThemselvesTheOverallPeakIsClearedOnRequest) {
    DenormalGuard guard;
    AccessorRig rig(0xFFF);
    ASSERT_EQ(rig.acc->meter()->channelCount(), 12);
    auto peakId = [](int32_t c) { return kValueInputPeakFirst + c; };

    std::vector<float> first, second;
    for (int32_t c = 0; c < 12; ++c) {
        first.push_back((c % 2 ? -1.0f : 1.0f) * 0.05f * static_cast<float>(c + 1));
        second.push_back(0.5f - 0.03f * static_cast<float>(c));
    }
    Channels block = peakBlock(first);
    rig.process(block);
    for (int32_t c = 0; c < 12; ++c) {
        EXPECT_EQ(rig.acc->getValue(peakId(c)), std::fabs(first[static_cast<size_t>(c)])) << "channel " << c;
        EXPECT_EQ(rig.acc->getValue(peakId(c)), 0.0) << "read again, channel " << c;
    }
    EXPECT_EQ(rig.acc->getValue(kValueInputPeak), 0.6f);

    // After a reading only newer audio counts, even when it is quieter.
    block = peakBlock(second);
    rig.process(block);
    EXPECT_EQ(rig.acc->getValue(peakId(11)), second[11]);
    // Unread channels keep collecting across blocks; reading one leaves the others.
    block = peakBlock(std::vector<float>(12, 0.02f));
    rig.process(block);
    EXPECT_EQ(rig.acc->getValue(peakId(3)), second[3]);
    EXPECT_EQ(rig.acc->getValue(peakId(3)), 0.0);
    EXPECT_EQ(rig.acc->getValue(peakId(4)), second[4]);
    EXPECT_EQ(rig.acc->getValue(peakId(11)), 0.02f);
    EXPECT_EQ(rig.acc->getValue(kValueInputPeak), 0.6f);
    rig.acc->clearInputPeak();
    EXPECT_EQ(rig.acc->getValue(kValueInputPeak), 0.0);

    // The level meter sees what the measurement skips: a block loud only off
    // the 32-sample grid.
    Channels offGrid(12, std::vector<float>(256, 0.0f));
    offGrid[2][5] = -0.7f;
    const double rmsBefore = rig.acc->getValue(kValueRmsFirst + 2);
    rig.process(offGrid);
    EXPECT_EQ(rig.acc->getValue(peakId(2)), 0.7f);
    EXPECT_EQ(rig.acc->getValue(kValueInputPeak), 0.7f);
    EXPECT_EQ(rig.acc->getValue(kValueRmsFirst + 2), rmsBefore);
}

// ---- Arrangements ----------------------------------------------------------------------

void expectWeights(const VazEzaruAcc& acc, const std::vector<float>& expected) {
    const Loudness* l = acc.meter()->loudness();
    ASSERT_EQ(l->channelCount(), static_cast<int32_t>(expected.size()));
    for (size_t c = 0; c < expected.size(); ++c) EXPECT_FLOAT_EQ(l->weights()[c], expected[c]) << "channel " << c;
}

// A same-count layout keeps the weights the 5.1 layout gave; a new count
// starts them over; unequal counts are refused and change nothing.
TEST(MeterAccessorArrangements, FiveOneWeightsReachTheLoudnessAndOutliveAnotherSixChannelLayout) {
    VazEzaruAcc acc(kRate, kMaxBlock);
    const std::vector<float> fiveOne = {1.0f, 1.0f, 1.0f, 0.0f, 1.41f, 1.41f};
    ASSERT_EQ(acc.setArrangements(kFiveOne, kFiveOne, 0), 0);
    EXPECT_EQ(acc.meter()->channelCount(), 6);
    expectWeights(acc, fiveOne);
    ASSERT_EQ(acc.setArrangements(0x1C7, 0x1C7, 0), 0); // L R C and three speakers no weight rule names
    expectWeights(acc, fiveOne);

    ASSERT_EQ(acc.setArrangements(0x33, 0x33, 0), 0); // L R Ls Rs
    expectWeights(acc, {1.0f, 1.0f, 1.41f, 1.41f});
    ASSERT_EQ(acc.setArrangements(kStereo, kStereo, 0), 0);
    expectWeights(acc, {1.0f, 1.0f});
    EXPECT_EQ(acc.setArrangements(0x7, kStereo, 0), 1);
    EXPECT_EQ(acc.setArrangements(kFiveOne, kStereo, 0), 1);
    EXPECT_EQ(acc.setArrangements(kStereo, 0x1, 0), 1);
    EXPECT_EQ(acc.meter()->channelCount(), 2);
    expectWeights(acc, {1.0f, 1.0f});
}

// ---- Whole programmes -----------------------------------------------------------------------

TEST(MeterAccessorProgramme, FiveOneIntegratesWithoutTheLfeAndWithHeavierSurrounds) {
    DenormalGuard guard;
    AccessorRig rig(kStereo);
    // Switched on before the layout changes: the switch is no stored
    // parameter and must survive the arrangement set-up.
    rig.acc->setValue(kValueLoudnessEnabled, 1.0);
    ASSERT_EQ(rig.acc->setArrangements(kFiveOne, kFiveOne, 0), 0);
    ASSERT_EQ(rig.acc->getValue(kValueLoudnessEnabled), 1.0);

    // A different level on every channel, the LFE loudest of all.
    const std::vector<double> peaks = {0.1, 0.2, 0.3, 0.9, 0.15, 0.25};
    const Loudness& l = *rig.acc->meter()->loudness();
    const double expected = expectedLufs(l, peaks, {1.0, 1.0, 1.0, 0.0, 1.41, 1.41});
    // The case only tells the weights apart if other weights would read differently.
    ASSERT_GT(std::fabs(expectedLufs(l, peaks, {1.0, 1.0, 1.0, 0.0, 1.0, 1.0}) - expected), 0.5);
    ASSERT_GT(std::fabs(expectedLufs(l, peaks, {1.0, 1.0, 1.0, 1.0, 1.41, 1.41}) - expected), 0.5);

    ASSERT_NO_FATAL_FAILURE(rig.playSine(3.2, peaks));
    EXPECT_NEAR(rig.acc->getValue(kValueIntegrated), expected, 0.1);
    EXPECT_NEAR(rig.acc->getValue(kValueMomentary), expected, 0.1);
    EXPECT_NEAR(rig.acc->getValue(kValueShortTerm), expected, 0.1);
    EXPECT_EQ(rig.lastOutput, rig.lastInput) << "the audio passes through the accessor unchanged";
}

TEST(MeterAccessorProgramme, ResetReadsTheFloorAtOnceAndTheWorkersStartOver) {
    DenormalGuard guard;
    AccessorRig rig(kStereo);
    rig.acc->setValue(kValueLoudnessEnabled, 1.0);
    ASSERT_NO_FATAL_FAILURE(rig.playSine(3.5, {0.5, 0.5}));
    ASSERT_GT(rig.acc->getValue(kValueIntegrated), -10.0);
    ASSERT_GT(rig.acc->getValue(kValueShortTerm), -10.0);

    // As the processor sends it: the plain value of the reset parameter.
    rig.acc->setValue(kCommandReset, 1.0);
    const int32_t loudnessIds[] = {kValueMomentary, kValueShortTerm, kValueIntegrated, kValueMomentaryMax,
                                   kValueShortTermMax};
    for (int32_t id : loudnessIds) EXPECT_EQ(rig.acc->getValue(id), kFloorLufs) << "id " << id;
    EXPECT_EQ(rig.acc->getValue(kValueLoudnessRange), 0.0);
    // Nothing pending on the workers brings the old figures back.
    rig.waitForWorkers();
    for (int32_t id : loudnessIds) EXPECT_EQ(rig.acc->getValue(id), kFloorLufs) << "id " << id;

    // 20 dB quieter: were the loud blocks still stored, the quiet ones would
    // be gated out and the integrated loudness would stay loud.
    const std::vector<double> quiet = {0.05, 0.05};
    ASSERT_NO_FATAL_FAILURE(rig.playSine(1.5, quiet));
    const double expected = expectedLufs(*rig.acc->meter()->loudness(), quiet, {1.0, 1.0});
    EXPECT_NEAR(rig.acc->getValue(kValueIntegrated), expected, 0.1);
    EXPECT_NEAR(rig.acc->getValue(kValueMomentaryMax), expected, 0.1);
}

// The output peak the controller clears is the held RMS; the running RMS and the input peak stay.
TEST(MeterAccessorProgramme, ClearingTheOutputPeakClearsTheHeldRmsOnly) {
    DenormalGuard guard;
    AccessorRig rig(kStereo);
    ASSERT_NO_FATAL_FAILURE(rig.playSine(0.5, {0.6, 0.2}));
    ASSERT_NO_FATAL_FAILURE(rig.playSine(0.5, {0.1, 0.1}));
    const double running = rig.acc->getValue(kValueRmsFirst), inputPeak = rig.acc->getValue(kValueInputPeak);
    ASSERT_GT(rig.acc->getValue(kValueRmsOverall), running);
    rig.acc->clearOutputPeak();
    EXPECT_EQ(rig.acc->getValue(kValueRmsOverall), 0.0);
    EXPECT_EQ(rig.acc->getValue(kValueRmsFirst), running);
    EXPECT_EQ(rig.acc->getValue(kValueInputPeak), inputPeak);
}

} // namespace
} // namespace DSP
