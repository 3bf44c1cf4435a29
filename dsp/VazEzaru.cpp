#include "dsp/VazEzaru.h"

#include <cmath>
#include <cstring>

#include "dsp/AlignedBuffer.h"
#include "dsp/MeterValueIds.h"
#include "dsp/SilenceTest.h"
#include "dsp/VectorOps.h"

namespace DSP {

VazEzaru::VazEzaru(double rate, uint32_t maxSamples, bool useWorkerThreads) : useWorkerThreads_(useWorkerThreads) {
    sampleRate = rate;
    maxSamplesPerCall = maxSamples;
}

VazEzaru::~VazEzaru() { release(); }

int32_t VazEzaru::initialize() {
    if (loudness_) loudness_->terminate();
    loudness_ = std::make_unique<Loudness>(sampleRate, maxSamplesPerCall, useWorkerThreads_);
    loudness_->initialize();
    loudness_->reset();
    loudness_->setOffline(offline_);
    rms_ = std::make_unique<Rms>(sampleRate, maxSamplesPerCall, kRmsAveragingMs);
    if (truePeak_) truePeak_->terminate();
    truePeak_ = std::make_unique<TruePeak>(sampleRate, maxSamplesPerCall, kOversampling);
    truePeak_->initialize();
    truePeak_->reset();
    allocateFinite();
    initialized_ = true;
    return 0;
}

void VazEzaru::allocateFinite() {
    freeChannels(finite_, finiteChannels_);
    finiteChannels_ = channelCount_;
    finite_ = allocateChannels<float>(finiteChannels_, maxSamplesPerCall);
}

void VazEzaru::release() {
    freeChannels(finite_, finiteChannels_);
    finiteChannels_ = 0;
    if (loudness_) loudness_->terminate(); // stops the collector workers
    loudness_.reset();
    rms_.reset();
    if (truePeak_) truePeak_->terminate();
    truePeak_.reset();
}

int32_t VazEzaru::terminate() {
    release();
    terminated_ = true;
    return 0;
}

int32_t VazEzaru::setChannelsAndArrangement(int32_t inputs, int32_t outputs, int32_t aux, uint64_t arrangement) {
    if (inputs != outputs) return 1;
    if (inputs != channelCount_) {
        channelCount_ = inputs;
        reset();
        if (initialized_) allocateFinite();
    }
    if (loudness_) loudness_->setChannelsAndArrangement(inputs, outputs, aux, arrangement);
    if (rms_) rms_->setChannels(inputs, outputs, 0);
    if (truePeak_) truePeak_->setChannels(inputs, outputs, 0);
    return 0;
}

void VazEzaru::setValue(int32_t id, double value) {
    switch (id) {
    case kCommandReset:
        // Everything measured starts over.
        if (loudness_) loudness_->reset();
        if (truePeak_) truePeak_->reset();
        if (rms_) rms_->reset();
        break;
    case kCommandResetMaxima:
        if (loudness_) {
            loudness_->clearMomentaryMax();
            loudness_->clearShortTermMax();
        }
        break;
    case kCommandClearRmsHeld:
        if (rms_) rms_->clearHeld();
        break;
    case kCommandResetTruePeak:
        if (truePeak_) truePeak_->reset();
        break;
    case kValueLoudnessEnabled: loudnessEnabled_ = value >= 0.5; break;
    case kCommandOffline:
        offline_ = value >= 0.5;
        if (loudness_) loudness_->setOffline(offline_);
        break;
    case kCommandRmsScale: rmsScale_ = value >= 0.5 ? kRmsBoost : 1.0f; break;
    default: break;
    }
}

double VazEzaru::getValue(int32_t id) {
    if (id >= kValueRmsFirst && id <= kValueRmsLast)
        return rms_ ? std::sqrt(rms_->getChannelValue(id - kValueRmsFirst)) * rmsScale_ : 0.0;
    switch (id) {
    case kValueMomentary: return loudness_ ? loudness_->getMomentary() : 0.0;
    case kValueShortTerm: return loudness_ ? loudness_->getShortTerm() : 0.0;
    case kValueIntegrated: return loudness_ ? loudness_->getIntegrated() : 0.0;
    case kValueMomentaryMax: return loudness_ ? loudness_->getMomentaryMax() : 0.0;
    case kValueShortTermMax: return loudness_ ? loudness_->getShortTermMax() : 0.0;
    case kValueLoudnessRange: return loudness_ ? loudness_->getLoudnessRange() : 0.0;
    case kValueTruePeak: return truePeak_ ? truePeak_->getPeak() : 0.0;
    case kValueTruePeakChannel0: return truePeak_ ? truePeak_->getChannelPeak(0) : 0.0;
    case kValueLoudnessEnabled: return loudnessEnabled_ ? 1.0 : 0.0;
    case kValueRmsOverall: return rms_ ? std::sqrt(rms_->getMax()) * rmsScale_ : 0.0;
    case kValueBelowRelativeGate: return loudness_ && loudness_->isBelowRelativeGate() ? 1.0 : 0.0;
    case kValueRangeHigh: return loudness_ ? loudness_->getRangeHigh() : 0.0;
    case kValueRangeLow: return loudness_ ? loudness_->getRangeLow() : 0.0;
    default: return 0.0;
    }
}

float** VazEzaru::measurable(float** in, int32_t count) {
    const VectorOps& ops = vectorOps();
    int32_t first = 0;
    while (first < channelCount_ && ops.allFinite(in[first], count)) ++first;
    if (first == channelCount_ || !finite_) return in;
    const auto bytes = sizeof(float) * static_cast<size_t>(count);
    for (int32_t c = 0; c < channelCount_; ++c) {
        if (c < first) {
            std::memcpy(finite_[c], in[c], bytes);
            continue;
        }
        for (int32_t i = 0; i < count; ++i) finite_[c][i] = std::isfinite(in[c][i]) ? in[c][i] : 0.0f;
    }
    return finite_;
}

void VazEzaru::process(float** in, float** out, int32_t count) {
    if (count <= 0 || !in || !out) return; // a meter without input has nothing to pass or measure
    for (int32_t c = 0; c < channelCount_; ++c)
        if (out[c] != in[c]) std::memcpy(out[c], in[c], sizeof(float) * static_cast<size_t>(count));
    float** measured = measurable(in, count);
    if (looksSilent(measured, channelCount_, count, silenceThreshold_)) return; // nothing measured, no window advances
    truePeak_->measure(measured, count);
    rms_->measure(measured, count);
    if (loudnessEnabled_) loudness_->analyze(measured, count);
}

void VazEzaru::processSilence(int32_t count) {
    if (rms_) rms_->processSilence(count);
}

} // namespace DSP
