#pragma once
// What both window collectors share: the framing, the window Collector, the
// published block loudness and the hand-off to a worker thread through a lock
// word taken only by compare-exchange (the audio thread never waits: a window
// that finds the worker busy is dropped).

#include <atomic>
#include <memory>

#include "dsp/Collector.h"
#include "dsp/CollectorProcessThread.h"
#include "dsp/Overlap.h"

namespace DSP {

class CollectorOverlap : public Overlap {
public:
    static constexpr int32_t kStoreCapacity = 345600;
    static constexpr float kFloorLoudness = -80.0f;
    static constexpr float kAbsoluteGate = -70.0f;

    CollectorOverlap(float sampleRate, int32_t channelCount, uint32_t maxSamplesPerCall, int32_t windowLength,
                     int32_t historyLength);
    ~CollectorOverlap() override;

    int32_t initialize() override;
    int32_t terminate() override;
    void reset() override;
    void freeBuffers() override;
    void allocateBuffers() override;
    void processFrame(float**, int32_t) override {}

    // [worker] Takes the handed-over window and updates the figures.
    virtual void evaluate() {}
    // [worker] Empties the block store and clears the figures.
    virtual void clearEvaluation() {}

    // [any thread] The block loudness of the last evaluated window, LUFS.
    float current() const { return current_.load(std::memory_order_relaxed); }
    // [any thread] The gated figure where the collector has one, LUFS.
    float result() const { return result_.load(std::memory_order_relaxed); }
    Collector* collector() const { return collector_.get(); }
    int32_t windowLength() const { return windowLength_; }
    bool hasWorker() const { return worker_ != nullptr; }
    // For tests: true when no hand-off waits for the worker (bounded wait).
    bool waitForWorker(int32_t timeoutMs);

protected:
    // The hand-off lock word: one compare-exchange, never a wait.
    bool tryLockHandOff() {
        int32_t expected = 0;
        return handOffLock_.compare_exchange_strong(expected, 1, std::memory_order_acquire);
    }
    void unlockHandOff() { handOffLock_.store(0, std::memory_order_release); }
    // [worker] Waits out the audio thread's copy: a reset request must not be lost.
    void lockHandOffOnWorker();

    void startWorker(const char* name);
    void stopWorker();
    void signalWorker() { worker_->signal(); }
    void requestWorkerReset() { worker_->requestReset(); }
    void newCollector();

    bool initialized_ = false;
    bool terminated_ = false;
    int32_t storedCount_ = 0;
    int32_t storeCapacity_ = kStoreCapacity;
    int32_t samplesSinceEvaluation_ = 0;
    int32_t windowLength_;
    std::atomic<float> current_{kFloorLoudness};
    std::atomic<float> result_{kFloorLoudness};
    float* store_ = nullptr;
    std::unique_ptr<Collector> collector_;
    std::unique_ptr<CollectorProcessThread> worker_;
    std::atomic<int32_t> handOffLock_{0};
};

} // namespace DSP
