// Random set-up changes between blocks, as a host makes them when the user
// changes the audio device, the buffer size or the track's channel layout:
// every change follows the host protocol, every block has a random length up
// to the announced maximum, and the audio must pass unchanged with every
// reading finite and normalized.

#include <gtest/gtest.h>

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

constexpr double kRates[] = {8000.0,  11025.0, 16000.0,  22050.0,  32000.0,  44100.0, 48000.0,
                             88200.0, 96000.0, 176400.0, 192000.0, 352800.0, 384000.0};
// The extremes, powers of two and primes (which no internal hop divides).
constexpr int32_t kBlocks[] = {1, 2, 3, 7, 13, 31, 64, 127, 257, 509, 1021, 1024, 2039, 4093, 4096, 8191, 8192};
// Per set-up: samples summed over channels (keeps 14 channels at 384 kHz cheap)
// and blocks (keeps one-sample blocks cheap).
constexpr int64_t kSampleBudget = 120000;
constexpr int kBlockBudget = 150;

class SetupChanges : public ModuleSuite {};

// The meter copies its input; a bypass change cross-fades two copies of it,
// which may differ from it by rounding only.
bool samePassage(float expected, float actual) {
    if (std::isnan(expected)) return std::isnan(actual);
    return std::fabs(actual - expected) <= 1e-6f * std::max(1.0f, std::fabs(expected));
}

