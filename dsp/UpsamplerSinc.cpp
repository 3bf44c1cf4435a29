#include "dsp/UpsamplerSinc.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/AlignedBuffer.h"
#include "dsp/VectorOps.h"

namespace DSP {

UpsamplerSinc::UpsamplerSinc(double rate, uint32_t maxSamples, float oversampling) : oversampling_(oversampling) {
    sampleRate = rate;
    maxSamplesPerCall = maxSamples;
}

UpsamplerSinc::~UpsamplerSinc() { terminate(); }

int32_t UpsamplerSinc::initialize() {
    const float L = oversampling_;
    kernelLength_ = static_cast<int32_t>(L * 20.0f) + 1;
    kernelCenter_ = static_cast<int32_t>(static_cast<float>(kernelLength_ - 1) * 0.5f);
    const int32_t T = kernelLength_, c = kernelCenter_;

    freeAligned(kernel_);
    kernel_ = allocateAligned<float>(static_cast<size_t>(T));
    kernel_[c] = 1.0f;
    double x = 0.0;
    const double step = static_cast<double>(1.0f / L);
    for (int32_t k = c + 1; k < T; ++k) {
        x += step;
        const double a = 3.14159265358 * x;
        kernel_[k] = kernel_[2 * c - k] = static_cast<float>(std::sin(a) / a);
    }
    // Blackman window over the taps.
    const float wStep = static_cast<float>(6.28318530716 / (T - 1));
    for (int32_t n = 0; n < T; ++n) {
        const float first = 0.08f * std::cos(2.0f * wStep * static_cast<float>(n));
        const float second = 0.42f - 0.5f * std::cos(wStep * static_cast<float>(n));
        kernel_[n] *= static_cast<float>(static_cast<double>(first) + static_cast<double>(second));
    }

    const int32_t maxOut = static_cast<int32_t>(static_cast<float>(maxSamplesPerCall) * L);
    fir_ = std::make_unique<Fir>(static_cast<float>(L * sampleRate), maxOut, T, kernel_);
    freeAligned(block_);
    block_ = allocateAligned<float>(static_cast<size_t>(maxOut));

    freeAligned(phases_);
    freeAligned(line_);
    if (L == 4.0f) {
        phaseLength_ = (T + 3) / 4;
        phases_ = allocateAligned<float>(static_cast<size_t>(4 * phaseLength_));
        for (int32_t j = 0; j < phaseLength_; ++j)
            for (int32_t p = 0; p < 4; ++p) phases_[4 * j + p] = p + 4 * j < T ? kernel_[p + 4 * j] : 0.0f;
        line_ = allocateAligned<float>(static_cast<size_t>(phaseLength_ - 1) + maxSamplesPerCall);
        double gain = 0.0;
        for (int32_t p = 0; p < 4; ++p) {
            double sum = 0.0;
            for (int32_t j = 0; j < phaseLength_; ++j) sum += std::fabs(static_cast<double>(phases_[4 * j + p]));
            gain = std::max(gain, sum);
        }
        // A float sum of 21 products errs by far less than 1e-4 of the sum of their magnitudes.
        phaseGain_ = static_cast<float>(gain * (1.0 + 1e-4));
    }
    initialized_ = true;
    return 0;
}

int32_t UpsamplerSinc::terminate() {
    freeAligned(kernel_);
    fir_.reset();
    freeAligned(block_);
    freeAligned(phases_);
    freeAligned(line_);
    terminated_ = true;
    return 0;
}

void UpsamplerSinc::reset() {
    writePosition_ = 0;
    if (fir_) fir_->reset();
    if (line_) std::memset(line_, 0, sizeof(float) * static_cast<size_t>(phaseLength_ - 1));
}

void UpsamplerSinc::setActive(bool state) {
    active = state;
    if (!state) reset();
}

void UpsamplerSinc::feedLine(const float* in, int32_t count) {
    std::memcpy(line_ + (phaseLength_ - 1), in, sizeof(float) * static_cast<size_t>(count));
}

void UpsamplerSinc::advanceLine(int32_t count) {
    std::memmove(line_, line_ + count, sizeof(float) * static_cast<size_t>(phaseLength_ - 1));
}

void UpsamplerSinc::upsampleTo(const float* in, float* out, int32_t count) {
    if (count <= 0) return;
    if (usesPhases()) {
        feedLine(in, count);
        vectorOps().interpolate4(phases_, phaseLength_, line_, out, count);
        advanceLine(count);
        return;
    }
    const int32_t outCount = outputLength(count);
    std::memset(out, 0, sizeof(float) * static_cast<size_t>(outCount));
    int32_t p = writePosition_;
    for (int32_t i = 0; i < count; ++i) {
        out[p] = in[i];
        p = static_cast<int32_t>(static_cast<float>(p) + oversampling_);
    }
    writePosition_ = p - outCount;
    fir_->filter(out, out, outCount);
}

float* UpsamplerSinc::upsample(const float* in, int32_t count) {
    upsampleTo(in, block_, count);
    return block_;
}

float UpsamplerSinc::upsamplePeak(const float* in, int32_t count, float floor) {
    if (count <= 0) return 0.0f;
    if (usesPhases()) {
        constexpr int32_t kRun = 32;
        const VectorOps& ops = vectorOps();
        const int32_t history = phaseLength_ - 1;
        feedLine(in, count);
        float peak = 0.0f;
        int32_t from = 0; // the first input of the run still to interpolate
        // Outputs s .. s + n - 1 depend on line_[s .. s + history + n - 1]: the
        // run's own inputs and the tail of the run before (or the old line).
        float before = ops.peak(line_, history);
        for (int32_t s = 0; s < count; s += kRun) {
            const int32_t n = std::min(kRun, count - s);
            const float own = ops.peak(line_ + history + s, n);
            const bool quiet = std::max(before, own) * phaseGain_ <= floor;
            before = own;
            if (!quiet) continue;
            if (s > from) peak = std::max(peak, ops.interpolate4Peak(phases_, phaseLength_, line_ + from, s - from));
            from = s + n;
        }
        if (count > from) peak = std::max(peak, ops.interpolate4Peak(phases_, phaseLength_, line_ + from, count - from));
        advanceLine(count);
        return peak;
    }
    return vectorOps().peak(upsample(in, count), outputLength(count));
}

bool UpsamplerSinc::remembersSignal() const {
    if (usesPhases()) {
        for (int32_t k = 0; k < phaseLength_ - 1; ++k)
            if (line_[k] != 0.0f) return true;
        return false;
    }
    return fir_ && !fir_->lineIsSilent();
}

} // namespace DSP
