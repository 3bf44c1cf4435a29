#include "dsp/CollectorProcessThread.h"

#include <chrono>
#include <thread>

#include "dsp/CollectorOverlap.h"

namespace DSP {

CollectorProcessThread::CollectorProcessThread(const char* name, CollectorOverlap* owner)
    : FThread(name), owner_(owner) {
    dataReady_.create(0, "waitForData");
}

int32_t CollectorProcessThread::run() {
    if (terminateRequested_.load(std::memory_order_acquire)) return 0;
    while (owner_) {
        dataReady_.wait(-1);
        // Taken before clearing, so a second request made meanwhile is not lost.
        if (resetRequested_.exchange(false, std::memory_order_acq_rel))
            owner_->clearEvaluation();
        else if (!terminateRequested_.load(std::memory_order_acquire))
            owner_->evaluate();
        pending_.fetch_sub(1, std::memory_order_release);
        if (terminateRequested_.load(std::memory_order_acquire)) break;
    }
    return 0;
}

void CollectorProcessThread::stop() {
    terminateRequested_.store(true, std::memory_order_release);
    signal();
    waitForEnd(kInfinite);
    kill(); // the body has ended: this only closes the handle
}

bool CollectorProcessThread::waitUntilIdle(int32_t timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pending_.load(std::memory_order_acquire) > 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

} // namespace DSP
