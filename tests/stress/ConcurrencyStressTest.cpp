// The threads of a live session at once: the audio thread processing without
// pause, the controller's requests and level resets arriving on another
// thread, user edits handed over through the host's queue, and the host
// saving (and loading) the processor's state on a third. Nothing may crash,
// every block's readings must stay sound, every saved state must be whole,
// and once the dust settles the meter must read a known tone correctly.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "HangWatchdog.h"
#include "HostChangeQueue.h"
#include "StressHost.h"
#include "StressScale.h"
#include "StressSignal.h"

namespace NivoloStress {
namespace {

constexpr int32_t kParameterCount = 12;
constexpr int32_t kRecordSize = 144;    // what the length word counts per record
constexpr int32_t kSavedRecordSize = 140; // 128-byte name, int32 id, float64 value

// First problem of a saved state, empty when it is whole: the length word, one
// record per parameter, each id once, every value finite.
std::string stateProblem(const std::vector<uint8_t>& bytes) {
    if (bytes.size() != 4u + kParameterCount * kSavedRecordSize)
        return "a state of " + std::to_string(bytes.size()) + " bytes";
    int32_t length = 0;
    std::memcpy(&length, bytes.data(), 4);
    if (length != kParameterCount * kRecordSize) return "length word " + std::to_string(length);
    std::vector<int32_t> ids;
    for (int32_t r = 0; r < kParameterCount; ++r) {
        const uint8_t* record = bytes.data() + 4 + r * kSavedRecordSize;
        int32_t id = 0;
        double value = 0.0;
        std::memcpy(&id, record + 128, 4);
        std::memcpy(&value, record + 132, 8);
        for (int32_t seen : ids)
            if (seen == id) return "id " + std::to_string(id) + " twice";
        ids.push_back(id);
        if (!std::isfinite(value)) return "value of id " + std::to_string(id) + " not finite";
    }
    return {};
}

// The plain value a saved state holds for id; NaN when it has none.
double savedValue(const std::vector<uint8_t>& bytes, int32_t wanted) {
    for (size_t offset = 4; offset + kSavedRecordSize <= bytes.size(); offset += kSavedRecordSize) {
        int32_t id = 0;
        double value = 0.0;
        std::memcpy(&id, bytes.data() + offset + 128, 4);
        std::memcpy(&value, bytes.data() + offset + 132, 8);
        if (id == wanted) return value;
    }
    return std::nan("");
}

class Concurrency : public ModuleSuite {};

TEST_F(Concurrency, RequestsResetsAndStateCallsDuringContinuousProcessing) {
    const uint64_t seed = stressSeed();
    SCOPED_TRACE(seedNote(seed));
    const double seconds = 1.5 * static_cast<double>(stressScale());
    HangWatchdog watchdog;
    WatchedStep step(watchdog, "the concurrent session", seconds * kSlowdown + 30.0);

    StressProcessor processor;
    std::string error;
    ASSERT_TRUE(processor.create(factory(), error)) << error;
    const HostSetup setup{48000.0, 512, 2, kRealtime};
    ASSERT_TRUE(processor.configure(setup, error)) << error;
    const std::vector<uint8_t> initialState = [&] {
        auto stream = IPtr<MemoryStream>::adopt(new MemoryStream);
        processor.component()->getState(stream.get());
        return stream->bytes();
    }();

    HostChangeQueue edits;
    std::atomic<bool> stop{false};
    std::atomic<int64_t> blocks{0}, requests{0}, resets{0}, saves{0}, loads{0};
    std::mutex problemMutex;
    std::string problem;
    auto report = [&](const std::string& what) {
        std::lock_guard<std::mutex> guard(problemMutex);
        if (problem.empty()) problem = what;
        stop.store(true);
    };

    // The audio thread: edits handed over between blocks, a tone that jumps
    // between two levels so that resets and maxima have something to do.
    std::thread audio([&] {
        StressSignal loud(2, setup.maxBlock), quiet(2, setup.maxBlock);
        loud.set(StressSignal::Kind::Sine, dbToAmplitude(-6.0), setup.sampleRate);
        quiet.set(StressSignal::Kind::Noise, dbToAmplitude(-40.0), setup.sampleRate);
        Random random(seed ^ 0xA0D10ull);
        while (!stop.load(std::memory_order_relaxed)) {
            edits.drain([&](const HostChangeQueue::Change& change) { processor.changeParameter(change.id, change.value); });
            const auto n = static_cast<int32_t>(random.between(1, setup.maxBlock));
            float* const* in = (blocks.load(std::memory_order_relaxed) / 64) % 2 ? quiet.next(n) : loud.next(n);
            processor.process(in, in, n);
            blocks.fetch_add(1, std::memory_order_relaxed);
            const std::string wrong = readingProblem(processor.outputChanges());
            if (!wrong.empty()) report("block " + std::to_string(blocks.load()) + ": " + wrong);
        }
    });
    // The controller's side: a data request per idle tick (here much faster),
    // level resets, and the user's clicks that the host hands to the audio thread.
    std::thread messages([&] {
        Random random(seed ^ 0x3E55A6Eull);
        while (!stop.load(std::memory_order_relaxed)) {
            processor.requestData();
            requests.fetch_add(1, std::memory_order_relaxed);
            if (random.chance(0.05)) processor.peer().sendIntMessage("resetMaxLevelIn", 0);
            if (random.chance(0.05)) processor.peer().sendIntMessage("resetMaxLevelOut", 0);
            if (random.chance(0.1) && edits.push(kResetLoudness, 1.0)) resets.fetch_add(1, std::memory_order_relaxed);
            if (random.chance(0.05)) edits.push(kResetMaxima, 1.0);
            if (random.chance(0.05)) edits.push(kUnitSwitch, random.chance(0.5) ? 1.0 : 0.0);
            std::this_thread::sleep_for(std::chrono::microseconds(random.between(0, 300)));
        }
    });
    // The host saving the project (and now and then loading it back).
    std::thread states([&] {
        Random random(seed ^ 0x57A7Eull);
        while (!stop.load(std::memory_order_relaxed)) {
            auto stream = IPtr<MemoryStream>::adopt(new MemoryStream);
            if (processor.component()->getState(stream.get()) != kResultOk) report("getState failed");
            const std::string wrong = stateProblem(stream->bytes());
            if (!wrong.empty()) report("saved state: " + wrong);
            saves.fetch_add(1, std::memory_order_relaxed);
            if (random.chance(0.02)) {
                stream->rewind();
                if (processor.component()->setState(stream.get()) != kResultOk) report("setState failed");
                loads.fetch_add(1, std::memory_order_relaxed);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(random.between(0, 500)));
        }
    });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!stop.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop.store(true);
    audio.join();
    messages.join();
    states.join();
    ASSERT_TRUE(problem.empty()) << problem;
    EXPECT_GT(blocks.load(), 100);
    EXPECT_GT(saves.load(), 10);

    // After the dust settles: the unit back to LUFS (the last edit may have
    // left it in LU), a reset, and a -23 dBFS tone reads -23 everywhere.
    edits.drain([&](const HostChangeQueue::Change& change) { processor.changeParameter(change.id, change.value); });
    processor.processNothing();
    auto restore = IPtr<MemoryStream>::adopt(new MemoryStream(initialState));
    ASSERT_EQ(processor.component()->setState(restore.get()), kResultOk);
    processor.changeParameter(kUnitSwitch, 0.0);
    processor.changeParameter(kResetLoudness, 1.0);
    processor.processNothing();
    StressSignal tone(2, setup.maxBlock);
    const double amplitude = dbToAmplitude(-23.0);
    tone.set(StressSignal::Kind::Sine, amplitude, setup.sampleRate);
    const MeterReadings readings = playAndRead(processor, tone, 5.0);
    const double expected = sineLoudness(amplitude, 2.0);
    EXPECT_NEAR(readings.integrated, expected, 0.1);
    EXPECT_NEAR(readings.momentary, expected, 0.1);
    EXPECT_NEAR(readings.shortTerm, expected, 0.1);
    EXPECT_NEAR(readings.momentaryMax, expected, 0.1) << "a value from before the reset survived in the maximum";
    EXPECT_NEAR(readings.shortTermMax, expected, 0.1) << "a value from before the reset survived in the maximum";
    EXPECT_NEAR(readings.truePeak, -23.0, 0.1);
    EXPECT_NEAR(readings.loudnessRange, 0.0, 0.1);

    std::printf("stress: %.1f s of concurrent processing: %lld blocks, %lld requests, %lld resets, %lld saves, "
                "%lld loads\n",
                seconds, static_cast<long long>(blocks.load()), static_cast<long long>(requests.load()),
                static_cast<long long>(resets.load()), static_cast<long long>(saves.load()),
                static_cast<long long>(loads.load()));
}

// A reset that lands while a worker still evaluates a window from before it:
// what that evaluation publishes belongs to the old measurement and must not
// reach the maxima of the new one. 14 channels at 8 kHz make the short-term
// worker's window sum long enough for the reset to land inside it often.
TEST_F(Concurrency, AResetDuringAnEvaluationKeepsTheOldWindowOutOfTheMaxima) {
    const uint64_t seed = stressSeed();
    SCOPED_TRACE(seedNote(seed));
    Random random(seed);
    HangWatchdog watchdog;
    StressProcessor processor;
    std::string error;
    ASSERT_TRUE(processor.create(factory(), error)) << error;
    const HostSetup setup{8000.0, 800, 14, kRealtime};
    ASSERT_TRUE(processor.configure(setup, error)) << error;
    StressSignal loud(setup.channels, setup.maxBlock), quiet(setup.channels, setup.maxBlock);
    loud.set(StressSignal::Kind::Sine, dbToAmplitude(-3.0), setup.sampleRate, 1000.0);
    quiet.set(StressSignal::Kind::Sine, dbToAmplitude(-60.0), setup.sampleRate, 1000.0);

    const int64_t rounds = cycles(40);
    int64_t stale = 0;
    for (int64_t round = 1; round <= rounds; ++round) {
        WatchedStep step(watchdog, "reset round " + std::to_string(round), 10.0);
        processor.changeParameter(kResetLoudness, 1.0);
        processor.processNothing();
        // Three seconds of 100 ms blocks: the last completes the first full
        // short-term window, which goes to the worker.
        for (int b = 0; b < 30; ++b) {
            float* const* audio = loud.next(setup.maxBlock);
            processor.process(audio, audio, setup.maxBlock);
        }
        // The worker wakes and sums; the reset comes a random moment later.
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(random.between(0, 400));
        while (std::chrono::steady_clock::now() < until) {
        }
        processor.changeParameter(kResetLoudness, 1.0);
        processor.processNothing();
        // The new measurement in one-sample blocks for a few milliseconds: every
        // block folds the collectors' latest figures into the maxima, so a
        // figure published from the old window is caught whenever it shows.
        const auto watchUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(3);
        for (int b = 0; b < 2000 && std::chrono::steady_clock::now() < watchUntil; ++b) {
            float* const* audio = quiet.next(1);
            processor.process(audio, audio, 1);
        }
        processor.requestData();
        processor.processNothing();
        MeterReadings readings;
        processor.collect(readings);
        ASSERT_TRUE(readings.received);
        if (readings.shortTermMax > MeterReadings::kReadingMin || readings.momentaryMax > MeterReadings::kReadingMin)
            ++stale;
    }
    EXPECT_EQ(stale, 0) << "in " << stale << " of " << rounds
                        << " rounds a loudness from before the reset showed as a maximum after it";
    std::printf("stress: %lld cycles of resets during evaluations\n", static_cast<long long>(rounds));
}

// A state saved while the audio thread applies edits is one moment's state:
// edits that arrive in the same block are either all in it or all not.
TEST_F(Concurrency, SavedStateNeverMixesTheValuesOfTwoMoments) {
    const uint64_t seed = stressSeed();
    SCOPED_TRACE(seedNote(seed));
    HangWatchdog watchdog;
    WatchedStep step(watchdog, "saving while edits arrive", 30.0 + stressScale() * 5.0);
    StressProcessor processor;
    std::string error;
    ASSERT_TRUE(processor.create(factory(), error)) << error;
    ASSERT_TRUE(processor.configure(HostSetup{48000.0, 64, 2, kRealtime}, error)) << error;

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        double value = 0.0;
        while (!stop.load(std::memory_order_relaxed)) {
            // The unit switch, bypass and the maxima reset move together in one block.
            value = value == 0.0 ? 1.0 : 0.0;
            processor.changeParameter(kUnitSwitch, value);
            processor.changeParameter(kBypass, value);
            processor.changeParameter(kResetMaxima, value);
            processor.processNothing();
        }
    });
    const int64_t saves = cycles(20000);
    int64_t mixed = 0;
    for (int64_t s = 0; s < saves; ++s) {
        auto stream = IPtr<MemoryStream>::adopt(new MemoryStream);
        processor.component()->getState(stream.get());
        const double unit = savedValue(stream->bytes(), kUnitSwitch);
        if (savedValue(stream->bytes(), kBypass) != unit || savedValue(stream->bytes(), kResetMaxima) != unit) ++mixed;
    }
    stop.store(true);
    audio.join();
    EXPECT_EQ(mixed, 0) << mixed << " of " << saves << " saved states mixed two moments";
}

} // namespace
} // namespace NivoloStress
