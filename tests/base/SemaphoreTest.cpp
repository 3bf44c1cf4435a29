// The counting semaphore that wakes the collector workers: counts, time-outs,
// cross-thread wake-up and the limits of its count.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "BaseTestSupport.h"
#include "base/Semaphore.h"

namespace Zel {
namespace {

using namespace std::chrono_literals;
using BaseTest::Clock;
using BaseTest::eventually;

// Runs one wait on a helper thread so that a wait that wrongly blocks fails the
// test instead of hanging it: the semaphore is released afterwards to free it.
struct WaitOnHelper {
    WaitOnHelper(Semaphore& s, int32_t timeoutMs) : semaphore(s) {
        worker = std::thread([this, timeoutMs] {
            result = semaphore.wait(timeoutMs);
            done = true;
        });
    }
    ~WaitOnHelper() {
        if (!done) semaphore.release(1);
        worker.join();
    }
    Semaphore& semaphore;
    std::atomic<bool> done{false};
    std::atomic<bool> result{false};
    std::thread worker;
};

// ---- Counting ----------------------------------------------------------------------

TEST(SemaphoreCounting, TwoReleasesWakeTwoWaitsAndTheThirdTimesOut) {
    Semaphore semaphore;
    ASSERT_TRUE(semaphore.create(0, "dataReady"));
    EXPECT_TRUE(semaphore.release(1));
    EXPECT_TRUE(semaphore.release(1));
    EXPECT_TRUE(semaphore.wait(1000));
    EXPECT_TRUE(semaphore.wait(1000));

    const auto begin = Clock::now();
    EXPECT_FALSE(semaphore.wait(100));
    const auto waited = Clock::now() - begin;
    EXPECT_GE(waited, 90ms); // it really waited for the time-out
    EXPECT_LT(waited, 10s);
}

TEST(SemaphoreCounting, InitialCountAndMultipleReleasesAreTakenWithoutBlocking) {
    Semaphore semaphore;
    ASSERT_TRUE(semaphore.create(1));
    EXPECT_TRUE(semaphore.release(2));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(semaphore.wait(0)) << i;
    WaitOnHelper helper(semaphore, 0);
    ASSERT_TRUE(eventually([&] { return helper.done.load(); }, 5s)) << "wait(0) blocked";
    EXPECT_FALSE(helper.result.load());
}

// ---- Across threads ------------------------------------------------------------------

TEST(SemaphoreThreads, ReleaseFromAnotherThreadWakesAnUnboundedWaiter) {
    Semaphore semaphore;
    ASSERT_TRUE(semaphore.create(0));
    WaitOnHelper helper(semaphore, -1);
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(helper.done.load()); // a negative time-out waits without limit

    EXPECT_TRUE(semaphore.release(1));
    ASSERT_TRUE(eventually([&] { return helper.done.load(); }));
    EXPECT_TRUE(helper.result.load());
    EXPECT_FALSE(semaphore.wait(0)); // the waiter took the count
}

TEST(SemaphoreThreads, ReleaseOfTwoWakesTwoBlockedWaiters) {
    Semaphore semaphore;
    ASSERT_TRUE(semaphore.create(0));
    WaitOnHelper first(semaphore, -1);
    WaitOnHelper second(semaphore, -1);
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(semaphore.release(2));
    EXPECT_TRUE(eventually([&] { return first.done.load() && second.done.load(); }));
    EXPECT_TRUE(first.result.load());
    EXPECT_TRUE(second.result.load());
}

// ---- Limits ---------------------------------------------------------------------------

TEST(SemaphoreLimits, ReleaseBeyondTheMaximumIsRefusedAndKeepsTheCount) {
    Semaphore semaphore;
    ASSERT_TRUE(semaphore.create(5));
    EXPECT_FALSE(semaphore.release(Semaphore::kMaximumCount - 4));
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(semaphore.wait(0)) << i;
    EXPECT_FALSE(semaphore.wait(0));

    ASSERT_TRUE(semaphore.create(Semaphore::kMaximumCount));
    EXPECT_FALSE(semaphore.release(1));
    EXPECT_TRUE(semaphore.wait(0));
    EXPECT_TRUE(semaphore.release(1)); // back at the maximum, which is allowed
    EXPECT_FALSE(semaphore.release(1));
}

TEST(SemaphoreLimits, NonPositiveReleaseAndInvalidCreationAreRefused) {
    Semaphore semaphore;
    EXPECT_FALSE(semaphore.isCreated());
    EXPECT_FALSE(semaphore.wait(0)); // nothing to wait on
    EXPECT_FALSE(semaphore.release(1));

    EXPECT_FALSE(semaphore.create(-1));
    EXPECT_FALSE(semaphore.isCreated());

    ASSERT_TRUE(semaphore.create(0));
    EXPECT_FALSE(semaphore.release(0));
    EXPECT_FALSE(semaphore.release(-1));
    EXPECT_FALSE(semaphore.wait(0));

    semaphore.close();
    semaphore.close();
    EXPECT_FALSE(semaphore.isCreated());
}

} // namespace
} // namespace Zel
