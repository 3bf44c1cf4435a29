// The audio-thread guard a strict host runs: what it sees inside a guarded
// region and what it must not see (other threads, try-locks, the host's exempt
// code), late blocks, the counts in its report; then the sessions it watches,
// their one audio thread, and the meter's whole audio path without one
// allocation, blocking call or late block.

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
#include <string>
#include <thread>

#include "HostTestSupport.h"
#include "host/AudioThreadGuard.h"
#include "host/PluginInstance.h"
#include "host/view/TextControl.h"
#include "interfaces/IAttributeSet.h"
#include "interfaces/IMessageObject.h"

namespace HostTest {
namespace {

using NivoloHost::AudioThreadGuard;
using NivoloHost::PluginInstance;
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
    const double until = cpuMs() + ms;
    while (cpuMs() < until) {}
}

class AudioThreadGuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(AudioThreadGuard::hooksInstalled()) << "host_tests must link the guard's interposer";
        factor_ = AudioThreadGuard::deadlineFactor();
        AudioThreadGuard::setDeadlineFactor(1.0);
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

TEST_F(AudioThreadGuardTest, EveryFormOfAllocationInsideARegionIsSeenWithItsCaller) {
    void* blocks[6] = {};
    {
        AudioThreadGuard::Region region(480, kRate);
        blocks[0] = callMalloc(24);
        blocks[1] = callCalloc(3, 8);
        blocks[2] = callRealloc(nullptr, 40);
        blocks[3] = callAlignedAlloc(64, 128);
        blocks[4] = callNew(16);
        blocks[5] = callAlignedNewArray(20, std::align_val_t{64});
        callFree(blocks[0]); // freeing is not counted
    }
    EXPECT_EQ(counts().blocks, 1);
    EXPECT_EQ(counts().allocations, 6);
    const auto list = AudioThreadGuard::violations();
    ASSERT_EQ(list.size(), 6u);
    const std::string expected[] = {allocationText("malloc", 24),        allocationText("calloc", 24),
                                    allocationText("realloc", 40),       allocationText("aligned_alloc", 128),
                                    allocationText("operator new", 16), allocationText("operator new[]", 20)};
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].kind, Kind::kAllocation);
        EXPECT_EQ(list[i].what, expected[i]);
        EXPECT_EQ(list[i].block, 1);
        // The caller as addr2line takes it: this program and the offset of the call.
        if (!kSanitized) {
            EXPECT_EQ(list[i].where.rfind("host_tests+0x", 0), 0u) << list[i].where;
        }
    }
    // Forwarded, not only counted: real blocks with their alignment.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(blocks[3]) % 64, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(blocks[5]) % 64, 0u);
    for (int i = 1; i <= 3; ++i) callFree(blocks[i]);
    ::operator delete(blocks[4]);
    ::operator delete[](blocks[5], std::align_val_t{64});
}

TEST_F(AudioThreadGuardTest, AllocationsOutsideARegionOrOnAnotherThreadAreNotSeen) {
    callFree(callMalloc(64));
    std::atomic<int> step{0};
    std::thread other([&] {
        while (step.load() != 1) {}
        callFree(callMalloc(64)); // while the audio thread is inside its region
        step = 2;
    });
    {
        AudioThreadGuard::Region region(480, kRate);
        step = 1;
        while (step.load() != 2) {} // spinning: waiting would be a violation itself
    }
    other.join();
    callFree(callMalloc(64));
    EXPECT_EQ(counts().blocks, 1);
    EXPECT_EQ(counts().violations(), 0);
}

