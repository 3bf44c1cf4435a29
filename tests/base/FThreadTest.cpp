// The worker thread wrapper: start, priority, waiting for the end and killing.
// The collectors rely on this exact life: start -> body blocks on a semaphore ->
// release -> waitForEnd -> kill (closes the handle) -> destroy.

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <objbase.h>
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "BaseTestSupport.h"
#include "base/FThread.h"
#include "base/Semaphore.h"

namespace Zel {
namespace {

using namespace std::chrono_literals;

// Far beyond anything a loaded machine needs; only reached when something hangs.
constexpr uint32_t kGenerousMs = 10000;

// A thread's scheduling level as the platform reports it, higher for more of the
// CPU: Windows' thread priority (which Wine records without applying), on Linux
// the negated nice value. kNoLevel when it cannot be read.
constexpr int kNoLevel = -1000;

#if defined(_WIN32)
uint32_t currentTid() { return GetCurrentThreadId(); }

int levelOfThread(uint32_t tid) {
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, tid);
    if (!thread) return kNoLevel;
    const int level = GetThreadPriority(thread);
    CloseHandle(thread);
    return level == THREAD_PRIORITY_ERROR_RETURN ? kNoLevel : level;
}

// The platform gives the worker its component-object apartment before the body runs.
bool comInitialisedHere() {
    const HRESULT again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(again)) CoUninitialize(); // balance our own call
    return again == S_FALSE;
}

bool processRunsAtNormalLevel() { return GetPriorityClass(GetCurrentProcess()) == NORMAL_PRIORITY_CLASS; }
#else
uint32_t currentTid() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

int levelOfThread(uint32_t tid) {
    errno = 0;
    int value = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    return errno == 0 ? -value : kNoLevel;
}

bool comInitialisedHere() { return true; } // no component-object library here

bool processRunsAtNormalLevel() { return levelOfThread(static_cast<uint32_t>(getpid())) == 0; }
#endif

// Records where and how often its body ran, and at which level it started.
class RecordingThread : public FThread {
public:
    using FThread::FThread;
    int32_t run() override {
        levelAtEntry = levelOfThread(currentTid());
        tid = currentTid();
        comReady = comInitialisedHere();
        bodyThread = std::this_thread::get_id();
        runs.fetch_add(1);
        return 0;
    }

    std::atomic<int> runs{0};
    std::atomic<int> levelAtEntry{kNoLevel};
    std::atomic<uint32_t> tid{0};
    std::atomic<bool> comReady{false};
    std::thread::id bodyThread;
};

// The collector worker's shape: announces itself, then blocks until released.
class GatedThread : public FThread {
public:
    GatedThread() : FThread("CIThread") {
        started.create(0);
        gate.create(0);
    }
    int32_t run() override {
        started.release(1);
        gate.wait(-1);
        passedGate.store(true);
        return 0;
    }

    Semaphore started;
    Semaphore gate;
    std::atomic<bool> passedGate{false};
};

// Runs the owner's side on a helper thread. If it has not finished in time the
// gate is opened, so a call that wrongly blocks fails the test instead of hanging it.
template <class OwnerSide>
bool ownerFinishesInTime(GatedThread& thread, OwnerSide ownerSide) {
    std::atomic<bool> done{false};
    std::thread owner([&] {
        ownerSide();
        done = true;
    });
    const bool inTime = BaseTest::eventually([&] { return done.load(); });
    if (!inTime) thread.gate.release(1);
    owner.join();
    return inTime;
}

// ---- Lifecycle --------------------------------------------------------------

