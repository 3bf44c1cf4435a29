#pragma once
// Raises one channel's sample rate by the factor L: zero-stuffing followed by
// a Blackman-windowed sinc interpolator of 20 L + 1 taps. For L = 4 the
// stuffed zeros are skipped (four-phase interpolation); the results are the
// same, bit for bit.

#include <cmath>
#include <memory>

#include "dsp/Algo.h"
#include "dsp/Fir.h"

namespace DSP {

class UpsamplerSinc : public Algo<double> {
public:
    UpsamplerSinc(double sampleRate, uint32_t maxSamplesPerCall, float oversampling);
    ~UpsamplerSinc() override;

    // false also resets.
    void setActive(bool state) override;
    // A mono object: 0 only for one input and one output.
    int32_t setChannels(int32_t inputs, int32_t outputs, int32_t) override {
        return inputs == 1 && outputs == 1 ? 0 : 1;
    }
    void process(float** in, float** out, int32_t count) override { upsampleTo(in[0], out[0], count); }
    int32_t initialize() override;
    int32_t terminate() override;
    void reset() override;

    // [audio thread] trunc(count * L) samples into the object's own block, which is returned.
    virtual float* upsample(const float* in, int32_t count);
    // The same into the caller's block of trunc(count * L) samples.
    virtual void upsampleTo(const float* in, float* out, int32_t count);
    // The largest magnitude of the upsampled block, without storing it. A
    // peak meter only needs the values above the peak it already holds: runs
    // of 32 inputs whose outputs cannot exceed `floor` (their inputs' peak
    // times the kernel's largest phase gain stays at or below it) are not
    // interpolated, and a value at or below `floor` stands for them.
    float upsamplePeak(const float* in, int32_t count, float floor = 0.0f);

    int32_t kernelLength() const { return kernelLength_; }
    // True when an earlier input that is not zero can still reach an output.
    bool remembersSignal() const;
    // Earlier input samples an output value can depend on (20 for 81 taps at 4x).
    int32_t historyLength() const {
        return static_cast<int32_t>(std::ceil(static_cast<float>(kernelLength_ - 1) / oversampling_));
    }
    int32_t kernelCenter() const { return kernelCenter_; }
    const float* kernel() const { return kernel_; }
    float oversampling() const { return oversampling_; }
    int32_t outputLength(int32_t count) const { return static_cast<int32_t>(static_cast<float>(count) * oversampling_); }

private:
    bool usesPhases() const { return phases_ != nullptr && writePosition_ == 0; }
    // The four-phase input line: the last phaseLength - 1 inputs, then the new block.
    void feedLine(const float* in, int32_t count);
    void advanceLine(int32_t count);

    float oversampling_;
    bool initialized_ = false;
    bool terminated_ = false;
    int32_t writePosition_ = 0;
    int32_t kernelCenter_ = 0;
    int32_t kernelLength_ = 0;
    float* kernel_ = nullptr;
    float* block_ = nullptr;
    std::unique_ptr<Fir> fir_;
    // Four-phase form of the kernel (L = 4 only): phases[4 j + p] = h[p + 4 j].
    float* phases_ = nullptr;
    int32_t phaseLength_ = 0;
    float* line_ = nullptr;
    // The largest sum of |h| over one phase, rounded up: no output exceeds it
    // times the largest input magnitude it depends on, rounding included.
    float phaseGain_ = 0.0f;
};

} // namespace DSP
