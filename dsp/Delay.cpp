#include "dsp/Delay.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/AlignedBuffer.h"

namespace DSP {

namespace {
int32_t samplesFor(float ms, double rate) { return static_cast<int32_t>(static_cast<double>(0.001f * ms) * rate); }
} // namespace

Delay::Delay(double rate, uint32_t maxSamples, float maxDelayMs, NoRing) : maxDelayMs_(maxDelayMs) {
    sampleRate = rate;
    maxSamplesPerCall = maxSamples;
}

Delay::Delay(double rate, uint32_t maxSamples, float maxDelayMs) : Delay(rate, maxSamples, maxDelayMs, NoRing{}) {
    reallocate(std::max(samplesFor(maxDelayMs_, rate), 1));
    writeIndex_ = capacity_ - 1;
    setDelayMs(std::min(maxDelayMs_, kInitialDelayMs));
    reset();
}

Delay::~Delay() { freeAligned(buffer_); }

void Delay::reallocate(int32_t capacity) {
    freeAligned(buffer_);
    capacity_ = capacity;
    buffer_ = allocateAligned<float>(static_cast<size_t>(capacity_));
}

int32_t Delay::readIndexFor(int32_t delay) const {
    int32_t read = writeIndex_ - delay;
    return read < 0 ? read + capacity_ : read;
}

void Delay::setActive(bool state) {
    active = state;
    if (!state) reset();
}

void Delay::reset() {
    writeIndex_ = capacity_ - 1;
    readIndex_ = readIndexFor(delaySamples_);
    std::memset(buffer_, 0, sizeof(float) * static_cast<size_t>(capacity_));
}

void Delay::setDelayMs(float ms) {
    if (std::fabs(delayMs_ - ms) < 0.001f) return;
    const float clamped = std::max(0.0f, std::min(maxDelayMs_, ms)); // a negative delay would read past the ring
    const int32_t n = samplesFor(clamped, sampleRate);
    delaySamples_ = n;
    delayMs_ = static_cast<float>(n * 1000.0 / sampleRate);
    applyDelaySamples(n);
}

void Delay::setDelaySamples(int32_t samples) {
    if (samples == delaySamples_) return;
    const int32_t n = std::max(samples, 0);
    delayMs_ = static_cast<float>(n * 1000.0 / sampleRate);
    delaySamples_ = n;
    applyDelaySamples(n);
}

void Delay::applyDelaySamples(int32_t samples) {
    delaySamples_ = samples < capacity_ ? samples : capacity_ - 1;
    readIndex_ = readIndexFor(delaySamples_);
}

void Delay::reapplyDelayMs() {
    const float ms = delayMs_;
    delayMs_ = -1.0f; // so that the same milliseconds count as a change
    setDelayMs(ms);
    reset();
}

void Delay::capacityChanged() {
    applyDelaySamples(delaySamples_);
    delayMs_ = static_cast<float>(delaySamples_ * 1000.0 / sampleRate);
    maxDelayMs_ = static_cast<float>(capacity_ * 1000.0 / sampleRate);
    reset();
}

void Delay::setCapacity(int32_t samples) {
    if (samples == capacity_ || samples < 1) return;
    reallocate(samples);
    capacityChanged();
}

int32_t Delay::setSampleRate(double rate) {
    sampleRate = rate;
    const int32_t wanted = std::max(samplesFor(maxDelayMs_, rate), 1);
    if (wanted > capacity_) reallocate(wanted); // a plain ring only grows
    reapplyDelayMs();
    return 1;
}

float Delay::processSample(float x) {
    buffer_[writeIndex_] = x;
    const float y = buffer_[readIndex_];
    advance(writeIndex_);
    advance(readIndex_);
    return y;
}

void Delay::processBlock(const float* in, float* out, int32_t count) {
    for (int32_t i = 0; i < count; ++i) out[i] = processSample(in[i]);
}

bool Delay::isSilent(int32_t stride) {
    if (stride < 1) stride = 1;
    int32_t waiting = writeIndex_ - readIndex_;
    if (waiting < 0) waiting += capacity_;
    for (int32_t k = 0; k < waiting; k += stride) {
        int32_t index = readIndex_ + k;
        if (index >= capacity_) index -= capacity_;
        if (buffer_[index] > silenceThreshold_) return false;
    }
    return true;
}

int32_t DelayPow2::powerOfTwoAbove(double samples) {
    int32_t capacity = 2;
    while (static_cast<double>(capacity) <= samples && capacity < (1 << 30)) capacity <<= 1;
    return capacity;
}

DelayPow2::DelayPow2(double rate, uint32_t maxSamples, float maxDelayMs) : Delay(rate, maxSamples, maxDelayMs, NoRing{}) {
    useCapacity(powerOfTwoAbove(static_cast<double>(0.001f * maxDelayMs_) * rate));
    maxDelayMs_ = static_cast<float>(capacity_ * 1000.0 / rate);
    writeIndex_ = capacity_ - 1;
    setDelayMs(kInitialDelayMs);
    reset();
}

void DelayPow2::useCapacity(int32_t capacity) {
    reallocate(capacity);
    indexMask_ = capacity_ - 1;
}

void DelayPow2::setCapacity(int32_t samples) {
    const int32_t capacity = powerOfTwoAbove(samples);
    if (capacity == capacity_) return;
    useCapacity(capacity);
    capacityChanged();
}

int32_t DelayPow2::setSampleRate(double rate) {
    sampleRate = rate;
    const int32_t capacity = powerOfTwoAbove(static_cast<double>(0.001f * maxDelayMs_) * rate);
    if (capacity != capacity_) useCapacity(capacity);
    reapplyDelayMs();
    return 1;
}

float DelayPow2::processSample(float x) {
    buffer_[writeIndex_] = x;
    const float y = buffer_[readIndex_];
    writeIndex_ = (writeIndex_ + 1) & indexMask_;
    readIndex_ = (readIndex_ + 1) & indexMask_;
    return y;
}

void DelayPow2::processBlock(const float* in, float* out, int32_t count) {
    if (delaySamples_ == 0) {
        if (in != out) std::memcpy(out, in, sizeof(float) * static_cast<size_t>(count));
        return;
    }
    for (int32_t i = 0; i < count; ++i) out[i] = DelayPow2::processSample(in[i]);
}

} // namespace DSP
