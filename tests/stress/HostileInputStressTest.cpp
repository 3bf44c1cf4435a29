// What a broken plug-in upstream or a glitching device can send: NaN,
// infinities, denormals, full-scale squares and DC. The audio must pass
// unchanged, the readings sent to the host must stay finite and normalized,
// a reset must bring the meter back to correct readings, and denormals must
// not make a block expensive.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "HangWatchdog.h"
#include "StressHost.h"
#include "StressScale.h"
#include "StressSignal.h"

namespace NivoloStress {
namespace {

using Kind = StressSignal::Kind;

constexpr double kRate = 48000.0;
constexpr int32_t kBlock = 1024;

const char* nameOf(Kind kind) {
    switch (kind) {
    case Kind::Sine: return "sine";
    case Kind::Noise: return "noise";
    case Kind::NaN: return "NaN";
    case Kind::PlusInfinity: return "+infinity";
    case Kind::MinusInfinity: return "-infinity";
    case Kind::Denormal: return "denormals";
    case Kind::Square: return "full-scale square";
    case Kind::Dc: return "full-scale DC";
    }
    return "?";
}

class HostileInput : public ModuleSuite {
protected:
    void SetUp() override {
        ModuleSuite::SetUp();
        std::string error;
        ASSERT_TRUE(processor_.create(factory(), error)) << error;
        ASSERT_TRUE(processor_.configure(HostSetup{kRate, kBlock, 2, kRealtime}, error)) << error;
        out_.assign(2, std::vector<float>(kBlock));
        outPointers_[0] = out_[0].data();
        outPointers_[1] = out_[1].data();
    }

    // Blocks of the signal with a data request before each: the audio passes
    // bit for bit (NaN included), and every reading is finite and normalized.
    void playChecked(StressSignal& signal, double seconds, const char* what) {
        const auto blocks = static_cast<int>(seconds * kRate / kBlock) + 1;
        for (int b = 0; b < blocks; ++b) {
            float* const* in = signal.next(kBlock);
            processor_.requestData();
            ASSERT_EQ(processor_.process(in, outPointers_, kBlock), kResultOk);
            for (int c = 0; c < 2; ++c)
                ASSERT_EQ(std::memcmp(in[c], outPointers_[c], sizeof(float) * kBlock), 0)
                    << what << ": the audio did not pass unchanged in block " << b;
            const std::string problem = readingProblem(processor_.outputChanges());
            ASSERT_TRUE(problem.empty()) << what << ", block " << b << ": " << problem;
        }
    }

