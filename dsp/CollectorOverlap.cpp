#include "dsp/CollectorOverlap.h"

#include <cstring>
#include <thread>

#include "dsp/AlignedBuffer.h"

namespace DSP {

CollectorOverlap::CollectorOverlap(float rate, int32_t channels, uint32_t maxSamples, int32_t windowLength,
                                   int32_t historyLength)
    : Overlap(rate, channels, maxSamples, windowLength, historyLength), windowLength_(windowLength) {}

CollectorOverlap::~CollectorOverlap() {
    // A worker must never outlive the object it evaluates.
    stopWorker();
}

void CollectorOverlap::newCollector() {
    if (collector_) collector_->terminate();
    collector_ = std::make_unique<Collector>(windowLength_, channelCount);
    collector_->initialize();
    collector_->reset();
}

int32_t CollectorOverlap::initialize() {
    Overlap::initialize();
    newCollector();
    initialized_ = true;
    return 0;
}

int32_t CollectorOverlap::terminate() {
    if (collector_) collector_->terminate();
    collector_.reset();
    Overlap::terminate();
    terminated_ = true;
    return 0;
}

void CollectorOverlap::reset() {
    Overlap::reset();
    samplesSinceEvaluation_ = 0;
    const uint32_t g = startGeneration();
    storeGeneration_ = g;
    result_.store(kFloorLoudness, g);
    current_.store(kFloorLoudness, g);
    if (collector_) collector_->reset();
    if (store_) std::memset(store_, 0, sizeof(float) * static_cast<size_t>(storeCapacity_));
}

void CollectorOverlap::freeBuffers() {
    if (collector_) collector_->terminate();
    collector_.reset();
    Overlap::freeBuffers();
}

void CollectorOverlap::allocateBuffers() {
    newCollector();
    Overlap::allocateBuffers();
    Overlap::reset();
}

void CollectorOverlap::startWorker(const char* name) {
    if (worker_) return;
    worker_ = std::make_unique<CollectorProcessThread>(name, this);
    // Without a thread the windows are evaluated where they arrive rather than not at all.
    if (!worker_->start()) worker_.reset();
}

void CollectorOverlap::stopWorker() {
    if (!worker_) return;
    worker_->stop();
    worker_.reset();
}

void CollectorOverlap::lockHandOffWaiting() {
    while (!tryLockHandOff()) std::this_thread::yield();
}

bool CollectorOverlap::enterGeneration(uint32_t g) {
    if (g == storeGeneration_) return true;
    if (static_cast<int32_t>(g - storeGeneration_) < 0) return false; // from before a reset
    clearStore(g);
    storeGeneration_ = g;
    return true;
}

void CollectorOverlap::setWeights(const float* weights, int32_t count) {
    if (!collector_) return;
    if (!worker_) {
        collector_->setWeights(weights, count);
        return;
    }
    lockHandOffWaiting();
    collector_->setWeights(weights, count);
    unlockHandOff();
}

void CollectorOverlap::waitForWorker() {
    if (worker_) worker_->waitUntilIdle();
}

void CollectorOverlap::setEvaluateInPlace(bool inPlace) {
    if (inPlace == inPlace_) return;
    // The store becomes this thread's once the worker has evaluated what it holds.
    if (inPlace) waitForWorker();
    inPlace_ = inPlace;
}

} // namespace DSP
