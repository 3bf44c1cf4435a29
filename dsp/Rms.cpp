#include "dsp/Rms.h"

#include <cmath>
#include <cstring>

#include "dsp/AlignedBuffer.h"
#include "dsp/VectorOps.h"

namespace DSP {

namespace {
constexpr float kStateFloor = 1e-9f; // below this the average is taken as silence
}

Rms::Rms(double rate, uint32_t maxSamples, double averagingMs)
    : coefficient_(static_cast<float>(std::exp(-1000.0 / (averagingMs * rate)))),
      oneMinusCoefficient_(1.0f - coefficient_),
      steps_(MeanSquareCoefficients::of(coefficient_, oneMinusCoefficient_)) {
    sampleRate = rate;
    maxSamplesPerCall = maxSamples;
    allocate(1);
    reset();
}

Rms::~Rms() { release(); }

void Rms::allocate(int32_t channels) {
    release();
    inputs_ = outputsCount_ = channels;
    state_ = allocateAligned<float>(static_cast<size_t>(channels));
    held_ = allocateAligned<float>(static_cast<size_t>(channels));
    outputs_ = allocateChannels<float>(channels, maxSamplesPerCall);
}

void Rms::release() {
    freeAligned(state_);
    freeAligned(held_);
    freeChannels(outputs_, inputs_);
}

int32_t Rms::setChannels(int32_t inputs, int32_t outputs, int32_t) {
    if (inputs != outputs || inputs < 1) return 1;
    if (inputs == inputs_) return 0;
    allocate(inputs);
    reset();
    reset();
    return 0;
}

void Rms::reset() {
    for (int32_t c = 0; c < inputs_; ++c) {
        state_[c] = 0.0f;
        held_[c] = 0.0f;
        std::memset(outputs_[c], 0, sizeof(float) * maxSamplesPerCall);
    }
    overallMax_ = 0.0f;
}

void Rms::clearHeld() {
    overallMax_ = 0.0f;
    for (int32_t c = 0; c < inputs_; ++c) held_[c] = 0.0f;
}

void Rms::processSilence(int32_t) {
    if (silenceCleared_) return;
    for (int32_t c = 0; c < inputs_; ++c) {
        state_[c] = 0.0f;
        std::memset(outputs_[c], 0, sizeof(float) * maxSamplesPerCall);
    }
    silenceCleared_ = true;
}

void Rms::measure(float** in, int32_t count) {
    silenceCleared_ = false;
    if (count <= 0) return;
    vectorOps().meanSquare(in, outputs_, inputs_, count, steps_, state_, held_);
    for (int32_t c = 0; c < inputs_; ++c) {
        overallMax_ = held_[c] > overallMax_ ? held_[c] : overallMax_;
        if (state_[c] < kStateFloor) state_[c] = 0.0f;
    }
}

void Rms::process(float** in, float** out, int32_t count) {
    silenceCleared_ = false;
    const float a = coefficient_, b = oneMinusCoefficient_;
    for (int32_t c = 0; c < inputs_; ++c) {
        float s = state_[c];
        for (int32_t i = 0; i < count; ++i) {
            s = a * s + std::fabs(in[c][i]) * b;
            out[c][i] = s;
        }
        state_[c] = s < kStateFloor ? 0.0f : s;
    }
}

} // namespace DSP
