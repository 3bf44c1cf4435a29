// Threads and their synchronisation as the collectors use them: a worker created
// suspended, given its priority, resumed, blocked in a semaphore wait until
// released or killed there, waited for by its owner; the semaphore's counts and
// limits; the recursive lock.

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <initializer_list>
#include <thread>
#include <utility>

#include "base/FLock.h"
#include "base/FThread.h"
#include "base/Semaphore.h"

namespace Zel {
namespace {

// A thread's scheduling level as the platform reports it, higher for more of the
// CPU: Windows' thread priority (which Wine records without applying), on Linux
// the negated nice value.
#if defined(_WIN32)
uint32_t currentTid() { return GetCurrentThreadId(); }

int levelOfThread(uint32_t tid) {
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, tid);
    const int level = thread ? GetThreadPriority(thread) : THREAD_PRIORITY_ERROR_RETURN;
    if (thread) CloseHandle(thread);
    return level;
}

// A terminated thread runs no destructors: the system says whether it is gone.
bool bodyEnded(uint32_t tid, bool) {
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, tid);
    if (!thread) return true;
    DWORD code = STILL_ACTIVE;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code != STILL_ACTIVE;
}
#else
uint32_t currentTid() { return static_cast<uint32_t>(syscall(SYS_gettid)); }

int levelOfThread(uint32_t tid) {
    errno = 0;
    const int value = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    return errno == 0 ? -value : -1000;
}

// A cancelled thread unwinds its stack: the body's guard saw it leave.
bool bodyEnded(uint32_t, bool left) { return left; }
#endif

// The collector worker's shape: announces itself, then blocks until released.
class Worker : public FThread {
public:
    Worker() : FThread("CIThread") {
        started.create(0);
        gate.create(0);
    }
    int32_t run() override {
        struct Leaving {
            std::atomic<bool>& left;
            ~Leaving() { left = true; }
        } leaving{left};
        tid = currentTid();
        level = levelOfThread(tid);
        started.release(1);
        gate.wait(-1);
        passed = true;
        return 0;
    }

    Semaphore started, gate;
    std::atomic<int> level{0};
    std::atomic<uint32_t> tid{0};
    std::atomic<bool> passed{false}, left{false};
};

TEST(FThread, SuspendedThreadRunsOnlyOnceResumedAndNeverWhenClosedBefore) {
    std::atomic<int> runs{0};
    auto entry = [](void* counter) -> int32_t { return ++*static_cast<std::atomic<int>*>(counter); };
    uint32_t id = 0;
    Platform::Thread* closed = Platform::threadCreateSuspended(entry, &runs, &id);
    ASSERT_TRUE(closed && id != 0);
    Platform::threadClose(closed); // lets it go without running its entry
    Platform::Thread* resumed = Platform::threadCreateSuspended(entry, &runs, &id);
    ASSERT_TRUE(resumed && Platform::threadResume(resumed) && Platform::threadWait(resumed, Platform::kWaitForever));
    EXPECT_TRUE(Platform::threadWait(resumed, 0)); // asked again after the end
    Platform::threadClose(resumed);
    EXPECT_EQ(runs.load(), 1);
}

TEST(FThread, WaitForEndFollowsTheBodyAndKillStopsItWhereItBlocks) {
    Worker released, killed;
    EXPECT_TRUE(released.waitForEnd(FThread::kInfinite)); // never started: nothing to wait for
    ASSERT_TRUE(released.start() && killed.start());
    ASSERT_TRUE(released.started.wait(-1) && killed.started.wait(-1));
    EXPECT_FALSE(released.waitForEnd(0)) << "the body is blocked in its wait";
    EXPECT_EQ(released.threadId(), released.tid.load()); // the new thread's, which start() reported
    ASSERT_TRUE(released.gate.release(1));
    ASSERT_TRUE(released.waitForEnd(FThread::kInfinite));
    EXPECT_TRUE(released.passed && released.waitForEnd(0));

    killed.kill(); // returns once the body is gone
    EXPECT_TRUE(bodyEnded(killed.tid, killed.left));
    EXPECT_TRUE(!killed.passed && killed.waitForEnd(0));
    ASSERT_TRUE(killed.gate.release(1));
    EXPECT_TRUE(killed.gate.wait(0)) << "nobody is left to take the count";
    killed.kill(); // no handle left: nothing to do
}

