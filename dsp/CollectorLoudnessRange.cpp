#include "dsp/CollectorLoudnessRange.h"

#include <cstring>

#include "dsp/AlignedBuffer.h"
#include "dsp/VectorOps.h"

namespace DSP {

CollectorLoudnessRange::CollectorLoudnessRange(double fs, int32_t channels, uint32_t maxSamples,
                                               bool useWorkerThreads)
    : CollectorOverlap(static_cast<float>(fs), channels, maxSamples, windowLengthFor(fs), historyLengthFor(fs)),
      useWorkerThreads_(useWorkerThreads),
      handOffLength_(history + hop) {}

CollectorLoudnessRange::~CollectorLoudnessRange() {
    stopWorker();
    freeHandOff();
}

void CollectorLoudnessRange::allocateHandOff() {
    freeHandOff();
    handOff_ = allocateChannels<float>(channelCount, static_cast<size_t>(handOffLength_));
}

void CollectorLoudnessRange::freeHandOff() { freeChannels(handOff_, channelCount); }

int32_t CollectorLoudnessRange::initialize() {
    CollectorOverlap::initialize();
    list_ = std::make_unique<SortedSumsList>(storeCapacity_);
    handOffLength_ = history + hop;
    allocateHandOff();
    if (useWorkerThreads_) startWorker("LRThread");
    return 0;
}

int32_t CollectorLoudnessRange::terminate() {
    stopWorker();
    CollectorOverlap::terminate();
    list_.reset();
    freeHandOff();
    return 0;
}

void CollectorLoudnessRange::reset() {
    Overlap::reset();
    const uint32_t g = startGeneration();
    result_.store(kFloorLoudness, g);
    current_.store(kFloorLoudness, g);
    loudnessRange_.store(0.0f, g);
    rangeLow_.store(0.0f, g);
    rangeHigh_.store(0.0f, g);
    if (handsOff()) {
        // A window still waiting belongs to the old measurement. If the worker is
        // evaluating it right now, its generation keeps its figures out of the new one.
        if (tryLockHandOff()) {
            handedLength_ = 0;
            unlockHandOff();
        }
        requestWorkerReset(); // the worker empties the list and resets the Collector under the lock
        return;
    }
    // Without a worker, or evaluating in place, everything is this thread's.
    enterGeneration(g);
}

void CollectorLoudnessRange::freeBuffers() {
    freeHandOff();
    CollectorOverlap::freeBuffers();
}

void CollectorLoudnessRange::allocateBuffers() {
    allocateHandOff();
    CollectorOverlap::allocateBuffers();
}

void CollectorLoudnessRange::processFrame(float** frame, int32_t length) {
    if (length < windowLength_) return; // warm-up: no full window yet
    if (!handsOff()) {
        evaluateWindow(frame, length, generation());
        return;
    }
    if (!tryLockHandOff()) return; // the worker is evaluating: this window is dropped
    const size_t bytes = sizeof(float) * static_cast<size_t>(length);
    for (int32_t c = 0; c < channelCount; ++c) std::memcpy(handOff_[c], frame[c], bytes);
    handedLength_ = length;
    handedGeneration_ = generation();
    unlockHandOff();
    signalWorker();
}

void CollectorLoudnessRange::evaluate() {
    if (!tryLockHandOff()) return;
    // Each hand-off is evaluated once; a second signal for the same data finds nothing.
    if (handedLength_ > 0) evaluateWindow(handOff_, handedLength_, handedGeneration_);
    handedLength_ = 0;
    unlockHandOff();
}

void CollectorLoudnessRange::clearEvaluation() {
    // A window handed over since the reset stays: it belongs to the new
    // measurement (and if it was evaluated already, the list is its own).
    lockHandOffWaiting();
    enterGeneration(generation());
    unlockHandOff();
}

void CollectorLoudnessRange::clearStore(uint32_t g) {
    if (list_) list_->clear();
    loudnessRange_.store(0.0f, g);
    rangeLow_.store(0.0f, g);
    rangeHigh_.store(0.0f, g);
    samplesSinceEvaluation_ = 0;
    current_.store(kFloorLoudness, g);
    if (collector_) collector_->reset();
}

void CollectorLoudnessRange::evaluateWindow(float** frame, int32_t length, uint32_t g) {
    if (!enterGeneration(g)) return;
    collector_->sumWindow(frame, length);
    const float z = collector_->meanSquare();
    if (!(z > 0.0f)) return;
    const float shortTerm = blockLoudness(z);
    current_.store(shortTerm, g);
    if (shortTerm > kAbsoluteGate) list_->insert(z);
    samplesSinceEvaluation_ += hop;
    if (list_->count() >= 1 && static_cast<double>(samplesSinceEvaluation_) >= 0.5 * sampleRate) {
        const float threshold = (list_->sum() / static_cast<float>(list_->count())) * 0.01f;
        float low = 0.0f, high = 0.0f;
        float range = 0.0f;
        if (list_->percentiles(threshold, low, high)) {
            const VectorOps& ops = vectorOps();
            range = 10.0f * (ops.log10(high) - ops.log10(low));
        }
        rangeLow_.store(low, g);
        rangeHigh_.store(high, g);
        loudnessRange_.store(range, g);
        samplesSinceEvaluation_ = 0;
    }
}

} // namespace DSP