TEST_F(AudioThreadGuardTest, LocksThatCanBlockAreSeenTryLocksAndPostsAreNot) {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_rwlock_t rwlock = PTHREAD_RWLOCK_INITIALIZER;
    std::mutex standard;
    sem_t semaphore;
    sem_init(&semaphore, 0, 1);
    {
        AudioThreadGuard::Region region(480, kRate);
        if (pthread_mutex_trylock(&mutex) == 0) pthread_mutex_unlock(&mutex);
        if (pthread_rwlock_tryrdlock(&rwlock) == 0) pthread_rwlock_unlock(&rwlock);
        if (standard.try_lock()) standard.unlock();
        sem_post(&semaphore); // how the processor hands a window to its worker
        sem_trywait(&semaphore);
    }
    EXPECT_EQ(counts().blockingCalls, 0);
    {
        AudioThreadGuard::Region region(480, kRate);
        standard.lock(); // uncontended, yet it could have blocked
        standard.unlock();
        pthread_rwlock_wrlock(&rwlock);
        pthread_rwlock_unlock(&rwlock);
        sem_wait(&semaphore);
        usleep(0);
    }
    const auto list = AudioThreadGuard::violations();
    ASSERT_EQ(list.size(), 4u);
    const char* expected[] = {"pthread_mutex_lock", "pthread_rwlock_wrlock", "sem_wait", "usleep"};
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].kind, Kind::kBlockingCall);
        EXPECT_EQ(list[i].what, expected[i]);
        EXPECT_EQ(list[i].block, 2);
    }
    EXPECT_EQ(counts().allocations, 0);
    sem_destroy(&semaphore);
}

TEST_F(AudioThreadGuardTest, ExemptScopesHideTheHostsMessagesAndTextButNotWhatFollows) {
    auto host = IPtr<HostContext>::adopt(new HostContext);
    auto text = IPtr<NivoloHost::TextControl>::adopt(new NivoloHost::TextControl);
    char16_t back[16] = {};
    {
        AudioThreadGuard::Region region(480, kRate);
        // What a "time" message costs the host, and the controller's text control.
        void* raw = nullptr;
        host->createInstance(IMessageObject_iid, IMessageObject_iid, &raw);
        if (auto* message = static_cast<IMessageObject*>(raw)) {
            message->assignMessageId("a message id too long for a short string");
            message->attributeSet()->setString("a key too long for a short string", u"00:00:01");
            message->attributeSet()->getString("a key too long for a short string", back, sizeof back);
            message->Release();
        }
        text->setText(u"00:00:01", 0);
    }
    EXPECT_EQ(std::u16string(back), u"00:00:01");
    EXPECT_EQ(counts().violations(), 0);
    {
        AudioThreadGuard::Region region(480, kRate);
        {
            AudioThreadGuard::Exempt exempt;
            callFree(callMalloc(8));
        }
        callFree(callMalloc(8));
    }
    EXPECT_EQ(counts().allocations, 1) << "only the allocation after the scope";
}

TEST_F(AudioThreadGuardTest, BlocksThatWorkOrWaitLongerThanTheirAudioAreLate) {
    if (kSanitized) GTEST_SKIP() << "timings mean nothing under sanitizers";
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

TEST_F(AudioThreadGuardTest, TheReportCarriesEveryCountAndFailsOnAnyViolation) {
    std::ostringstream clean;
    { AudioThreadGuard::Region region(480, kRate); }
    EXPECT_TRUE(AudioThreadGuard::finish(clean));
    EXPECT_EQ(clean.str(), "audio-thread guard: 1 blocks checked, 0 allocations, 0 blocking calls, 0 late blocks\n");

    std::mutex mutex;
    {
        AudioThreadGuard::Region region(480, kRate);
        callFree(callMalloc(8));
        callFree(callCalloc(1, 8));
        mutex.lock();
        mutex.unlock();
    }
    {
        AudioThreadGuard::Region region(48, kRate);
        work(5.0);
    }
    const int late = kSanitized ? 0 : 1;
    std::ostringstream out;
    EXPECT_FALSE(AudioThreadGuard::finish(out));
    const std::string text = out.str();
    EXPECT_NE(text.find("allocation in block 2: " + allocationText("malloc", 8)), std::string::npos) << text;
    EXPECT_NE(text.find("blocking call in block 2: pthread_mutex_lock"), std::string::npos) << text;
    const std::string last = "audio-thread guard: 3 blocks checked, 2 allocations, 1 blocking calls, " +
                             std::to_string(late) + " late blocks\n";
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), last.size())), last) << text;
}

// ---- sessions under the guard ------------------------------------------------------

class GuardedSession : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        wasEnabled_ = AudioThreadGuard::enabled();
        AudioThreadGuard::enable(false); // only the sessions' own option
        AudioThreadGuard::reset();
    }
    void TearDown() override { AudioThreadGuard::enable(wasEnabled_); }

    static ProcessingSession::Options guarded(int32_t channels = 2) {
        ProcessingSession::Options options;
        options.channels = channels;
        options.blockSize = kTenMs;
        options.audioGuard = true;
        return options;
    }
    static void expectClean() {
        std::ostringstream details;
        EXPECT_TRUE(AudioThreadGuard::finish(details)) << details.str();
    }

    bool wasEnabled_ = false;
};