    StressProcessor processor_;
    std::vector<std::vector<float>> out_;
    float* outPointers_[2] = {};
};

TEST_F(HostileInput, EveryKindOfBadInputIsForgottenAfterAReset) {
    HangWatchdog watchdog;
    const Kind kinds[] = {Kind::NaN, Kind::PlusInfinity, Kind::MinusInfinity, Kind::Denormal, Kind::Square, Kind::Dc};
    const double amplitude = dbToAmplitude(-23.0);
    const double expected = sineLoudness(amplitude, 2.0);
    const int64_t rounds = cycles(1);
    for (int64_t round = 0; round < rounds; ++round) {
        for (Kind kind : kinds) {
            SCOPED_TRACE(std::string("after ") + nameOf(kind));
            WatchedStep step(watchdog, std::string("bad input: ") + nameOf(kind), 30.0);
            // Some good audio first, so that the bad input lands in a meter with history.
            StressSignal before(2, kBlock);
            before.set(Kind::Noise, dbToAmplitude(-20.0), kRate);
            ASSERT_NO_FATAL_FAILURE(playChecked(before, 0.5, "noise"));
            StressSignal bad(2, kBlock);
            bad.set(kind, 1.0, kRate, 997.0);
            ASSERT_NO_FATAL_FAILURE(playChecked(bad, 1.0, nameOf(kind)));

            processor_.changeParameter(kResetLoudness, 1.0);
            processor_.processNothing();
            StressSignal tone(2, kBlock);
            tone.set(Kind::Sine, amplitude, kRate);
            const MeterReadings readings = playAndRead(processor_, tone, 4.0);
            ASSERT_TRUE(readings.received);
            EXPECT_NEAR(readings.integrated, expected, 0.1);
            EXPECT_NEAR(readings.momentary, expected, 0.1);
            EXPECT_NEAR(readings.shortTerm, expected, 0.1);
            EXPECT_NEAR(readings.momentaryMax, expected, 0.1);
            EXPECT_NEAR(readings.shortTermMax, expected, 0.1);
            EXPECT_NEAR(readings.loudnessRange, 0.0, 0.1);
            EXPECT_NEAR(readings.truePeak, 20.0 * std::log10(amplitude), 0.1);
        }
    }
}

// A single bad sample in otherwise normal audio, in one channel only.
TEST_F(HostileInput, OneBadSampleInOneChannelKeepsTheReadingsFinite) {
    HangWatchdog watchdog;
    WatchedStep step(watchdog, "single bad samples", 30.0);
    const float bad[] = {std::nanf(""), INFINITY, -INFINITY};
    StressSignal tone(2, kBlock);
    tone.set(Kind::Sine, dbToAmplitude(-23.0), kRate);
    for (float value : bad) {
        for (int b = 0; b < 60; ++b) {
            float* const* in = tone.next(kBlock);
            if (b == 20) in[1][100] = value;
            processor_.requestData();
            processor_.process(in, outPointers_, kBlock);
            const std::string problem = readingProblem(processor_.outputChanges());
            ASSERT_TRUE(problem.empty()) << "after a sample " << value << ": " << problem;
        }
    }
}

double median(std::vector<double> values) {
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// Times blocks of two signals in alternating runs; the first blocks of each run
// let the filter states take on the new signal's magnitudes and are not counted.
// Returns the ratio of the medians, slow / normal.
double costRatio(StressProcessor& processor, StressSignal& normal, StressSignal& slow, int rounds, int32_t block) {
    constexpr int kRun = 10, kWarm = 5;
    std::vector<double> normalTimes, slowTimes;
    std::vector<float> out0(static_cast<size_t>(block)), out1(static_cast<size_t>(block));
    float* out[2] = {out0.data(), out1.data()};
    for (int r = 0; r < rounds; ++r) {
        for (int which = 0; which < 2; ++which) {
            StressSignal& signal = which == 0 ? normal : slow;
            for (int b = 0; b < kRun; ++b) {
                float* const* in = signal.next(block);
                const auto t0 = std::chrono::steady_clock::now();
                processor.process(in, out, block);
                const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
                if (b >= kWarm) (which == 0 ? normalTimes : slowTimes).push_back(t);
            }
        }
    }
    return median(slowTimes) / median(normalTimes);
}

// A block of denormals costs no more than three blocks of normal audio. Denormal
// input that the meter must measure (one normal sample keeps the block from
// counting as silence) drives every filter state into the denormal range.
TEST_F(HostileInput, DenormalInputCostsNoMoreThanNormalAudio) {
#ifdef NIVOLO_SANITIZED
    GTEST_SKIP() << "a sanitizer's instrumentation makes the timing meaningless";
#endif
    HangWatchdog watchdog;
    WatchedStep step(watchdog, "timing denormal blocks", 60.0);
    constexpr int32_t kTimedBlock = 4096;
    std::string error;
    ASSERT_TRUE(processor_.configure(HostSetup{kRate, kTimedBlock, 2, kRealtime}, error)) << error;

    StressSignal normal(2, kTimedBlock);
    normal.set(Kind::Noise, dbToAmplitude(-20.0), kRate);
    StressSignal pure(2, kTimedBlock);
    pure.set(Kind::Denormal, 0.0, kRate);
    StressSignal clicked(2, kTimedBlock); // a -60 dBFS click starts every block
    clicked.set(Kind::Denormal, 0.0, kRate);
    clicked.setClick(1e-3f);

    const int rounds = static_cast<int>(cycles(30));
    // A loaded machine can make one series look bad; a real slowdown shows in every one.
    double pureRatio = 1e9, clickedRatio = 1e9;
    for (int attempt = 0; attempt < 3 && (pureRatio > 3.0 || clickedRatio > 3.0); ++attempt) {
        pureRatio = std::min(pureRatio, costRatio(processor_, normal, pure, rounds, kTimedBlock));
        clickedRatio = std::min(clickedRatio, costRatio(processor_, normal, clicked, rounds, kTimedBlock));
    }
    EXPECT_LE(pureRatio, 3.0) << "a block of denormals costs " << pureRatio << " blocks of normal audio";
    EXPECT_LE(clickedRatio, 3.0) << "a measured block of denormals costs " << clickedRatio
                                 << " blocks of normal audio";
    std::printf("stress: denormal block cost / normal block cost: %.2f (pure), %.2f (measured)\n", pureRatio,
                clickedRatio);
}

} // namespace
} // namespace NivoloStress