TEST_F(SetupChanges, RandomSetUpsBetweenBlocksKeepTheAudioAndTheReadingsSound) {
    const uint64_t seed = stressSeed();
    SCOPED_TRACE(seedNote(seed));
    Random random(seed);
    HangWatchdog watchdog;
    const int64_t changes = cycles(50);
    const auto started = std::chrono::steady_clock::now();

    StressProcessor processor;
    std::string error;
    ASSERT_TRUE(processor.create(factory(), error)) << error;
    StressSignal signal;
    std::vector<std::vector<float>> expected, separate;
    std::vector<float*> separatePointers;
    int64_t blocks = 0, answered = 0;
    HostSetup setup;

    for (int64_t change = 1; change <= changes; ++change) {
        // Now and then the same set-up again: the processor must take the round trip as well.
        if (change == 1 || random.chance(0.9)) {
            setup.sampleRate = random.pick(kRates);
            setup.maxBlock = random.chance(0.7) ? random.pick(kBlocks) : static_cast<int32_t>(random.between(1, 8192));
            setup.channels = static_cast<int32_t>(random.between(1, 14));
            setup.processMode = random.chance(0.5) ? kRealtime : kOffline;
        }
        const std::string where = "set-up change " + std::to_string(change) + " (" + describe(setup) + ")";
        SCOPED_TRACE(where);
        WatchedStep step(watchdog, where, 20.0);
        ASSERT_TRUE(processor.configure(setup, error)) << error;

        signal.resize(setup.channels, setup.maxBlock);
        const bool noise = random.chance(0.5);
        signal.set(noise ? StressSignal::Kind::Noise : StressSignal::Kind::Sine, dbToAmplitude(random.between(-60, 0)),
                   setup.sampleRate, static_cast<double>(random.between(20, 20000)));
        expected.assign(static_cast<size_t>(setup.channels), std::vector<float>(static_cast<size_t>(setup.maxBlock)));
        separate.assign(static_cast<size_t>(setup.channels), std::vector<float>(static_cast<size_t>(setup.maxBlock)));
        separatePointers.resize(static_cast<size_t>(setup.channels));
        for (size_t c = 0; c < separate.size(); ++c) separatePointers[c] = separate[c].data();

        int64_t budget = kSampleBudget / setup.channels + setup.maxBlock;
        for (int blockInSetup = 0; budget > 0 && blockInSetup < kBlockBudget; ++blockInSetup) {
            // Between blocks: the edits a user makes and the controller's request.
            if (random.chance(0.1)) processor.changeParameter(kUnitSwitch, random.chance(0.5) ? 1.0 : 0.0);
            if (random.chance(0.05)) processor.changeParameter(kBypass, random.chance(0.5) ? 1.0 : 0.0);
            if (random.chance(0.05)) processor.changeParameter(kResetLoudness, 1.0);
            if (random.chance(0.05)) processor.changeParameter(kResetMaxima, 1.0);
            if (random.chance(0.05)) processor.changeParameter(kResetTruePeak, 1.0);
            if (random.chance(0.5)) processor.requestData();

            const auto n = static_cast<int32_t>(random.between(1, setup.maxBlock));
            float* const* in = signal.next(n);
            for (int32_t c = 0; c < setup.channels; ++c)
                std::memcpy(expected[static_cast<size_t>(c)].data(), in[c], sizeof(float) * static_cast<size_t>(n));
            const bool inPlace = random.chance(0.5);
            float* const* out = inPlace ? in : separatePointers.data();
            ASSERT_EQ(processor.process(in, out, n), kResultOk) << "block " << blocks << " of " << n;
            ++blocks;
            budget -= n;

            for (int32_t c = 0; c < setup.channels; ++c)
                for (int32_t i = 0; i < n; ++i)
                    ASSERT_TRUE(samePassage(expected[static_cast<size_t>(c)][static_cast<size_t>(i)], out[c][i]))
                        << "channel " << c << " sample " << i << " of a block of " << n << ": in "
                        << expected[static_cast<size_t>(c)][static_cast<size_t>(i)] << ", out " << out[c][i];
            const std::string problem = readingProblem(processor.outputChanges());
            ASSERT_TRUE(problem.empty()) << problem;
            if (processor.outputChanges().getParameterCount() > 0) ++answered;
        }
    }
    processor.destroy();
    EXPECT_GT(answered, 0) << "no block answered a data request";
    std::printf("stress: %lld cycles of set-up changes, %lld blocks (%lld with readings) in %.2f s\n",
                static_cast<long long>(changes), static_cast<long long>(blocks), static_cast<long long>(answered),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

// A host offers the same arrangement again (after a device change, say) right
// after a block handed a short-term window to its worker: the channel weights
// are copied into the collectors while that worker may be summing the window
// with them. The meter must measure as if it had been set up once.
TEST_F(SetupChanges, TheSameArrangementOfferedWhileAWorkerSumsLeavesTheWeightsRight) {
    const uint64_t seed = stressSeed();
    SCOPED_TRACE(seedNote(seed));
    Random random(seed);
    HangWatchdog watchdog;
    StressProcessor processor;
    std::string error;
    ASSERT_TRUE(processor.create(factory(), error)) << error;
    const HostSetup setup{48000.0, 4800, 14, kRealtime};
    StressSignal tone(setup.channels, setup.maxBlock);
    const double amplitude = dbToAmplitude(-23.0);
    tone.set(StressSignal::Kind::Sine, amplitude, setup.sampleRate);
    const int64_t rounds = cycles(10);
    for (int64_t round = 1; round <= rounds; ++round) {
        WatchedStep step(watchdog, "offering round " + std::to_string(round), 20.0);
        ASSERT_TRUE(processor.configure(setup, error)) << error;
        // Three seconds: the last block completes a full short-term window.
        for (int b = 0; b < 30; ++b) {
            float* const* audio = tone.next(setup.maxBlock);
            processor.process(audio, audio, setup.maxBlock);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(random.between(0, 500));
        while (std::chrono::steady_clock::now() < until) {
        }
    }
    // Eleven front channels at 1, the LFE at 0, the two surrounds at 1.41.
    const double expected = sineLoudness(amplitude, 11.0 + 2.0 * 1.41);
    const MeterReadings readings = playAndRead(processor, tone, 4.0);
    EXPECT_NEAR(readings.shortTerm, expected, 0.1);
    EXPECT_NEAR(readings.momentary, expected, 0.1);
    EXPECT_NEAR(readings.integrated, expected, 0.1);
    processor.destroy();
    std::printf("stress: %lld cycles of the same arrangement offered again\n", static_cast<long long>(rounds));
}

// A block longer than the announced maximum is the host's error; the
// processor must neither overrun its buffers nor touch the audio.
TEST_F(SetupChanges, BlocksLongerThanAnnouncedAreRefusedUntouched) {
    HangWatchdog watchdog;
    WatchedStep step(watchdog, "an overlong block", 10.0);
    StressProcessor processor;
    std::string error;
    ASSERT_TRUE(processor.create(factory(), error)) << error;
    ASSERT_TRUE(processor.configure(HostSetup{44100.0, 64, 2, kRealtime}, error)) << error;
    StressSignal signal(2, 4096);
    signal.set(StressSignal::Kind::Sine, 0.5, 44100.0);
    std::vector<float> out(4096, -7.25f), out2(4096, -7.25f);
    float* outs[2] = {out.data(), out2.data()};
    processor.process(signal.next(4096), outs, 4096);
    for (float x : out) ASSERT_EQ(x, -7.25f);
}

} // namespace
} // namespace NivoloStress
