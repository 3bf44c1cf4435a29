#pragma once
// What both window collectors share: the framing, the window Collector, the
// published block loudness and the hand-off to a worker thread through a lock
// word taken only by compare-exchange (the audio thread never waits: a window
// that finds the worker busy is dropped). Offline, where nothing may be lost
// and the audio thread may take its time, every window is evaluated where it
// arrives instead, in order. Every reset starts a new
// generation of the measurement; handed-over data and published figures carry
// theirs, so that nothing from before a reset counts after it.

#include <atomic>
#include <memory>

#include "dsp/Collector.h"
#include "dsp/CollectorProcessThread.h"
#include "dsp/GenerationValue.h"
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

    // [any thread] The block loudness of the last evaluated window of the
    // current measurement, LUFS (-80 until there is one).
    float current() const { return current_.load(generation(), kFloorLoudness); }
    // [any thread] The gated figure where the collector has one, LUFS.
    float result() const { return result_.load(generation(), kFloorLoudness); }
    // [any thread] Counts the resets: the measurement the audio thread feeds now.
    uint32_t generation() const { return generation_.load(std::memory_order_acquire); }
    Collector* collector() const { return collector_.get(); }
    // [not the audio thread] New channel weights for the window sums, never
    // while a worker sums a window with the old ones.
    void setWeights(const float* weights, int32_t count);
    int32_t windowLength() const { return windowLength_; }
    bool hasWorker() const { return worker_ != nullptr; }
    // [audio thread] Offline (true): every window is evaluated on the calling
    // thread as it arrives; the switch first waits until the worker has taken
    // all it was handed, so the order holds. Realtime (false): windows go to
    // the worker and the caller never waits.
    void setEvaluateInPlace(bool inPlace);
    bool evaluatesInPlace() const { return !handsOff(); }
    // Blocks until the worker has handled every window and reset it was given.
    void waitForWorker();

protected:
    // Both collectors only read their windows (the range collector copies its own).
    bool readsFramesOnly() const override { return true; }

    // The hand-off lock word: one compare-exchange, never a wait.
    bool tryLockHandOff() {
        int32_t expected = 0;
        return handOffLock_.compare_exchange_strong(expected, 1, std::memory_order_acquire);
    }
    void unlockHandOff() { handOffLock_.store(0, std::memory_order_release); }
    // [any thread but the audio thread] Waits out the other side's turn: the
    // audio thread holds it for one copy, the worker for one evaluation.
    void lockHandOffWaiting();

    // [audio thread] A reset: later hand-offs and figures belong to a new measurement.
    uint32_t startGeneration() { return generation_.fetch_add(1, std::memory_order_acq_rel) + 1; }
    // [evaluating thread, under the hand-off lock] Before data of generation g
    // is evaluated: false when g is older than what the store holds (the data
    // came before a reset and is dropped); for a newer g the store and the
    // figures are cleared first (clearStore).
    bool enterGeneration(uint32_t g);
    // Empties the block store and publishes the reset figures for generation g.
    virtual void clearStore(uint32_t g) { (void)g; }

    // Windows go to the worker (realtime with a running worker).
    bool handsOff() const { return worker_ && !inPlace_; }
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
    GenerationValue current_{kFloorLoudness};
    GenerationValue result_{kFloorLoudness};
    std::atomic<uint32_t> generation_{0};
    uint32_t storeGeneration_ = 0; // the evaluating thread's: the measurement the store holds
    float* store_ = nullptr;
    std::unique_ptr<Collector> collector_;
    std::unique_ptr<CollectorProcessThread> worker_;
    std::atomic<int32_t> handOffLock_{0};
    bool inPlace_ = false; // the audio thread's
};

} // namespace DSP
