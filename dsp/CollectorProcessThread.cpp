#include "dsp/CollectorProcessThread.h"

#include "dsp/CollectorOverlap.h"
#include "dsp/DenormalGuard.h"

namespace DSP {

CollectorProcessThread::CollectorProcessThread(const char* name, CollectorOverlap* owner)
    : FThread(name), owner_(owner) {
    dataReady_.create(0, "waitForData");
    handled_.create(0);
}

int32_t CollectorProcessThread::run() {
    if (terminateRequested_.load(std::memory_order_acquire)) return 0;
    DenormalGuard denormals;
    while (owner_) {
        dataReady_.wait(-1);
        // Taken before clearing, so a second request made meanwhile is not lost.
        if (resetRequested_.exchange(false, std::memory_order_acq_rel))
            owner_->clearEvaluation();
        else if (!terminateRequested_.load(std::memory_order_acquire))
            owner_->evaluate();
        pending_.fetch_sub(1, std::memory_order_release);
        handled_.release(1);
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

void CollectorProcessThread::waitUntilIdle() {
    // Counts left by signals nobody waited for only cost a turn of the loop.
    while (pending_.load(std::memory_order_acquire) > 0) handled_.wait(-1);
}

} // namespace DSP
