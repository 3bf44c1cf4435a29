#include "dsp/Loudness.h"

#include <algorithm>
#include <bit>

#include "dsp/AlignedBuffer.h"
#include "dsp/KWeighting.h"
#include "dsp/VectorOps.h"

namespace DSP {

namespace {
constexpr int kLfeBit = 3;
constexpr int kLeftSurroundBit = 4;
constexpr int kRightSurroundBit = 5;
constexpr int kSecondLfeBit = 18;

BiquadState* allocateStates(int32_t channels) {
    auto* states = static_cast<BiquadState*>(std::calloc(static_cast<size_t>(channels), sizeof(BiquadState)));
    if (!states) throw Zel::OutOfMemoryError();
    return states;
}
} // namespace

Loudness::Loudness(double rate, uint32_t maxSamples, bool useWorkerThreads) : useWorkerThreads_(useWorkerThreads) {
    sampleRate = rate;
    maxSamplesPerCall = maxSamples;
}

Loudness::~Loudness() { release(); }

void Loudness::build() {
    shelf_ = shelfCoefficients(sampleRate);
    shelfStates_ = allocateStates(channelCount_);
    highPass_ = highPassCoefficients(sampleRate);
    highPassStates_ = allocateStates(channelCount_);
    weights_ = allocateAligned<float>(static_cast<size_t>(channelCount_));
    std::fill(weights_, weights_ + channelCount_, 1.0f);

    range_ = std::make_unique<CollectorLoudnessRange>(sampleRate, channelCount_, maxSamplesPerCall, useWorkerThreads_);
    range_->setEvaluateInPlace(offline_); // before its worker exists: nothing to wait for
    range_->initialize();
    range_->reset();
    integratedCollector_ =
        std::make_unique<CollectorIntegrated>(sampleRate, channelCount_, maxSamplesPerCall, useWorkerThreads_);
    integratedCollector_->setEvaluateInPlace(offline_);
    integratedCollector_->initialize();
    integratedCollector_->reset();
    copyWeightsToCollectors();

    scratch_ = allocateChannels<float>(channelCount_, maxSamplesPerCall);
    steps_ = static_cast<float**>(std::calloc(static_cast<size_t>(channelCount_), sizeof(float*)));
    if (!steps_) throw Zel::OutOfMemoryError();
}

void Loudness::release() {
    std::free(shelfStates_);
    shelfStates_ = nullptr;
    std::free(highPassStates_);
    highPassStates_ = nullptr;
    freeAligned(weights_);
    if (range_) range_->terminate(); // stops its worker before the buffers go
    range_.reset();
    if (integratedCollector_) integratedCollector_->terminate();
    integratedCollector_.reset();
    freeChannels(scratch_, channelCount_);
    std::free(steps_);
    steps_ = nullptr;
}

int32_t Loudness::initialize() {
    release();
    build();
    initialized_ = true;
    return 0;
}

int32_t Loudness::terminate() {
    release();
    terminated_ = true;
    return 0;
}

void Loudness::copyWeightsToCollectors() {
    // The range worker sums its windows with these: they change under its hand-off lock.
    if (range_) range_->setWeights(weights_, channelCount_);
    if (integratedCollector_) integratedCollector_->setWeights(weights_, channelCount_);
}

void Loudness::applyArrangementWeights(uint64_t arrangement) {
    auto setWeight = [&](int bit, float weight) {
        if (!(arrangement & (uint64_t{1} << bit))) return; // speaker absent: nothing changes
        const int32_t index = std::popcount(arrangement & ((uint64_t{1} << bit) - 1));
        if (index < channelCount_) weights_[index] = weight;
    };
    setWeight(kLfeBit, 0.0f);
    setWeight(kSecondLfeBit, 0.0f);
    setWeight(kLeftSurroundBit, kSurroundWeight);
    setWeight(kRightSurroundBit, kSurroundWeight);
}

int32_t Loudness::setChannelsAndArrangement(int32_t inputs, int32_t, int32_t, uint64_t arrangement) {
    if (inputs < 1) return 1;
    if (inputs != channelCount_) {
        release();
        channelCount_ = inputs;
        build();
        reset();
    }
    if (!weights_) return 0; // not initialised yet
    applyArrangementWeights(arrangement);
    copyWeightsToCollectors();
    return 0;
}

void Loudness::reset() {
    for (int32_t c = 0; shelfStates_ && c < channelCount_; ++c) shelfStates_[c].clear();
    for (int32_t c = 0; highPassStates_ && c < channelCount_; ++c) highPassStates_[c].clear();
    if (range_) range_->reset();
    if (integratedCollector_) integratedCollector_->reset();
    loudnessRange_ = 0.0f;
    momentary_ = shortTerm_ = integrated_ = momentaryMax_ = shortTermMax_ = kFloor;
}

void Loudness::setOffline(bool offline) {
    offline_ = offline;
    if (range_) range_->setEvaluateInPlace(offline);
    if (integratedCollector_) integratedCollector_->setEvaluateInPlace(offline);
}

void Loudness::analyze(float** in, int32_t count) {
    if (count <= 0 || !scratch_) return;
    const VectorOps& ops = vectorOps();
    ops.biquadPairSquare(in, scratch_, channelCount_, count, shelf_, shelfStates_, highPass_, highPassStates_);

    // The maxima must see every window, however long the block: the collectors
    // take it at most one short hop at a time, so that at most one window of
    // each ends per step.
    const int32_t hop = integratedCollector_->hopLength();
    const int32_t step = hop > 0 ? hop : count;
    for (int32_t done = 0; done < count; done += step) {
        const int32_t n = std::min(step, count - done);
        for (int32_t c = 0; c < channelCount_; ++c) steps_[c] = scratch_[c] + done;

        range_->processInput(steps_, n);
        const float shortTerm = range_->current();
        shortTermMax_ = std::max(shortTerm, shortTermMax_);
        shortTerm_ = shortTerm;
        loudnessRange_ = range_->loudnessRange();

        integratedCollector_->processInput(steps_, n);
        integrated_ = integratedCollector_->result();
        const float momentary = integratedCollector_->current();
        momentaryMax_ = std::max(momentary, momentaryMax_);
        momentary_ = momentary;
    }
}

} // namespace DSP
