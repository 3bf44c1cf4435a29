// The audio-thread guard a strict host runs: what it sees inside a guarded
// region and what it must not see (other threads, try-locks, the host's exempt
// code), late blocks, its report; then the sessions it watches, their one
// audio thread, and the meter's whole audio path without one allocation,
// blocking call or late block.

#include <gtest/gtest.h>
#include <pthread.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <sstream>
#include <thread>

#include "host/AudioThreadGuard.h"
#include "host/HostContext.h"
#include "host/PluginInstance.h"
#include "host/view/TextControl.h"
#include "interfaces/IAttributeSet.h"
#include "interfaces/IMessageObject.h"
#include "tests/support/SessionKit.h"

namespace SessionKit {
namespace {

using NivoloHost::AudioThreadGuard;
using Kind = AudioThreadGuard::Kind;

// Called through volatile pointers so that the compiler keeps every call.
void* (*volatile callMalloc)(size_t) = std::malloc;
void* (*volatile callCalloc)(size_t, size_t) = std::calloc;
void* (*volatile callRealloc)(void*, size_t) = std::realloc;
void* (*volatile callAlignedAlloc)(size_t, size_t) = std::aligned_alloc;
void (*volatile callFree)(void*) = std::free;
void* (*volatile callNew)(size_t) = static_cast<void* (*)(size_t)>(::operator new);
void* (*volatile callAlignedNewArray)(size_t, std::align_val_t) =
    static_cast<void* (*)(size_t, std::align_val_t)>(::operator new[]);

#if defined(NIVOLO_SANITIZED)
constexpr bool kSanitized = true; // the sanitizer's allocator reports every form alike, without the caller
#else
constexpr bool kSanitized = false;
#endif

std::string allocationText(const char* function, size_t size) {
    return std::string(kSanitized ? "allocation" : function) + " of " + std::to_string(size) + " bytes";
}

// Work on this thread's own CPU for ms milliseconds, however busy the machine is.
void work(double ms) {
    auto cpuMs = [] {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
    };
    for (const double until = cpuMs() + ms; cpuMs() < until;) {}
}

class Guard : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(AudioThreadGuard::hooksInstalled()) << "host_tests must link the guard's interposer";
        factor_ = AudioThreadGuard::deadlineFactor();
        AudioThreadGuard::setDeadlineFactor(0.0); // no deadline but where a test sets one

        AudioThreadGuard::reset();
    }
    // What is made here on purpose must not reach the suite's listener.
    void TearDown() override {
        AudioThreadGuard::reset();
        AudioThreadGuard::setDeadlineFactor(factor_);
    }
    static AudioThreadGuard::Counts counts() { return AudioThreadGuard::counts(); }
    double factor_ = 1.0;
};

TEST_F(Guard, EveryAllocationAndEveryCallThatCanBlockInsideARegionIsSeenAndReported) {
    pthread_rwlock_t rwlock = PTHREAD_RWLOCK_INITIALIZER;
    std::mutex mutex;
    sem_t semaphore;
    sem_init(&semaphore, 0, 1);
    void* blocks[6] = {};
    {
        AudioThreadGuard::Region region(480, kRate);
        blocks[0] = callMalloc(24);
        blocks[1] = callCalloc(3, 8);
        blocks[2] = callRealloc(nullptr, 40);
        blocks[3] = callAlignedAlloc(64, 128);
        blocks[4] = callNew(16);
        blocks[5] = callAlignedNewArray(20, std::align_val_t{64});
        callFree(blocks[0]); // where a block was made counts, not where it goes
        // Try-locks and posts never wait: the processor hands windows to its workers so.
        if (mutex.try_lock()) mutex.unlock();
        if (pthread_rwlock_tryrdlock(&rwlock) == 0) pthread_rwlock_unlock(&rwlock);
        sem_post(&semaphore);
        sem_trywait(&semaphore);
    }
    {
        AudioThreadGuard::Region region(480, kRate);
        mutex.lock(); // uncontended, yet it could have blocked
        mutex.unlock();
        pthread_rwlock_wrlock(&rwlock);
        pthread_rwlock_unlock(&rwlock);
        sem_wait(&semaphore);
        usleep(0);
    }
    EXPECT_EQ(counts().blocks, 2);
    EXPECT_EQ(counts().allocations, 6);
    EXPECT_EQ(counts().blockingCalls, 4);
    const auto list = AudioThreadGuard::violations();
    const std::pair<std::string, int64_t> expected[] = {
        {allocationText("malloc", 24), 1},       {allocationText("calloc", 24), 1},
        {allocationText("realloc", 40), 1},      {allocationText("aligned_alloc", 128), 1},
        {allocationText("operator new", 16), 1}, {allocationText("operator new[]", 20), 1},
        {"pthread_mutex_lock", 2},               {"pthread_rwlock_wrlock", 2},
        {"sem_wait", 2},                         {"usleep", 2}};
    ASSERT_EQ(list.size(), std::size(expected));
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].kind, i < 6 ? Kind::kAllocation : Kind::kBlockingCall);
        EXPECT_EQ(list[i].what, expected[i].first);
        EXPECT_EQ(list[i].block, expected[i].second);
        // The caller as addr2line takes it: this program and the offset of the call.
        EXPECT_TRUE(kSanitized || i >= 6 || list[i].where.rfind("host_tests+0x", 0) == 0) << list[i].where;
    }
    // Forwarded, not only counted: real blocks with their alignment.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(blocks[3]) % 64, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(blocks[5]) % 64, 0u);
    // The report names each violation and fails, its last line every count.
    std::ostringstream report;
    EXPECT_FALSE(AudioThreadGuard::finish(report));
    const std::string text = report.str(),
                      last = "audio-thread guard: 2 blocks checked, 6 allocations, 4 blocking calls, 0 late blocks\n";
    EXPECT_NE(text.find("allocation in block 1: " + allocationText("malloc", 24)), std::string::npos) << text;
    EXPECT_NE(text.find("blocking call in block 2: sem_wait"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), last.size())), last) << text;
    for (int i = 1; i <= 3; ++i) callFree(blocks[i]);
    ::operator delete(blocks[4]);
    ::operator delete[](blocks[5], std::align_val_t{64});
    sem_destroy(&semaphore);
}

