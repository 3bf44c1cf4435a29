#pragma once
// The accessor that also measures: per-channel and overall input and output
// peaks around every processing call, for the level meters.

#include "dsp/AlgoAccessor.h"

namespace DSP {

class AlgoAccessorVu : public AlgoAccessor {
public:
    static constexpr int32_t kMaxChannels = 14;

    using AlgoAccessor::AlgoAccessor;

    // Peaks around the algorithm, then the output-silence test.
    void processRoutine(float** in, float** out, int32_t count) override;
    void processWithAuxRoutine(float** in, float** out, float** aux, int32_t count) override;

    virtual void clearInputPeak() { inputPeak_ = 0.0f; }
    virtual void clearOutputPeak() { outputPeak_ = 0.0f; }
    // Peaks only grow: each channel's and the overall peak become the larger of
    // themselves and the block's largest magnitude. At most kMaxChannels.
    virtual void measurePeaks(float** buffers, float* peaks, float& overallPeak, int32_t channelCount,
                              int32_t count);
    virtual void reserved40() {}

    float inputPeak() const { return inputPeak_; }
    float outputPeak() const { return outputPeak_; }
    float inputChannelPeak(int32_t channel) const { return inputPeaks_[channel]; }
    float outputChannelPeak(int32_t channel) const { return outputPeaks_[channel]; }

protected:
    float inputPeak_ = 0.0f;
    float outputPeak_ = 0.0f;
    float inputPeaks_[kMaxChannels] = {};
    float outputPeaks_[kMaxChannels] = {};
};

} // namespace DSP