TEST(FThreadLifecycle, BodyRunsExactlyOnceOnANewThreadOnlyAfterStart) {
    RecordingThread thread("LRThread");
    EXPECT_EQ(thread.priority(), FThread::kNormal);
    EXPECT_FALSE(thread.isRunning());
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(thread.runs.load(), 0); // nothing may run before start()

    ASSERT_TRUE(thread.start());
    EXPECT_TRUE(thread.isRunning());
    ASSERT_TRUE(thread.waitForEnd(kGenerousMs));
    EXPECT_EQ(thread.runs.load(), 1);
    EXPECT_NE(thread.bodyThread, std::this_thread::get_id());
    EXPECT_NE(thread.tid.load(), currentTid());
    EXPECT_EQ(thread.threadId(), thread.tid.load()); // the id start() stored is the body's
    EXPECT_TRUE(thread.comReady.load());

    // Asking again neither blocks nor runs the body a second time; a second kill finds no handle.
    EXPECT_TRUE(thread.waitForEnd(0));
    EXPECT_TRUE(thread.waitForEnd(FThread::kInfinite));
    thread.kill();
    thread.kill();
    EXPECT_TRUE(thread.waitForEnd(0));
    EXPECT_EQ(thread.runs.load(), 1);
}

TEST(FThreadLifecycle, NeverStartedOrUnkilledThreadsAreHarmlessToWaitKillAndDestroy) {
    auto* idle = new RecordingThread("LRThread");
    EXPECT_TRUE(idle->waitForEnd(FThread::kInfinite)); // must not wait for a thread that does not exist (or it hangs)
    idle->kill();
    EXPECT_TRUE(idle->waitForEnd(0));
    delete idle;

    auto* ended = new RecordingThread("LRThread");
    ASSERT_TRUE(ended->start());
    ASSERT_TRUE(ended->waitForEnd(kGenerousMs));
    delete ended; // the destructor closes the handle itself
}

// ---- Waiting and kill -------------------------------------------------------------

TEST(FThreadWait, TimesOutWhileBodyBlocksThenReportsTheEndRepeatedly) {
    GatedThread thread;
    EXPECT_TRUE(ownerFinishesInTime(thread, [&] {
        ASSERT_TRUE(thread.start());
        ASSERT_TRUE(thread.started.wait(static_cast<int32_t>(kGenerousMs)));

        EXPECT_FALSE(thread.waitForEnd(30));
        EXPECT_FALSE(thread.waitForEnd(0));
        EXPECT_FALSE(thread.passedGate.load());

        ASSERT_TRUE(thread.gate.release(1));
        ASSERT_TRUE(thread.waitForEnd(kGenerousMs));
        EXPECT_TRUE(thread.passedGate.load());
        EXPECT_TRUE(thread.waitForEnd(0));
        EXPECT_TRUE(thread.waitForEnd(30));
        thread.kill();
    }));
}

TEST(FThreadWait, CollectorStopSequence) {
    GatedThread thread;
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(thread.gate.release(1)); // may arrive before the body waits: the count keeps it
    ASSERT_TRUE(thread.waitForEnd(FThread::kInfinite));
    EXPECT_TRUE(thread.passedGate.load());
    thread.kill();
    EXPECT_TRUE(thread.waitForEnd(0));
}

TEST(FThreadKill, StopsABodyBlockedInASemaphoreWait) {
    GatedThread thread;
    EXPECT_TRUE(ownerFinishesInTime(thread, [&] {
        ASSERT_TRUE(thread.start());
        ASSERT_TRUE(thread.started.wait(static_cast<int32_t>(kGenerousMs)));
        thread.kill(); // returns only once the body is gone
        EXPECT_TRUE(thread.waitForEnd(0));
    })) << "kill() did not stop the blocked body";
    EXPECT_FALSE(thread.passedGate.load());

    // A release now finds nobody: the count stays for us to take.
    ASSERT_TRUE(thread.gate.release(1));
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(thread.passedGate.load());
    EXPECT_TRUE(thread.gate.wait(0));
}

// ---- Priority ------------------------------------------------------------------

