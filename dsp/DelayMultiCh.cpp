#include "dsp/DelayMultiCh.h"

namespace DSP {

DelayMultiCh::DelayMultiCh(double rate, uint32_t maxSamples, float maxDelayMs) : maxDelayMs_(maxDelayMs) {
    sampleRate = rate;
    maxSamplesPerCall = maxSamples;
    createChannels(1);
}

void DelayMultiCh::createChannels(int32_t channels) {
    delays_.clear();
    channelCount_ = channels;
    for (int32_t c = 0; c < channels; ++c) {
        auto delay = std::make_unique<DelayPow2>(sampleRate, maxSamplesPerCall, maxDelayMs_);
        delay->setDelayMs(delayMs_);
        delay->reset();
        delays_.push_back(std::move(delay));
    }
}

void DelayMultiCh::setActive(bool state) {
    active = state;
    for (auto& delay : delays_) delay->setActive(state);
}

void DelayMultiCh::reset() {
    for (auto& delay : delays_) delay->reset();
}

void DelayMultiCh::setMaxSamplesPerCall(uint32_t samples) {
    if (samples == maxSamplesPerCall) return;
    maxSamplesPerCall = samples;
    createChannels(channelCount_);
}

int32_t DelayMultiCh::setSampleRate(double rate) {
    sampleRate = rate;
    for (auto& delay : delays_) delay->setSampleRate(rate);
    return 1;
}

int32_t DelayMultiCh::setChannels(int32_t inputs, int32_t outputs, int32_t) {
    if (inputs != outputs || inputs < 1) return 1;
    if (inputs == channelCount_) return 0;
    createChannels(inputs);
    return 0;
}

void DelayMultiCh::process(float** in, float** out, int32_t count) {
    for (int32_t c = 0; c < channelCount_; ++c) delays_[static_cast<size_t>(c)]->processBlock(in[c], out[c], count);
}

void DelayMultiCh::setDelayMs(float ms) {
    delayMs_ = ms;
    for (auto& delay : delays_) delay->setDelayMs(ms);
}

void DelayMultiCh::setDelaySamples(int32_t samples) {
    if (samples == delaySamples_) return;
    delaySamples_ = samples;
    delayMs_ = samples == 0 ? 0.0f : static_cast<float>(samples * 1000.0 / sampleRate);
    for (auto& delay : delays_) delay->setDelaySamples(samples);
}

void DelayMultiCh::setCapacity(int32_t samples) {
    for (auto& delay : delays_) delay->setCapacity(samples);
    if (delays_.empty()) return;
    maxDelayMs_ = delays_[0]->maxDelayMs();
    delayMs_ = delays_[0]->delayMs();
    delaySamples_ = delays_[0]->delaySamples();
}

} // namespace DSP
