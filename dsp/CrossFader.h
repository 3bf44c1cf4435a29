#pragma once
// The bypass cross-fade: from the first signal to the second over fadeMs, on
// a power curve that passes -3 dB halfway and ends at 0.0001.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/AlignedBuffer.h"
#include "dsp/Algo.h"

namespace DSP {

// y(x) = y0 + (y1 - y0) ((x - x0) / (x1 - x0))^e through (x0, y0), (xm, ym), (x1, y1).
struct FadeCurve {
    float x0, y0, x1, y1, exponent;

    static FadeCurve through(float x0, float y0, float xm, float ym, float x1, float y1) {
        const float e = std::log((ym - y0) / (y1 - y0)) / std::log((xm - x0) / (x1 - x0));
        return FadeCurve{x0, y0, x1, y1, e};
    }
    float at(float x) const { return y0 + (y1 - y0) * std::pow((x - x0) / (x1 - x0), exponent); }
};

template <typename T>
class CrossFader : public Algo<double> {
public:
    static constexpr float kEndWeight = 0.0001f;

    CrossFader(double rate, uint32_t maxSamples, float fadeMs) : blockSize_(static_cast<int32_t>(maxSamples)), fadeMs_(fadeMs) {
        sampleRate = rate;
        maxSamplesPerCall = maxSamples;
        fadeRate_ = rate;
        computeLength();
    }
    ~CrossFader() override { release(); }

    int32_t initialize() override {
        buildTable();
        allocateBuffers();
        position_ = 0;
        fading_ = false;
        initialized_ = true;
        return 0;
    }
    int32_t terminate() override {
        release();
        terminated_ = true;
        return 0;
    }
    // Only the input count matters: the owner's second signal lives in these buffers.
    int32_t setChannels(int32_t inputs, int32_t, int32_t) override {
        if (inputs != channelCount_ && inputs > 0) {
            freeChannels(buffers_, channelCount_);
            channelCount_ = inputs;
            allocateBuffers();
        }
        return 0;
    }
    void setMaxSamplesPerCall(uint32_t samples) override {
        if (static_cast<int32_t>(samples) == blockSize_) return;
        freeChannels(buffers_, channelCount_);
        blockSize_ = static_cast<int32_t>(samples);
        maxSamplesPerCall = samples;
        allocateBuffers();
        buildTable();
        position_ = 0;
        fading_ = false;
    }
    void setActive(bool state) override {
        active = state;
        if (!state) reset();
    }
    void reset() override {
        for (int32_t c = 0; buffers_ && c < channelCount_; ++c)
            std::memset(buffers_[c], 0, sizeof(T) * static_cast<size_t>(blockSize_));
        position_ = 0;
    }
    // The crossfade entry: a fades out, b fades in; nothing is written while no fade runs.
    void processWithAux(float** a, float** b, float** out, int32_t count) override { crossfade(a, b, out, count); }

    void crossfade(T** a, T** b, T** out, int32_t count) {
        if (!fading_ || !table_) return;
        for (int32_t c = 0; c < channelCount_; ++c) {
            for (int32_t i = 0; i < count; ++i) {
                const float w = table_[position_ + i];
                out[c][i] = static_cast<T>(static_cast<double>(a[c][i] * w) +
                                           static_cast<double>(b[c][i]) * (1.0 - static_cast<double>(w)));
            }
        }
        position_ += count;
        if (position_ >= fadeLength_) {
            position_ = 0;
            fading_ = false;
        }
    }
    // A running fade simply continues.
    void startFade() { fading_ = true; }
    void setFadeRate(double rate) {
        if (rate == fadeRate_) return;
        fadeRate_ = rate;
        computeLength();
        buildTable();
        position_ = 0;
        fading_ = false;
    }

    bool isFading() const { return fading_; }
    int32_t fadeLength() const { return fadeLength_; }
    int32_t position() const { return position_; }
    float weightAt(int32_t i) const { return table_ && i >= 0 && i < tableLength_ ? table_[i] : 0.0f; }
    T** channelBuffers() const { return buffers_; }
    int32_t channelCount() const { return channelCount_; }

private:
    void computeLength() {
        fadeLength_ = static_cast<int32_t>(static_cast<double>(0.001f * fadeMs_) * fadeRate_);
        const float L = static_cast<float>(fadeLength_);
        curve_ = FadeCurve::through(0.0f, 1.0f, L / 2.0f, static_cast<float>(std::pow(10.0, -0.15)), L, kEndWeight);
    }
    void buildTable() {
        freeAligned(table_);
        tableLength_ = std::max(fadeLength_ + blockSize_, 2 * blockSize_);
        table_ = allocateAligned<float>(static_cast<size_t>(tableLength_));
        for (int32_t i = 0; i < fadeLength_; ++i) table_[i] = curve_.at(static_cast<float>(i));
    }
    void allocateBuffers() {
        freeChannels(buffers_, channelCount_);
        buffers_ = allocateChannels<T>(channelCount_, static_cast<size_t>(blockSize_));
    }
    void release() {
        freeAligned(table_);
        freeChannels(buffers_, channelCount_);
    }

    bool initialized_ = false;
    bool terminated_ = false;
    bool fading_ = false;
    int32_t fadeLength_ = 0;
    int32_t position_ = 0;
    int32_t channelCount_ = 1;
    int32_t blockSize_;
    int32_t tableLength_ = 0;
    float fadeMs_;
    float* table_ = nullptr;
    T** buffers_ = nullptr;
    FadeCurve curve_{};
    double fadeRate_;
};

} // namespace DSP
