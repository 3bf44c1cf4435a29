#pragma once
// The worker a window collector hands its windows to: it sleeps on a
// semaphore and runs one evaluation (or one clearing) per signal, with
// denormals flushed to zero as on the audio thread.

#include <atomic>

#include "base/FThread.h"
#include "base/Semaphore.h"

namespace DSP {

class CollectorOverlap;

class CollectorProcessThread : public Zel::FThread {
public:
    CollectorProcessThread(const char* name, CollectorOverlap* owner);
    ~CollectorProcessThread() override = default;

    int32_t run() override;

    // [audio thread] Never blocks.
    void signal() {
        pending_.fetch_add(1, std::memory_order_relaxed);
        dataReady_.release(1);
    }
    void requestReset() {
        resetRequested_.store(true, std::memory_order_release);
        signal();
    }
    // [owner thread] Wakes the worker for the last time and waits for it to end.
    void stop();
    // [any thread but the worker] Blocks until every signal given so far has
    // been handled. Offline the audio thread may wait so; realtime it never does.
    void waitUntilIdle();

private:
    std::atomic<bool> terminateRequested_{false};
    std::atomic<bool> resetRequested_{false};
    std::atomic<int32_t> pending_{0};
    CollectorOverlap* owner_;
    Zel::Semaphore dataReady_;
    Zel::Semaphore handled_; // one count per handled signal, taken only by waitUntilIdle
};

} // namespace DSP