TEST(FThreadPriority, OutOfRangeIndexIsRefusedAndChangesNeitherStoredIndexNorRunningThread) {
    GatedThread thread;
    EXPECT_TRUE(thread.setPriority(FThread::kHighest)); // no thread yet: only stored
    EXPECT_EQ(thread.priority(), FThread::kHighest);
    EXPECT_FALSE(thread.setPriority(6));
    EXPECT_FALSE(thread.setPriority(-1));
    EXPECT_EQ(thread.priority(), FThread::kHighest);

    ASSERT_TRUE(thread.setPriority(FThread::kBelowNormal));
    ASSERT_TRUE(thread.start());
    ASSERT_TRUE(thread.started.wait(static_cast<int32_t>(kGenerousMs)));
    const uint32_t tid = thread.threadId();
    const int levelBefore = levelOfThread(tid);
    EXPECT_FALSE(thread.setPriority(6));
    EXPECT_FALSE(thread.setPriority(-1));
    EXPECT_EQ(thread.priority(), FThread::kBelowNormal);
    EXPECT_EQ(levelOfThread(tid), levelBefore);

    thread.gate.release(1);
    ASSERT_TRUE(thread.waitForEnd(kGenerousMs));
    thread.kill();
}

// The thread is created suspended and resumed only once its priority is set, so
// the body sees its level from its first instruction. Lowering needs no privilege,
// so the indices at and below normal can be observed on any machine.
TEST(FThreadPriority, IndexStoredBeforeStartIsAppliedBeforeTheBodyRuns) {
    if (levelOfThread(currentTid()) < -8) GTEST_SKIP() << "process already runs too low to tell the levels apart";

    auto levelOfBodyAt = [](std::initializer_list<int32_t> indices) {
        RecordingThread thread("LRThread");
        for (int32_t index : indices) EXPECT_TRUE(thread.setPriority(index));
        EXPECT_TRUE(thread.start());
        EXPECT_TRUE(thread.waitForEnd(kGenerousMs));
        thread.kill();
        return thread.levelAtEntry.load();
    };
    const int idle = levelOfBodyAt({FThread::kIdle});
    const int below = levelOfBodyAt({FThread::kBelowNormal});
    const int normal = levelOfBodyAt({FThread::kNormal});
    const int lastOneWins = levelOfBodyAt({FThread::kIdle, FThread::kNormal});

    EXPECT_LT(idle, below);
    EXPECT_LT(below, normal);
    EXPECT_EQ(lastOneWins, normal);
    if (processRunsAtNormalLevel()) {
        EXPECT_EQ(normal, 0); // the default keeps the process's own level
    }
#if defined(_WIN32)
    // Windows reports exactly the values of the map, the raised ones included.
    if (processRunsAtNormalLevel()) {
        EXPECT_EQ(idle, THREAD_PRIORITY_IDLE);
        EXPECT_EQ(below, THREAD_PRIORITY_BELOW_NORMAL);
        EXPECT_EQ(levelOfBodyAt({FThread::kAboveNormal}), THREAD_PRIORITY_ABOVE_NORMAL);
        EXPECT_EQ(levelOfBodyAt({FThread::kHighest}), THREAD_PRIORITY_HIGHEST);
        EXPECT_EQ(levelOfBodyAt({FThread::kTimeCritical}), THREAD_PRIORITY_TIME_CRITICAL);
    }
#endif
}

// The index maps onto the desktop scheduler's published levels for the normal and
// the other priority classes, strictly rising; normal keeps the platform's level.
TEST(FThreadPriority, PlatformLevelsFollowThePublishedTablesAndRiseWithTheIndex) {
    const int32_t levels[2][6] = {{-15, -2, -1, 0, 1, 15}, {-15, -1, 0, 1, 2, 15}};
    for (int32_t i = 0; i < 6; ++i)
        for (bool normal : {false, true}) EXPECT_EQ(FThread::platformPriority(i, normal), levels[normal][i]) << i;
    for (bool normal : {true, false})
        for (int32_t i = 0; i < 5; ++i)
            EXPECT_LT(FThread::platformPriority(i, normal), FThread::platformPriority(i + 1, normal))
                << "index " << i << (normal ? " normal class" : " other class");
    EXPECT_EQ(FThread::platformPriority(FThread::kNormal, true), Platform::kPriorityNormal);
}

} // namespace
} // namespace Zel