// Outside a region, on another thread meanwhile, and in the host's exempt
// code (what a "time" message costs the host, the controller's text control)
// nothing counts; what follows an exempt scope does.
TEST_F(Guard, OtherThreadsOutsideRegionsAndExemptHostCodeAreNotWatched) {
    callFree(callMalloc(64));
    std::atomic<int> step{0};
    std::thread other([&] {
        while (step.load() != 1) {}
        callFree(callMalloc(64));
        step = 2;
    });
    auto host = IPtr<NivoloHost::HostContext>::adopt(new NivoloHost::HostContext);
    auto text = IPtr<NivoloHost::TextControl>::adopt(new NivoloHost::TextControl);
    char16_t back[16] = {};
    {
        AudioThreadGuard::Region region(480, kRate);
        step = 1;
        while (step.load() != 2) {} // spinning: waiting would be a violation itself
        void* raw = nullptr;
        host->createInstance(IMessageObject_iid, IMessageObject_iid, &raw);
        if (auto* message = static_cast<IMessageObject*>(raw)) {
            message->assignMessageId("a message id too long for a short string");
            message->attributeSet()->setString("a key too long for a short string", u"00:00:01");
            message->attributeSet()->getString("a key too long for a short string", back, sizeof back);
            message->Release();
        }
        text->setText(u"00:00:01", 0);
        {
            AudioThreadGuard::Exempt exempt;
            callFree(callMalloc(8));
        }
        callFree(callMalloc(8));
    }
    other.join();
    EXPECT_EQ(std::u16string(back), u"00:00:01");
    EXPECT_EQ(counts().violations(), 1);
    EXPECT_EQ(counts().allocations, 1) << "only the allocation after the exempt scope";
}

TEST_F(Guard, BlocksThatWorkOrWaitLongerThanTheirAudioAreLate) {
    if (kSanitized) GTEST_SKIP() << "timings mean nothing under sanitizers";
    AudioThreadGuard::setDeadlineFactor(1.0);
    {
        AudioThreadGuard::Region region(48, kRate); // 1 ms of audio
        work(5.0);
    }
    {
        AudioThreadGuard::Region region(48, kRate);
        usleep(5000);
    }
    EXPECT_EQ(counts().lateBlocks, 2) << "5 ms of work, then 5 ms asleep, for 1 ms of audio";
    {
        AudioThreadGuard::Region region(0, kRate);
        work(5.0);
    }
    AudioThreadGuard::setDeadlineFactor(100.0);
    {
        AudioThreadGuard::Region region(48, kRate);
        work(5.0);
    }
    EXPECT_EQ(counts().lateBlocks, 2) << "no deadline without audio; a relaxed one of 100 ms";
    const auto list = AudioThreadGuard::violations();
    ASSERT_GE(list.size(), 1u);
    EXPECT_EQ(list[0].kind, Kind::kLateBlock);
    EXPECT_EQ(list[0].what.rfind("a block of 48 samples took ", 0), 0u) << list[0].what;
}

// ---- sessions under the guard ------------------------------------------------------

