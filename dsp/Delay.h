#pragma once
// Ring-buffer delay lines for one channel: Delay with any capacity, DelayPow2
// with a power-of-two capacity (index wrap by mask). The processor's dry path
// of the bypass uses them, to stay aligned with the meter's latency.

#include "dsp/Algo.h"

namespace DSP {

class Delay : public Algo<double> {
public:
    static constexpr float kInitialDelayMs = 20.0f;

    Delay(double sampleRate, uint32_t maxSamplesPerCall, float maxDelayMs);
    ~Delay() override;

    int32_t setChannels(int32_t inputs, int32_t outputs, int32_t) override { return inputs == 1 && outputs == 1 ? 0 : 1; }
    // false also resets.
    void setActive(bool state) override;
    // Rebuilds the capacity for the new rate and applies the delay in ms again; returns 1.
    int32_t setSampleRate(double rate) override;
    // Empties the ring; the read index follows the delay.
    void reset() override;

    // Clamped to the maximum delay; applied when it differs by 1 us or more.
    virtual void setDelayMs(float ms);
    // Negative counts become 0; more than capacity - 1 becomes capacity - 1.
    virtual void setDelaySamples(int32_t samples);
    virtual void setCapacity(int32_t samples);
    virtual float processSample(float x);
    // in == out allowed.
    virtual void processBlock(const float* in, float* out, int32_t count);
    // True when nothing still waiting in the ring (every stride-th sample) is above 1e-6.
    virtual bool isSilent(int32_t stride);
    virtual void applyDelaySamples(int32_t samples);

    int32_t capacity() const { return capacity_; }
    int32_t delaySamples() const { return delaySamples_; }
    float delayMs() const { return delayMs_; }
    float maxDelayMs() const { return maxDelayMs_; }

protected:
    // For subclasses that size the ring themselves.
    struct NoRing {};
    Delay(double sampleRate, uint32_t maxSamplesPerCall, float maxDelayMs, NoRing);
    void reallocate(int32_t capacity);
    void advance(int32_t& index) const { index = index + 1 == capacity_ ? 0 : index + 1; }
    int32_t readIndexFor(int32_t delay) const;
    // After a new sample rate: the delay in milliseconds again, ring emptied.
    void reapplyDelayMs();
    // After a new ring: delay clamped to it, limits recomputed, ring emptied.
    void capacityChanged();

    float maxDelayMs_;
    float delayMs_ = -1.0f; // nothing applied yet
    float silenceThreshold_ = 1e-6f;
    float* buffer_ = nullptr;
    int32_t readIndex_ = 0;
    int32_t writeIndex_ = 0;
    int32_t capacity_ = 0;
    int32_t delaySamples_ = 0;
};

class DelayPow2 : public Delay {
public:
    DelayPow2(double sampleRate, uint32_t maxSamplesPerCall, float maxDelayMs);

    int32_t setSampleRate(double rate) override;
    // The smallest power of two above samples (2 below 2).
    void setCapacity(int32_t samples) override;
    float processSample(float x) override;
    // With no delay the ring is left alone and the input passes unchanged.
    void processBlock(const float* in, float* out, int32_t count) override;

    // The first power of two, counting up from 2, above samples.
    static int32_t powerOfTwoAbove(double samples);

private:
    void useCapacity(int32_t capacity);
    int32_t indexMask_ = 0;
};

} // namespace DSP
