// The worker thread wrapper: start, priority, waiting for the end and killing.
// The collectors rely on this exact life: start -> body blocks on a semaphore ->
// release -> waitForEnd -> kill (closes the handle) -> destroy.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

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

int niceOfTask(pid_t tid) {
    errno = 0;
    int value = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    return errno == 0 ? value : -1000;
}

pid_t currentTid() { return static_cast<pid_t>(syscall(SYS_gettid)); }

// Records where and how often its body ran, and at which nice level it started.
class RecordingThread : public FThread {
public:
    using FThread::FThread;
    int32_t run() override {
        niceAtEntry = niceOfTask(currentTid());
        tid = currentTid();
        bodyThread = std::this_thread::get_id();
        runs.fetch_add(1);
        return 0;
    }

    std::atomic<int> runs{0};
    std::atomic<int> niceAtEntry{-1000};
    std::atomic<pid_t> tid{0};
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
    EXPECT_EQ(thread.threadId(), static_cast<uint32_t>(thread.tid.load())); // the id start() stored is the body's

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
    const pid_t tid = static_cast<pid_t>(thread.threadId());
    const int niceBefore = niceOfTask(tid);
    EXPECT_FALSE(thread.setPriority(6));
    EXPECT_FALSE(thread.setPriority(-1));
    EXPECT_EQ(thread.priority(), FThread::kBelowNormal);
    EXPECT_EQ(niceOfTask(tid), niceBefore);

    thread.gate.release(1);
    ASSERT_TRUE(thread.waitForEnd(kGenerousMs));
    thread.kill();
}

// Lowering a thread's priority needs no privilege, so the indices at and below
// normal can be observed from inside the body on any machine.
TEST(FThreadPriority, IndexStoredBeforeStartIsAppliedBeforeTheBodyRuns) {
    const int processNice = niceOfTask(getpid());
    if (processNice > 8) GTEST_SKIP() << "process already runs too low to tell the levels apart";

    auto niceOfBodyAt = [](std::initializer_list<int32_t> indices) {
        RecordingThread thread("LRThread");
        for (int32_t index : indices) EXPECT_TRUE(thread.setPriority(index));
        EXPECT_TRUE(thread.start());
        EXPECT_TRUE(thread.waitForEnd(kGenerousMs));
        thread.kill();
        return thread.niceAtEntry.load();
    };
    const int idle = niceOfBodyAt({FThread::kIdle});
    const int below = niceOfBodyAt({FThread::kBelowNormal});
    const int normal = niceOfBodyAt({FThread::kNormal});
    const int lastOneWins = niceOfBodyAt({FThread::kIdle, FThread::kNormal});

    EXPECT_GT(idle, below);
    EXPECT_GT(below, normal);
    EXPECT_EQ(lastOneWins, normal);
    if (processNice == 0) {
        EXPECT_EQ(normal, 0); // the default keeps the process's own level
    }
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
