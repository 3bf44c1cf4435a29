#include "dsp/CollectorIntegrated.h"

#include <cstring>

#include "dsp/AlignedBuffer.h"
#include "dsp/VectorOps.h"

namespace DSP {

int32_t CollectorIntegrated::windowLengthFor(double fs) { return static_cast<int32_t>(0.4000000059604645 * fs); }
int32_t CollectorIntegrated::historyLengthFor(double fs) { return static_cast<int32_t>(0.30000000447034836 * fs); }

CollectorIntegrated::CollectorIntegrated(double fs, int32_t channels, uint32_t maxSamples, bool useWorkerThreads)
    : CollectorOverlap(static_cast<float>(fs), channels, maxSamples, windowLengthFor(fs), historyLengthFor(fs)),
      useWorkerThreads_(useWorkerThreads) {}

CollectorIntegrated::~CollectorIntegrated() {
    stopWorker();
    freeAligned(store_);
}

void CollectorIntegrated::allocateStore() {
    freeAligned(store_);
    store_ = allocateAligned<float>(static_cast<size_t>(storeCapacity_));
}

int32_t CollectorIntegrated::initialize() {
    CollectorOverlap::initialize();
    allocateStore();
    if (useWorkerThreads_) startWorker("CIThread");
    return 0;
}

int32_t CollectorIntegrated::terminate() {
    stopWorker();
    CollectorOverlap::terminate();
    freeAligned(store_);
    return 0;
}

void CollectorIntegrated::reset() {
    Overlap::reset();
    const uint32_t g = startGeneration();
    result_.store(kFloorLoudness, g);
    current_.store(kFloorLoudness, g);
    belowRelativeGate_.store(0.0f, g);
    if (collector_) collector_->reset();
    if (handsOff()) {
        // Windows still waiting belong to the old measurement. If the worker is
        // taking them right now, their generation tells it to drop them.
        if (tryLockHandOff()) {
            handedCount_ = 0;
            unlockHandOff();
        }
        requestWorkerReset(); // the worker empties the store under the hand-off lock
        return;
    }
    // Without a worker, or evaluating in place, the store is this thread's.
    if (store_) std::memset(store_, 0, sizeof(float) * static_cast<size_t>(storeCapacity_));
    enterGeneration(g);
}

void CollectorIntegrated::freeBuffers() {
    freeAligned(store_);
    CollectorOverlap::freeBuffers();
}

void CollectorIntegrated::allocateBuffers() {
    allocateStore();
    CollectorOverlap::allocateBuffers();
}

void CollectorIntegrated::processFrame(float** frame, int32_t length) {
    if (length < windowLength_) return; // warm-up: no full window yet
    collector_->sumWindow(frame, length);
    const float z = collector_->meanSquare();
    if (!(z > 0.0f)) return;
    if (!handsOff()) {
        evaluateBlock(z, length, generation());
        return;
    }
    if (!tryLockHandOff()) return; // the worker is taking the windows: this one is dropped
    const bool room = handedCount_ < kHandOffSlots;
    if (room) handOff_[handedCount_++] = HandOff{z, length, generation()};
    unlockHandOff();
    if (room) signalWorker();
}

void CollectorIntegrated::evaluate() {
    // The windows are taken under the lock and evaluated after it: only this
    // worker touches the store, and the audio thread's next hand-off is not
    // refused for the length of an evaluation. A later signal finds nothing new.
    if (!tryLockHandOff()) return;
    HandOff windows[kHandOffSlots];
    const int32_t count = handedCount_;
    for (int32_t i = 0; i < count; ++i) windows[i] = handOff_[i];
    handedCount_ = 0;
    unlockHandOff();
    for (int32_t i = 0; i < count; ++i)
        evaluateBlock(windows[i].meanSquare, windows[i].length, windows[i].generation);
}

void CollectorIntegrated::clearEvaluation() {
    // Windows handed over since the reset stay queued: they belong to the new
    // measurement (and if one was evaluated already, the store is its own).
    lockHandOffWaiting();
    enterGeneration(generation());
    unlockHandOff();
}

void CollectorIntegrated::clearStore(uint32_t g) {
    storedCount_ = 0;
    storeSum_ = 0.0f;
    samplesSinceEvaluation_ = 0;
    belowRelativeGate_.store(0.0f, g);
    result_.store(kFloorLoudness, g);
    current_.store(kFloorLoudness, g);
}

void CollectorIntegrated::evaluateBlock(float z, int32_t length, uint32_t g) {
    if (!enterGeneration(g)) return;
    const VectorOps& ops = vectorOps();
    const float momentary = blockLoudness(z);
    current_.store(momentary, g);
    if (momentary > kAbsoluteGate) {
        store_[storedCount_] = z;
        storedCount_ += 1;
        if (storedCount_ >= storeCapacity_) {
            // Full: the integration starts over; the last result stands until the next.
            samplesSinceEvaluation_ += length;
            storedCount_ = 0;
            storeSum_ = 0.0f;
            return;
        }
        storeSum_ += z;
    }
    samplesSinceEvaluation_ += length;
    if (storedCount_ >= 1 && static_cast<double>(samplesSinceEvaluation_) >= sampleRate) {
        const float mean = storeSum_ / static_cast<float>(storedCount_);
        const float threshold = static_cast<float>(static_cast<double>(mean) * 0.1);
        float sum = 0.0f;
        int32_t count = 0;
        ops.gatedSum(store_, storedCount_, threshold, sum, count);
        if (count > 0) result_.store(blockLoudness(sum / static_cast<float>(count)), g);
        belowRelativeGate_.store(momentary < blockLoudness(threshold) ? 1.0f : 0.0f, g);
        samplesSinceEvaluation_ = 0;
    }
}

} // namespace DSP
