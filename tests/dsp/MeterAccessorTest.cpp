// The processor's accessor over the meter: the twelve stored parameters, the
// per-channel input peaks read-and-cleared by the controller's polling, the
// arrangement handed to the meter with its surround weights, and whole
// programmes through the meter as the processor runs it, with the loudness
// evaluated on worker threads (waited for after every block so that no
// window is dropped and the figures are exact).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <vector>

#include "controller/ParameterTables.h"
#include "dsp/DenormalGuard.h"
#include "dsp/MeterValueIds.h"
#include "dsp/VazEzaruAcc.h"

namespace DSP {
namespace {

constexpr double kRate = 48000.0;
constexpr int32_t kMaxBlock = 1024;
constexpr double kFloorLufs = -80.0;
constexpr int32_t kWorkerWaitMs = 5000;
constexpr uint64_t kStereo = 0x3;
constexpr uint64_t kFiveOne = 0x3F; // L R C LFE Ls Rs

using Channels = std::vector<std::vector<float>>;

std::vector<float*> pointers(Channels& channels) {
    std::vector<float*> p;
    for (auto& c : channels) p.push_back(c.data());
    return p;
}

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
        ASSERT_TRUE(l->integratedCollector()->waitForWorker(kWorkerWaitMs)) << "integrated worker stalled";
        ASSERT_TRUE(l->rangeCollector()->waitForWorker(kWorkerWaitMs)) << "range worker stalled";
    }

    std::unique_ptr<VazEzaruAcc> acc;
    Channels lastInput;
    Channels lastOutput;

private:
    int64_t position_ = 0;
};

// Weighted mean square of 1 kHz sines after the weighting the meter holds:
// each channel contributes w A^2/2 |H(1 kHz)|^2, H the two stored sections.
double expectedLufs(const Loudness& l, const std::vector<double>& peaks, const std::vector<double>& weights) {
    auto response = [](const BiquadCoefficients& k) {
        const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * 1000.0 / kRate);
        const std::complex<double> z2 = z1 * z1;
        return (double(k.b0) + double(k.b1) * z1 + double(k.b2) * z2) / (1.0 + double(k.a1) * z1 + double(k.a2) * z2);
    };
    const double gain = std::norm(response(l.shelf()) * response(l.highPass()));
    double z = 0.0;
    for (size_t c = 0; c < peaks.size(); ++c) z += weights[c] * peaks[c] * peaks[c] / 2.0 * gain;
    return 10.0 * std::log10(z) - 0.691;
}

// ---- Set-up ------------------------------------------------------------------------

