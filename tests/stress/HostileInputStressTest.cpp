// What a broken plug-in upstream or a glitching device can send: NaN,
// infinities, denormals, full-scale squares and DC. The audio must pass
// unchanged, the readings sent to the host must stay finite and normalized,
// and a reset must bring the meter back to correct readings. (What denormals
// cost is timed end to end under make check, not here.)

#include <gtest/gtest.h>

#include <algorithm>
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

} // namespace
} // namespace NivoloStress
