#include "dsp/TruePeak.h"

#include <algorithm>
#include <limits>

#include "dsp/AlignedBuffer.h"

namespace DSP {

TruePeak::TruePeak(double rate, uint32_t maxSamples, float oversampling) : oversampling_(oversampling) {
    sampleRate = rate;
    maxSamplesPerCall = maxSamples;
}

TruePeak::~TruePeak() { releaseChannels(); }

void TruePeak::releaseChannels() {
    for (auto& upsampler : upsamplers_)
        if (upsampler) upsampler->terminate();
    upsamplers_.clear();
    freeAligned(channelPeaks_);
    freePointerArray(measuredFrom_);
}

int32_t TruePeak::setChannels(int32_t inputs, int32_t outputs, int32_t) {
    if (inputs != outputs || inputs < 1) return 1;
    if (inputs == channelCount_ && !upsamplers_.empty() && channelPeaks_) return 0;
    releaseChannels();
    channelCount_ = inputs;
    for (int32_t c = 0; c < channelCount_; ++c) {
        auto upsampler = std::make_unique<UpsamplerSinc>(sampleRate, maxSamplesPerCall, oversampling_);
        upsampler->initialize();
        upsampler->reset();
        upsamplers_.push_back(std::move(upsampler));
    }
    channelPeaks_ = allocateAligned<float>(static_cast<size_t>(channelCount_));
    std::fill(channelPeaks_, channelPeaks_ + channelCount_, kFloor);
    measuredFrom_ = allocatePointerArray<float>(channelCount_);
    passOver_ = 0;
    return 0;
}

int32_t TruePeak::initialize() {
    setChannels(channelCount_, channelCount_, 0);
    initialized_ = true;
    return 0;
}

int32_t TruePeak::terminate() {
    releaseChannels();
    terminated_ = true;
    return 0;
}

void TruePeak::reset() {
    overallPeak_ = kFloor;
    if (channelPeaks_) std::fill(channelPeaks_, channelPeaks_ + channelCount_, kFloor);
    // Only when something from before could still ring into the next values:
    // a reset in silence (stopped, then reset, then play) skips nothing.
    passOver_ = 0;
    for (const auto& upsampler : upsamplers_)
        if (upsampler->remembersSignal()) passOver_ = upsampler->historyLength();
}

void TruePeak::measure(float** in, int32_t count) {
    if (count <= 0 || !channelPeaks_) return;
    if (passOver_ > 0) {
        // Interpolated, so the lines move on, but not counted.
        const int32_t n = std::min(passOver_, count);
        for (int32_t c = 0; c < channelCount_; ++c)
            upsamplers_[static_cast<size_t>(c)]->upsamplePeak(in[c], n, std::numeric_limits<float>::max());
        passOver_ -= n;
        if (n == count) return;
        for (int32_t c = 0; c < channelCount_; ++c) measuredFrom_[c] = in[c] + n;
        measureAll(measuredFrom_, count - n);
        return;
    }
    measureAll(in, count);
}

void TruePeak::measureAll(float** in, int32_t count) {
    for (int32_t c = 0; c < channelCount_; ++c) {
        const float peak = upsamplers_[static_cast<size_t>(c)]->upsamplePeak(in[c], count, channelPeaks_[c]);
        channelPeaks_[c] = std::max(peak, channelPeaks_[c]);
        overallPeak_ = std::max(channelPeaks_[c], overallPeak_);
    }
}

} // namespace DSP
