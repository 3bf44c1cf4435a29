// Thousands of plug-in lifecycles through the module's exported factory, as
// hosts run them when projects open and close and tracks are added and
// removed: no thread, no file descriptor and no hang may remain.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "HangWatchdog.h"
#include "ProcessResources.h"
#include "StressHost.h"
#include "StressScale.h"
#include "StressSignal.h"
#include "host/PluginInstance.h"

namespace NivoloStress {
namespace {

constexpr int kWorkersPerProcessor = 2; // the integrated and the range collector
constexpr int kSettleMs = 2000;         // a joined thread leaves /proc/self/task within this

// How a host ends a processor's life.
enum class Ending {
    ByTheBook,           // processing off, inactive, terminate, release
    TerminateWhileActive, // a host that tears down without deactivating
    ReleaseOnly,         // a host that forgets terminate: the last release must clean up
};

class Lifecycles : public ModuleSuite {
protected:
    void SetUp() override {
        ModuleSuite::SetUp();
        seed_ = stressSeed();
        random_ = std::make_unique<Random>(seed_);
        // One full cycle first: whatever the process sets up once (vector
        // primitives, lazily opened files) is in the baseline; its workers are not.
        const int threadsBefore = threadCount();
        StressProcessor processor;
        std::string error;
        ASSERT_TRUE(processor.create(factory(), error)) << error;
        ASSERT_TRUE(processor.configure(HostSetup{}, error)) << error;
        processor.destroy();
        baseThreads_ = settledCount(threadCount, threadsBefore, kSettleMs);
        ASSERT_EQ(baseThreads_, threadsBefore) << "the first processor left threads behind";
        baseFiles_ = openFileCount();
    }

    // Mostly the set-ups hosts run every day; now and then another rate with
    // any channel count (the three-second buffers of 14 channels at 192 kHz
    // make such a cycle slow).
    HostSetup randomSetup() {
        static const double everyday[] = {44100.0, 48000.0};
        static const double rare[] = {8000.0, 22050.0, 96000.0, 192000.0};
        static const int32_t blocks[] = {1, 64, 441, 512, 1024, 4096};
        HostSetup setup;
        const bool unusual = random_->chance(0.1);
        setup.sampleRate = unusual ? random_->pick(rare) : random_->pick(everyday);
        setup.maxBlock = random_->pick(blocks);
        setup.channels = static_cast<int32_t>(unusual || random_->chance(0.2) ? random_->between(1, 14)
                                                                              : random_->between(1, 2));
        return setup;
    }

    // Every worker gone and every descriptor closed, within the settling time.
    void expectBaseline(int64_t cycle, const char* what) {
        const int threads = settledCount(threadCount, baseThreads_, kSettleMs);
        ASSERT_EQ(threads, baseThreads_) << what << " " << cycle << " left " << threads - baseThreads_
                                         << " thread(s) running; " << seedNote(seed_);
        const int files = settledCount(openFileCount, baseFiles_, kSettleMs);
        ASSERT_EQ(files, baseFiles_) << what << " " << cycle << " left " << files - baseFiles_
                                     << " file descriptor(s) open; " << seedNote(seed_);
    }

