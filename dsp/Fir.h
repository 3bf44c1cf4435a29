#pragma once
// A plain FIR filter with its delay line carried across calls; filters in
// place. The general path of the upsampler and the reference its fast path
// is checked against.

#include "dsp/Algo.h"

namespace DSP {

class Fir : public Algo<double> {
public:
    // taps may be null: the filter then has no kernel and passes nothing.
    Fir(float sampleRate, int32_t maxLength, int32_t tapCount, const float* taps);
    ~Fir() override;

    int32_t setChannels(int32_t inputs, int32_t outputs, int32_t) override { return inputs == 1 && outputs == 1 ? 0 : 1; }
    // Always clears the delay line.
    void setActive(bool state) override;
    int32_t getLatency() override { return static_cast<int32_t>(tapCount_ * 0.5 + 1.0); }
    void reset() override;

    // [audio thread] count <= maxLength; in == out allowed.
    void filter(const float* in, float* out, int32_t count);

    int32_t tapCount() const { return tapCount_; }
    // The delay line holds no earlier input but zeros.
    bool lineIsSilent() const;
    const float* taps() const { return taps_; }

private:
    int32_t maxLength_;
    int32_t tapCount_;
    float* taps_ = nullptr;
    float* line_ = nullptr; // tapCount - 1 earlier inputs, then the current block
    float* scratch_ = nullptr;
};

} // namespace DSP