// Lowering needs no privilege, so the indices at and below normal show on any machine.
TEST(FThread, PriorityIsAppliedBeforeTheBodyRunsAndBadIndicesAreRefused) {
    const int processLevel = levelOfThread(currentTid());
    if (processLevel < -8) GTEST_SKIP() << "the process runs too low to tell the levels apart";
    auto levelOfBodyAt = [](std::initializer_list<int32_t> indices) {
        Worker worker;
        worker.gate.release(1);
        for (int32_t index : indices) EXPECT_TRUE(worker.setPriority(index)); // kept for start
        EXPECT_TRUE(worker.start());
        EXPECT_TRUE(worker.waitForEnd(FThread::kInfinite));
        return worker.level.load();
    };
    const int idle = levelOfBodyAt({FThread::kIdle}), below = levelOfBodyAt({FThread::kBelowNormal});
    const int normal = levelOfBodyAt({FThread::kNormal});
    EXPECT_LT(idle, below);
    EXPECT_LT(below, normal);
    EXPECT_TRUE(processLevel != 0 || normal == 0) << "normal keeps the process's own level";
    Worker unstarted;
    EXPECT_TRUE(unstarted.setPriority(FThread::kHighest));
    for (int32_t bad : {-1, 6}) EXPECT_FALSE(unstarted.setPriority(bad)) << bad;
    EXPECT_EQ(unstarted.priority(), FThread::kHighest);
#if defined(_WIN32)
    // Windows reports exactly the values set, the raised ones included.
    if (GetPriorityClass(GetCurrentProcess()) != NORMAL_PRIORITY_CLASS) return;
    for (auto [index, level] :
         {std::pair{FThread::kIdle, THREAD_PRIORITY_IDLE}, {FThread::kAboveNormal, THREAD_PRIORITY_ABOVE_NORMAL},
          {FThread::kHighest, THREAD_PRIORITY_HIGHEST}, {FThread::kTimeCritical, THREAD_PRIORITY_TIME_CRITICAL}})
        EXPECT_EQ(levelOfBodyAt({index}), level) << index;
#endif
}

TEST(Semaphore, CountsReleasesUpToItsMaximumAndWakesWaitersOnAnyThread) {
    Semaphore semaphore;
    EXPECT_FALSE(semaphore.wait(0) || semaphore.release(1)) << "not created: nothing to wait on or release";
    EXPECT_FALSE(semaphore.create(-1));
    ASSERT_TRUE(semaphore.create(1));
    for (int32_t refused : {0, -1}) EXPECT_FALSE(semaphore.release(refused)) << refused;
    EXPECT_TRUE(semaphore.release(2));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(semaphore.wait(0)) << i;
    EXPECT_FALSE(semaphore.wait(0));
    EXPECT_FALSE(semaphore.wait(20)); // nothing to take within the time-out

    std::atomic<int> woken{0};
    auto waiter = [&] { woken += semaphore.wait(10000) ? 1 : 0; }; // bounded: a lost release fails, not hangs
    std::thread first(waiter), second(waiter);
    EXPECT_TRUE(semaphore.release(2)); // before or after they block: the count is kept
    first.join();
    second.join();
    EXPECT_EQ(woken.load(), 2);

    ASSERT_TRUE(semaphore.create(Semaphore::kMaximumCount - 1));
    EXPECT_FALSE(semaphore.release(2)) << "past the maximum: refused as a whole";
    EXPECT_TRUE(semaphore.wait(0));
    EXPECT_TRUE(semaphore.release(2)); // up to the maximum, which is allowed
}

TEST(FLock, RecursiveOnTheOwnerAndClosedToOthersUntilEveryLevelIsReleased) {
    FLock lock;
    auto freeElsewhere = [&] {
        bool got = false;
        std::thread([&] {
            if ((got = lock.tryLock())) lock.unlock();
        }).join();
        return got;
    };
    lock.lock();
    lock.lock(); // the owner enters again
    lock.unlock();
    EXPECT_FALSE(freeElsewhere()) << "one level is still held";
    lock.unlock();
    EXPECT_TRUE(freeElsewhere());
}

} // namespace
} // namespace Zel