    uint64_t seed_ = 0;
    std::unique_ptr<Random> random_;
    int baseThreads_ = 0;
    int baseFiles_ = 0;
    HangWatchdog watchdog_;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(Lifecycles, ProcessorCyclesStopEveryWorkerAndCloseEverything) {
    const int64_t count = cycles(250);
    const auto started = std::chrono::steady_clock::now();
    StressSignal signal;
    for (int64_t cycle = 1; cycle <= count; ++cycle) {
        const HostSetup setup = randomSetup();
        const auto ending = static_cast<Ending>(random_->between(0, 2));
        WatchedStep step(watchdog_, "processor cycle " + std::to_string(cycle) + " (" + describe(setup) + ")", 10.0);
        {
            StressProcessor processor;
            std::string error;
            ASSERT_TRUE(processor.create(factory(), error)) << error;
            ASSERT_TRUE(processor.configure(setup, error)) << error << "; " << seedNote(seed_);
            // Rebuilding the meter for the set-up replaced the workers, it did not add to them.
            const int running = settledCount(threadCount, baseThreads_ + kWorkersPerProcessor, kSettleMs);
            ASSERT_EQ(running, baseThreads_ + kWorkersPerProcessor)
                << "cycle " << cycle << " with " << describe(setup) << "; " << seedNote(seed_);
            signal.resize(setup.channels, setup.maxBlock);
            signal.set(StressSignal::Kind::Sine, 0.5, setup.sampleRate);
            for (int block = 0; block < 3; ++block) {
                const auto n = static_cast<int32_t>(random_->between(1, setup.maxBlock));
                float* const* audio = signal.next(n);
                processor.requestData();
                processor.process(audio, audio, n);
            }
            if (ending == Ending::ByTheBook) {
                processor.destroy();
            } else {
                if (ending == Ending::TerminateWhileActive) processor.component()->terminate();
                processor.forget(); // the processor goes with its last reference
            }
        }
        ASSERT_NO_FATAL_FAILURE(expectBaseline(cycle, "processor cycle"));
    }
    std::printf("stress: %lld cycles of processor lifecycles in %.2f s\n", static_cast<long long>(count),
                secondsSince(started));
}

TEST_F(Lifecycles, ManyProcessorsAtOnceEachRunTheirOwnWorkers) {
    const int64_t rounds = cycles(8);
    const auto started = std::chrono::steady_clock::now();
    StressSignal signal(2, 1024);
    signal.set(StressSignal::Kind::Sine, 0.5, 48000.0);
    for (int64_t round = 1; round <= rounds; ++round) {
        WatchedStep step(watchdog_, "round " + std::to_string(round) + " of simultaneous processors", 20.0);
        const auto slots = static_cast<int>(random_->between(2, 12));
        std::vector<std::unique_ptr<StressProcessor>> processors;
        for (int s = 0; s < slots; ++s) {
            auto processor = std::make_unique<StressProcessor>();
            std::string error;
            ASSERT_TRUE(processor->create(factory(), error)) << error;
            ASSERT_TRUE(processor->configure(HostSetup{}, error)) << error;
            processors.push_back(std::move(processor));
        }
        ASSERT_EQ(settledCount(threadCount, baseThreads_ + kWorkersPerProcessor * slots, kSettleMs),
                  baseThreads_ + kWorkersPerProcessor * slots)
            << slots << " processors; " << seedNote(seed_);
        for (int block = 0; block < 20; ++block) {
            float* const* audio = signal.next(1024);
            for (auto& processor : processors) processor->process(audio, audio, 1024);
        }
        // Torn down in a random order, as tracks are deleted.
        while (!processors.empty()) {
            const auto victim = static_cast<size_t>(random_->between(0, static_cast<int64_t>(processors.size()) - 1));
            processors.erase(processors.begin() + static_cast<std::ptrdiff_t>(victim));
            const int left = static_cast<int>(processors.size());
            ASSERT_EQ(settledCount(threadCount, baseThreads_ + kWorkersPerProcessor * left, kSettleMs),
                      baseThreads_ + kWorkersPerProcessor * left)
                << "after removing one of " << slots << " processors; " << seedNote(seed_);
        }
        ASSERT_NO_FATAL_FAILURE(expectBaseline(round, "round"));
    }
    std::printf("stress: %lld cycles of 2 to 12 simultaneous processors in %.2f s\n", static_cast<long long>(rounds),
                secondsSince(started));
}

TEST_F(Lifecycles, ModuleLoadsAndUnloadsWithProcessorsInBetween) {
    const int64_t count = cycles(40);
    const auto started = std::chrono::steady_clock::now();
    // The suite keeps its own load; the module is opened again on top of it
    // and must come back to the same state after every unload.
    for (int64_t cycle = 1; cycle <= count; ++cycle) {
        WatchedStep step(watchdog_, "module load cycle " + std::to_string(cycle), 10.0);
        {
            PluginModule module;
            std::string error;
            ASSERT_TRUE(module.load(NIVOLO_MODULE_PATH, error)) << error;
            StressProcessor processor;
            ASSERT_TRUE(processor.create(module.factory(), error)) << error;
            ASSERT_TRUE(processor.configure(HostSetup{}, error)) << error;
            StressSignal signal(2, 1024);
            signal.set(StressSignal::Kind::Sine, 0.5, 48000.0);
            float* const* audio = signal.next(1024);
            processor.process(audio, audio, 1024);
            processor.destroy();
            module.unload();
        }
        ASSERT_NO_FATAL_FAILURE(expectBaseline(cycle, "module load cycle"));
    }
    std::printf("stress: %lld cycles of module load and unload in %.2f s\n", static_cast<long long>(count),
                secondsSince(started));
}

TEST_F(Lifecycles, PluginSlotsWithControllerAndEditorOpenAndCloseCleanly) {
    const int64_t count = cycles(60);
    const auto started = std::chrono::steady_clock::now();
    int editors = 0;
    for (int64_t cycle = 1; cycle <= count; ++cycle) {
        HostSetup setup = randomSetup();
        setup.maxBlock = std::max<int32_t>(setup.maxBlock, 64);
        const bool withEditor = cycle % 3 == 1;
        WatchedStep step(watchdog_, "plug-in slot cycle " + std::to_string(cycle) + " (" + describe(setup) +
                                        (withEditor ? ", editor open)" : ")"), 15.0);
        {
            NivoloHost::PluginInstance instance;
            ProcessingSession::Options options;
            options.sampleRate = setup.sampleRate;
            options.channels = setup.channels;
            options.blockSize = setup.maxBlock;
            std::string error;
            ASSERT_TRUE(instance.open(factory(), options, error)) << error << "; " << seedNote(seed_);
            ASSERT_EQ(settledCount(threadCount, baseThreads_ + kWorkersPerProcessor, kSettleMs),
                      baseThreads_ + kWorkersPerProcessor)
                << "slot cycle " << cycle;
            if (withEditor) {
                ASSERT_NE(instance.editor(), nullptr) << "cycle " << cycle;
                ++editors;
            }
            StressSignal signal(setup.channels, setup.maxBlock);
            signal.set(StressSignal::Kind::Sine, 0.25, setup.sampleRate);
            // A little over 100 ms of audio: the idle tick asks for readings at least once.
            const auto blocks = static_cast<int>(0.12 * setup.sampleRate / setup.maxBlock) + 2;
            for (int b = 0; b < blocks && b < 40; ++b) {
                float* const* audio = signal.next(setup.maxBlock);
                instance.processBlock(audio, audio, setup.maxBlock);
            }
            if (random_->chance(0.5)) instance.setControl("resetLoudness", 1.0);
            instance.idle();
            instance.processNothing();
            instance.close();
        }
        ASSERT_NO_FATAL_FAILURE(expectBaseline(cycle, "plug-in slot cycle"));
    }
    std::printf("stress: %lld cycles of plug-in slots with controller (%d with the editor) in %.2f s\n",
                static_cast<long long>(count), editors, secondsSince(started));
}

} // namespace
} // namespace NivoloStress