class GuardedSession : public ModuleSuite {
protected:
    void SetUp() override {
        ModuleSuite::SetUp();
        wasEnabled_ = AudioThreadGuard::enabled();
        AudioThreadGuard::enable(false); // only the sessions' own option
        AudioThreadGuard::reset();
    }
    void TearDown() override { AudioThreadGuard::enable(wasEnabled_); }
    static ProcessingSession::Options guarded(int32_t channels = 2, bool guard = true) {
        ProcessingSession::Options options;
        options.channels = channels;
        options.blockSize = 480;
        options.audioGuard = guard;
        return options;
    }
    static void expectClean() {
        std::ostringstream details;
        EXPECT_TRUE(AudioThreadGuard::finish(details)) << details.str();
    }
    bool wasEnabled_ = false;
};

// Sessions that ask are watched, every one once the guard is on; a session's
// audio thread is the first that processes after it opened.
TEST_F(GuardedSession, SessionsThatAskAreWatchedAndAnotherThreadIsAViolation) {
    ProcessingSession plain, checked;
    ASSERT_TRUE(open(plain, factory(), guarded(2, false)));
    ASSERT_TRUE(open(checked, factory(), guarded()));
    plain.processNothing();
    EXPECT_EQ(AudioThreadGuard::counts().blocks, 0);
    checked.processNothing();
    EXPECT_EQ(AudioThreadGuard::counts().blocks, 1);
    AudioThreadGuard::enable(true);
    plain.processNothing();
    EXPECT_EQ(AudioThreadGuard::counts().blocks, 2);
    AudioThreadGuard::enable(false);

    std::thread([&] { checked.processNothing(); }).join();
    EXPECT_EQ(AudioThreadGuard::counts().wrongThreads, 1);
    ASSERT_TRUE(open(checked, factory(), guarded()));
    std::thread([&] { checked.processNothing(); }).join();
    EXPECT_EQ(AudioThreadGuard::counts().wrongThreads, 1) << "opened again, the first thread is the audio thread";
    checked.processNothing();
    EXPECT_EQ(AudioThreadGuard::counts().wrongThreads, 2);
    AudioThreadGuard::reset(); // made on purpose
}

// With the host's stand-in as peer: elapsed time, requests, every parameter
// command, bypass, silence, level resets and a restored state, in stereo and 5.1.
TEST_F(GuardedSession, TheMetersAudioPathNeitherAllocatesNorBlocks) {
    for (int32_t channels : {2, 6}) {
        SCOPED_TRACE(channels);
        ProcessingSession session;
        ASSERT_TRUE(open(session, factory(), guarded(channels)));
        Signal tone = Signal::sine(channels, -20.0), silence(channels, [](int64_t, int32_t) { return 0.0f; });
        play(session, tone, 4.0); // past the first short-term window and several "time" messages
        session.changeParameter(Param::kScaleModeLoudness, 1.0);
        session.changeParameter(Param::kResetTruePeak, 1.0);
        read(session);
        session.changeParameter(Param::kResetLoudness, 1.0); // sends "time" at once
        play(session, silence, 1.0);
        session.changeParameter(Param::kBypass, 1.0);
        read(session);
        session.changeParameter(Param::kBypass, 0.0);
        session.peer().sendIntMessage("resetMaxLevelIn", 0);
        session.peer().sendIntMessage("resetMaxLevelOut", 0);
        play(session, tone, 1.0);
        ASSERT_EQ(restoreState(session.component(), saveState(session.component())), kResultOk);
        EXPECT_TRUE(read(session).received); // the next block applies the restored state
        EXPECT_GE(session.peer().timeTexts().size(), 6u);
        EXPECT_EQ(AudioThreadGuard::counts().blocks, 600 + 3) << "every block was watched";
        expectClean();
        AudioThreadGuard::reset();
    }
}

// With the module's own controller as peer and its editor open: "time" then
// reaches the controller's text on the audio thread, clicks reach the processor.
TEST_F(GuardedSession, TheMetersAudioPathWithItsControllerNeitherAllocatesNorBlocks) {
    NivoloHost::PluginInstance plugin;
    std::string error;
    ASSERT_TRUE(plugin.open(factory(), guarded(), error)) << error;
    ASSERT_NE(plugin.editor(), nullptr);
    Signal tone = Signal::sine(2, -18.0);
    auto play = [&](double seconds) {
        for (int b = 0; b < static_cast<int>(seconds * 100); ++b) {
            float* const* in = tone.next(480);
            plugin.processBlock(in, in, 480);
        }
    };
    play(3.5);
    for (const char* name : {"scaleModeLoudness", "resetTruePeak", "resetLoudnessMMax", "loudnessMView", "about", "about",
                             "resetLoudness"}) {
        ASSERT_TRUE(plugin.editor()->clickElement(name)) << name;
        play(0.5); // the click reaches the processor, its answer the editor
    }
    play(1.25);
    EXPECT_EQ(plugin.controlText("time"), "00:00:01") << "1.75 s since the reset";
    EXPECT_EQ(AudioThreadGuard::counts().blocks, 350 + 7 * 50 + 125);
    expectClean();
}

} // namespace
} // namespace SessionKit
