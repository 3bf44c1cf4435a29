// The framework lock: recursion on the owning thread, tryLock from others, and
// real mutual exclusion.

#include <gtest/gtest.h>

#include <thread>

#include "base/FLock.h"

namespace Zel {
namespace {

// tryLock from a thread that is not the owner; a lock it gets is given back.
bool tryLockElsewhere(FLock& lock) {
    bool got = false;
    std::thread other([&] {
        got = lock.tryLock();
        if (got) lock.unlock();
    });
    other.join();
    return got;
}

TEST(FLockOwnership, RecursiveOnTheOwningThreadAndHeldUntilFullyReleasedOrTheGuardsEnd) {
    FLock lock("test");
    lock.lock();
    lock.lock();
    EXPECT_TRUE(lock.tryLock()); // the owner may enter again
    EXPECT_FALSE(tryLockElsewhere(lock));

    lock.unlock();
    lock.unlock();
    EXPECT_FALSE(tryLockElsewhere(lock)); // one level is still held

    lock.unlock();
    EXPECT_TRUE(tryLockElsewhere(lock));
    EXPECT_TRUE(lock.tryLock());
    lock.unlock();

    {
        FGuard guard(lock);
        FGuard nested(lock);
        EXPECT_FALSE(tryLockElsewhere(lock));
    }
    EXPECT_TRUE(tryLockElsewhere(lock)); // guards hold for their scope only
}

TEST(FLockExclusion, ContendedIncrementsGiveTheExactTotal) {
    constexpr int kPerThread = 100000;
    FLock lock;
    long counter = 0; // deliberately not atomic: only the lock protects it
    auto work = [&] {
        for (int i = 0; i < kPerThread; ++i) {
            FGuard guard(lock);
            long seen = counter;
            counter = seen + 1;
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 2L * kPerThread);
}

} // namespace
} // namespace Zel