TEST(MeterAccessorSetUp, StartsWithTheTableDefaultsAndAnswersTheStoredBypass) {
    VazEzaruAcc acc(kRate, kMaxBlock);
    const Param::ParameterRecord* table = Param::meterParameters();
    ASSERT_EQ(acc.getParameterCount(), Param::kMeterParameterCount);
    const ValueRecord* records = acc.getValueRecords();
    for (int32_t i = 0; i < Param::kMeterParameterCount; ++i) {
        EXPECT_EQ(records[i].id, table[i].id) << "record " << i;
        EXPECT_EQ(records[i].value, table[i].defaultValue) << "record " << i;
        EXPECT_STREQ(records[i].name, table[i].name) << "record " << i;
    }
    // The meter is ready to measure and starts from its floors.
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
Channels peakBlock(int32_t channels, const std::vector<float>& peaks, size_t count = 256) {
    Channels b(static_cast<size_t>(channels), std::vector<float>(count));
    for (size_t c = 0; c < b.size(); ++c) {
        for (size_t i = 0; i < count; ++i) b[c][i] = 0.001f * static_cast<float>(i % 7);
        b[c][(c * 13 + 5) % count] = peaks[c];
    }
    return b;
}

TEST(MeterAccessorInputPeaks, EachChannelReadingIsThePeakSinceThePreviousReading) {
    DenormalGuard guard;
    AccessorRig rig(0xFFF);
    ASSERT_EQ(rig.acc->meter()->channelCount(), 12);
    auto peakId = [](int32_t c) { return kValueInputPeakFirst + c; };

    std::vector<float> first, second;
    for (int32_t c = 0; c < 12; ++c) {
        first.push_back((c % 2 ? -1.0f : 1.0f) * 0.05f * static_cast<float>(c + 1));
        second.push_back(0.5f - 0.03f * static_cast<float>(c));
    }
    Channels block = peakBlock(12, first);
    rig.process(block);
    for (int32_t c = 0; c < 12; ++c) {
        EXPECT_EQ(rig.acc->getValue(peakId(c)), std::fabs(first[static_cast<size_t>(c)])) << "channel " << c;
        EXPECT_EQ(rig.acc->getValue(peakId(c)), 0.0) << "read again, channel " << c;
    }

    // After a reading only newer audio counts, even when it is quieter.
    block = peakBlock(12, second);
    rig.process(block);
    EXPECT_EQ(rig.acc->getValue(peakId(11)), second[11]);
    // Unread channels keep collecting across blocks; reading one leaves the others.
    std::vector<float> third(12, 0.02f);
    block = peakBlock(12, third);
    rig.process(block);
    EXPECT_EQ(rig.acc->getValue(peakId(3)), second[3]);
    EXPECT_EQ(rig.acc->getValue(peakId(3)), 0.0);
    EXPECT_EQ(rig.acc->getValue(peakId(4)), second[4]);
    EXPECT_EQ(rig.acc->getValue(peakId(11)), third[11]);

    // The level meter sees what the measurement skips: a block loud only off
    // the 32-sample grid.
    Channels offGrid(12, std::vector<float>(256, 0.0f));
    offGrid[2][5] = -0.7f;
    const double rmsBefore = rig.acc->getValue(kValueRmsFirst + 2);
    rig.process(offGrid);
    EXPECT_EQ(rig.acc->getValue(peakId(2)), 0.7f);
    EXPECT_EQ(rig.acc->getValue(kValueRmsFirst + 2), rmsBefore);
}

TEST(MeterAccessorInputPeaks, TheOverallInputPeakIsKeptUntilCleared) {
    DenormalGuard guard;
    AccessorRig rig(kStereo);
    Channels loud = peakBlock(2, {0.3f, -0.6f});
    rig.process(loud);
    EXPECT_EQ(rig.acc->getValue(kValueInputPeak), 0.6f);
    EXPECT_EQ(rig.acc->getValue(kValueInputPeak), 0.6f) << "not cleared by reading";
    rig.acc->getValue(kValueInputPeakFirst);
    rig.acc->getValue(kValueInputPeakFirst + 1);
    Channels quiet = peakBlock(2, {0.1f, 0.1f});
    rig.process(quiet);
    EXPECT_EQ(rig.acc->getValue(kValueInputPeak), 0.6f);
    // Channels the set-up does not have read nothing.
    EXPECT_EQ(rig.acc->getValue(kValueInputPeakFirst + 5), 0.0);
    EXPECT_EQ(rig.acc->getValue(kValueInputPeakLast), 0.0);

    rig.acc->clearInputPeak();
    EXPECT_EQ(rig.acc->getValue(kValueInputPeak), 0.0);
    rig.process(quiet);
    EXPECT_EQ(rig.acc->getValue(kValueInputPeak), 0.1f);
}

// ---- Arrangements ----------------------------------------------------------------------

void expectWeights(const VazEzaruAcc& acc, const std::vector<float>& expected) {
    const Loudness* l = acc.meter()->loudness();
    ASSERT_EQ(l->channelCount(), static_cast<int32_t>(expected.size()));
    for (size_t c = 0; c < expected.size(); ++c) EXPECT_FLOAT_EQ(l->weights()[c], expected[c]) << "channel " << c;
}

TEST(MeterAccessorArrangements, FiveOneWeightsReachTheLoudnessAndOutliveAnotherSixChannelLayout) {
    VazEzaruAcc acc(kRate, kMaxBlock);
    const std::vector<float> fiveOne = {1.0f, 1.0f, 1.0f, 0.0f, 1.41f, 1.41f};
    ASSERT_EQ(acc.setArrangements(kFiveOne, kFiveOne, 0), 0);
    EXPECT_EQ(acc.meter()->channelCount(), 6);
    expectWeights(acc, fiveOne);

    // L R C and three speakers that carry no weight rule: the same count
    // keeps the weights the 5.1 layout gave.
    ASSERT_EQ(acc.setArrangements(0x1C7, 0x1C7, 0), 0);
    expectWeights(acc, fiveOne);

    // A new count starts the weights over.
    ASSERT_EQ(acc.setArrangements(kStereo, kStereo, 0), 0);
    expectWeights(acc, {1.0f, 1.0f});
    ASSERT_EQ(acc.setArrangements(0x33, 0x33, 0), 0); // L R Ls Rs
    expectWeights(acc, {1.0f, 1.0f, 1.41f, 1.41f});
}

TEST(MeterAccessorArrangements, UnequalChannelCountsAreRefusedAndTheMeterKeepsItsSetUp) {
    DenormalGuard guard;
    AccessorRig rig(kStereo);
    EXPECT_EQ(rig.acc->setArrangements(0x7, kStereo, 0), 1);
    EXPECT_EQ(rig.acc->setArrangements(kFiveOne, kStereo, 0), 1);
    EXPECT_EQ(rig.acc->setArrangements(kStereo, 0x1, 0), 1);
    VazEzaru* meter = rig.acc->meter();
    EXPECT_EQ(meter->channelCount(), 2);
    expectWeights(*rig.acc, {1.0f, 1.0f});
    EXPECT_EQ(meter->rms()->channels(), 2);
    EXPECT_EQ(meter->truePeak()->channelCount(), 2);

    // The meter goes on passing and measuring stereo.
    Channels in = peakBlock(2, {0.25f, -0.5f});
    Channels out(2, std::vector<float>(in[0].size(), 9.0f));
    auto i = pointers(in);
    auto o = pointers(out);
    meter->process(i.data(), o.data(), static_cast<int32_t>(in[0].size()));
    EXPECT_EQ(out, in);
    EXPECT_GT(meter->getValue(kValueTruePeak), 0.45);
}

// ---- Output peak -------------------------------------------------------------------------

TEST(MeterAccessorOutputPeak, ClearingTheOutputPeakClearsTheHeldRmsOnly) {
    DenormalGuard guard;
    AccessorRig rig(kStereo);
    ASSERT_NO_FATAL_FAILURE(rig.playSine(0.5, {0.6, 0.2}));
    ASSERT_NO_FATAL_FAILURE(rig.playSine(0.5, {0.1, 0.1}));
    const double running = rig.acc->getValue(kValueRmsFirst);
    const double inputPeak = rig.acc->getValue(kValueInputPeak);
    ASSERT_GT(rig.acc->getValue(kValueRmsOverall), running);

    rig.acc->clearOutputPeak();
    EXPECT_EQ(rig.acc->getValue(kValueRmsOverall), 0.0);
    EXPECT_EQ(rig.acc->getValue(kValueRmsFirst), running);
    EXPECT_EQ(rig.acc->getValue(kValueInputPeak), inputPeak);

    // Held again from the next block on.
    ASSERT_NO_FATAL_FAILURE(rig.playSine(0.1, {0.1, 0.1}));
    EXPECT_GT(rig.acc->getValue(kValueRmsOverall), 0.0);
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

} // namespace
} // namespace DSP
