// Plug-in lifecycles by the thousand through the module's exported factory,
// as hosts run them when projects open and close and tracks come and go, the
// careless ones included: no worker thread and no file descriptor may remain.

#include <gtest/gtest.h>

#include <dirent.h>

#include <thread>

#include "StressKit.h"
#include "host/HostContext.h"
#include "host/PluginInstance.h"

namespace SessionKit {
namespace {

constexpr int kWorkers = 2; // each processor's integrated and range collectors

// Entries of a /proc directory, without "." and "..".
int entries(const char* path) {
    DIR* dir = opendir(path);
    int count = 0;
    while (const dirent* entry = dir ? readdir(dir) : nullptr) count += entry->d_name[0] != '.';
    if (dir) closedir(dir);
    return count;
}
int threads() { return entries("/proc/self/task"); }
int files() { return entries("/proc/self/fd") - 1; } // less the one that lists them

// A joined thread leaves /proc just after its join returns: counted again,
// a bounded number of times, until the count is the one expected.
int settled(int (*count)(), int expected) {
    int seen = count();
    for (int i = 0; i < 100000 && seen != expected; ++i) {
        std::this_thread::yield();
        seen = count();
    }
    return seen;
}

ProcessingSession::Options randomSetUp(Random& random) {
    static const double everyday[] = {44100.0, 48000.0}, rare[] = {8000.0, 22050.0, 96000.0, 192000.0};
    static const int32_t blocks[] = {64, 441, 512, 1024, 4096};
    ProcessingSession::Options options;
    const bool unusual = random.chance(0.1);
    options.sampleRate = unusual ? random.pick(rare) : random.pick(everyday);
    options.blockSize = random.pick(blocks);
    options.channels = static_cast<int32_t>(random.between(1, unusual || random.chance(0.2) ? 14 : 2));
    options.processMode = random.chance(0.5) ? kRealtime : kOffline;
    return options;
}

class Lifecycles : public ModuleSuite {
protected:
    void SetUp() override {
        ModuleSuite::SetUp();
        // One whole cycle first: what the process sets up once is in the
        // baseline; a processor's workers are not.
        const int before = threads();
        {
            ProcessingSession session;
            ASSERT_TRUE(open(session, factory()));
        }
        ASSERT_EQ(settled(threads, before), before) << "the first processor left threads behind";
        baseThreads_ = before;
        baseFiles_ = files();
    }
    void expectRunning(int processors, const std::string& what) {
        ASSERT_EQ(settled(threads, baseThreads_ + kWorkers * processors), baseThreads_ + kWorkers * processors) << what;
    }
    void expectBaseline(const std::string& what) {
        ASSERT_NO_FATAL_FAILURE(expectRunning(0, what));
        ASSERT_EQ(settled(files, baseFiles_), baseFiles_) << what << " left a file descriptor open";
    }
    // A processor set up, activated and run through the factory's interfaces,
    // then left as a careless host leaves it: terminated while active, or only
    // released (the last release must clean up).
    void abandon(const ProcessingSession::Options& o, bool terminate, const std::string& what) {
        void* raw = nullptr;
        ASSERT_EQ(factory()->createInstance(kProcessorClassId, IComponent_iid, &raw), kResultOk);
        auto component = IPtr<IComponent>::adopt(static_cast<IComponent*>(raw));
        auto host = IPtr<NivoloHost::HostContext>::adopt(new NivoloHost::HostContext);
        ASSERT_EQ(component->initialize(static_cast<IHostApp*>(host.get())), kResultOk);
        IPtr<IAudioProcessor> processor = queryInterface<IAudioProcessor>(component.get());
        SpeakerArrangement arrangement = ProcessingSession::arrangementFor(o.channels), out = arrangement;
        processor->offerArrangements(&arrangement, 1, &out, 1);
        // Set up twice, as hosts do; another block size the second time rebuilds the meter and its workers.
        ProcessSetupInfo first{o.processMode, kSample32, o.blockSize + 1, o.sampleRate};
        ASSERT_EQ(processor->prepareProcessing(first), kResultOk);
        ProcessSetupInfo setup{o.processMode, kSample32, o.blockSize, o.sampleRate};
        ASSERT_EQ(processor->prepareProcessing(setup), kResultOk);
        component->setActive(1);
        processor->setProcessingState(1);
        Signal tone = Signal::sine(o.channels, -6.0, o.sampleRate);
        float* const* x = tone.next(o.blockSize);
        processRaw(processor.get(), o.channels, x, x, o.blockSize, o.processMode);
        ASSERT_NO_FATAL_FAILURE(expectRunning(1, what));
        if (terminate) component->terminate();
    }
    int baseThreads_ = 0, baseFiles_ = 0;
};

// Processors ended by the book, terminated while active or only released;
// whole plug-in slots with controller (and now and then the editor);
// processors of a module loaded again on top of the suite's own load.
TEST_F(Lifecycles, EveryKindOfLifecycleStopsEveryWorkerAndClosesEverything) {
    Random random;
    const int64_t count = cycles(200);
    for (int64_t cycle = 1; cycle <= count; ++cycle) {
        const ProcessingSession::Options o = randomSetUp(random);
        const int64_t kind = random.between(0, 4);
        const std::string what = "cycle " + std::to_string(cycle) + " of kind " + std::to_string(kind) + ", " +
                                 std::to_string(o.channels) + " channels at " + std::to_string(o.sampleRate) +
                                 " Hz, blocks of " + std::to_string(o.blockSize);
        Signal tone = Signal::sine(o.channels, -12.0, o.sampleRate);
        if (kind == 0 || kind == 1) {
            ASSERT_NO_FATAL_FAILURE(abandon(o, kind == 0, what));
        } else if (kind == 2) {
            NivoloHost::PluginInstance slot;
            std::string error;
            ASSERT_TRUE(slot.open(factory(), o, error)) << error << "; " << what;
            ASSERT_NO_FATAL_FAILURE(expectRunning(1, what));
            if (random.chance(0.3)) {
                ASSERT_NE(slot.editor(), nullptr) << what;
            }
            // A little over 100 ms of audio: the idle tick asks for readings at least once.
            for (int b = static_cast<int>(0.12 * o.sampleRate / o.blockSize) + 2; b > 0; --b) {
                float* const* x = tone.next(o.blockSize);
                slot.processBlock(x, x, o.blockSize);
            }
            slot.setControl("resetLoudness", 1.0);
            slot.idle();
            slot.processNothing();
        } else {
            NivoloHost::PluginModule module;
            std::string error;
            ASSERT_TRUE(kind == 3 || module.load(NIVOLO_MODULE_PATH, error)) << error;
            ProcessingSession session;
            ASSERT_TRUE(open(session, kind == 3 ? factory() : module.factory(), o)) << what;
            ASSERT_NO_FATAL_FAILURE(expectRunning(1, what));
            for (int b = 0; b < 3; ++b) {
                const auto n = static_cast<int32_t>(random.between(1, o.blockSize));
                float* const* x = tone.next(n);
                session.requestData();
                session.processBlock(x, x, n);
            }
        }
        ASSERT_NO_FATAL_FAILURE(expectBaseline(what));
    }
    std::printf("stress: %lld cycles of plug-in lifecycles\n", static_cast<long long>(count));
}

} // namespace
} // namespace SessionKit