TEST_F(GuardedSession, TheGuardWatchesSessionsThatAskAndAllOnceEnabled) {
    ProcessingSession plain, checked;
    ProcessingSession::Options unguarded = guarded();
    unguarded.audioGuard = false;
    ASSERT_TRUE(open(plain, unguarded));
    ASSERT_TRUE(open(checked, guarded()));
    plain.processNothing();
    EXPECT_EQ(AudioThreadGuard::counts().blocks, 0);
    checked.processNothing();
    EXPECT_EQ(AudioThreadGuard::counts().blocks, 1);
    AudioThreadGuard::enable(true);
    plain.processNothing();
    EXPECT_EQ(AudioThreadGuard::counts().blocks, 2);
}

TEST_F(GuardedSession, AProcessCallFromASecondThreadIsAViolation) {
    ProcessingSession session;
    ASSERT_TRUE(open(session, guarded()));
    session.processNothing();
    std::thread([&] { session.processNothing(); }).join();
    EXPECT_EQ(AudioThreadGuard::counts().wrongThreads, 1);
    // Opened again, the session takes whichever thread comes first.
    ASSERT_TRUE(open(session, guarded()));
    std::thread([&] { session.processNothing(); }).join();
    EXPECT_EQ(AudioThreadGuard::counts().wrongThreads, 1);
    session.processNothing();
    EXPECT_EQ(AudioThreadGuard::counts().wrongThreads, 2);
    AudioThreadGuard::reset(); // made on purpose
}

// With the host's stand-in as peer: elapsed time, requests, every parameter
// command, bypass, silence and a restored state, in stereo and 5.1.
TEST_F(GuardedSession, TheMetersAudioPathNeitherAllocatesNorBlocks) {
    for (int32_t channels : {2, 6}) {
        SCOPED_TRACE(channels);
        ProcessingSession session;
        ASSERT_TRUE(open(session, guarded(channels)));
        Signal tone(channels, dbToAmplitude(-20.0)), silence(channels, 0.0);
        feed(session, tone, 4.0); // past the first short-term window and several "time" messages
        session.changeParameter(kUnitSwitch, 1.0);
        session.changeParameter(kResetTruePeak, 1.0);
        settleAndRead(session, tone);
        session.changeParameter(kResetLoudness, 1.0); // sends "time" at once
        feed(session, silence, 1.0);
        session.changeParameter(kBypass, 1.0);
        settleAndRead(session, tone);
        session.changeParameter(kBypass, 0.0);
        session.peer().sendIntMessage("resetMaxLevelIn", 0);
        session.peer().sendIntMessage("resetMaxLevelOut", 0);
        feed(session, tone, 1.0);
        ASSERT_EQ(restoreState(session.component(), saveState(session.component())), kResultOk);
        settleAndRead(session, tone); // the next block applies the restored state
        EXPECT_TRUE(session.readings().received);
        EXPECT_GE(session.peer().timeTexts().size(), 6u);
        // Every block was watched: 6 s in 10 ms blocks, and two blocks per settle.
        EXPECT_EQ(AudioThreadGuard::counts().blocks, (4 + 1 + 1) * 100 + 3 * 2);
        expectClean();
        AudioThreadGuard::reset();
    }
}

// With the module's own controller as peer and its editor open: "time" then
// reaches the controller's text on the audio thread, clicks reach the processor.
TEST_F(GuardedSession, TheMetersAudioPathWithItsControllerNeitherAllocatesNorBlocks) {
    PluginInstance plugin;
    std::string error;
    ASSERT_TRUE(plugin.open(factory(), guarded(), error)) << error;
    ASSERT_NE(plugin.editor(), nullptr);
    Signal tone(2, dbToAmplitude(-18.0));
    auto play = [&](double seconds) {
        for (int b = 0; b < static_cast<int>(seconds * kRate / kTenMs); ++b) {
            float* const* in = tone.next(kTenMs);
            plugin.processBlock(in, in, kTenMs);
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
    EXPECT_EQ(AudioThreadGuard::counts().blocks, static_cast<int64_t>(3.5 * 100 + 7 * 50 + 125));
    expectClean();
}

} // namespace
} // namespace HostTest
