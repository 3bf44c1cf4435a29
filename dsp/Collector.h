#pragma once
// Turns one window of squared, filtered samples into the channel-weighted
// mean square z and the block loudness 10 log10(z) - 0.691.

#include "dsp/Algo.h"

namespace DSP {

class Collector : public Algo<double> {
public:
    // The window length N travels in the base's maxSamplesPerCall.
    Collector(int32_t windowLength, int32_t channelCount);
    ~Collector() override;

    int32_t setChannels(int32_t, int32_t, int32_t) override { return 0; }
    int32_t initialize() override;
    int32_t terminate() override;
    void reset() override;

    // Sums a full window (length >= N) into meanSquare; shorter warm-up frames
    // are not summed and leave meanSquare as it was.
    void sumWindow(float** frame, int32_t length);

    float meanSquare() const { return meanSquare_; }
    float channelSum(int32_t channel) const { return channelSums_[channel]; }
    int32_t channels() const { return channelCount_; }
    // Copies count weights (at most the channel count); false when they do not fit.
    bool setWeights(const float* weights, int32_t count);
    const float* weights() const { return weights_; }

private:
    bool initialized_ = false;
    bool terminated_ = false;
    int32_t channelCount_;
    float meanSquare_ = 0.0f;
    float* channelSums_ = nullptr;
    float* weights_ = nullptr;
};

// The block loudness of a mean square, in single precision throughout.
float blockLoudness(float meanSquare);

} // namespace DSP
