#pragma once
// One power-of-two delay line per channel, all set alike: the processor's
// latency-compensated dry path.

#include <memory>
#include <vector>

#include "dsp/Delay.h"

namespace DSP {

class DelayMultiCh : public Algo<double> {
public:
    static constexpr float kInitialDelayMs = 2.0f;

    DelayMultiCh(double sampleRate, uint32_t maxSamplesPerCall, float maxDelayMs);
    ~DelayMultiCh() override = default;

    void setActive(bool state) override;
    // A new value re-creates the channel delays with the current delay in ms.
    void setMaxSamplesPerCall(uint32_t samples) override;
    int32_t setSampleRate(double rate) override;
    int32_t setChannels(int32_t inputs, int32_t outputs, int32_t aux) override;
    void process(float** in, float** out, int32_t count) override;
    void reset() override;

    virtual void setDelayMs(float ms);
    virtual void setDelaySamples(int32_t samples);
    virtual void setCapacity(int32_t samples);

    int32_t channelCount() const { return channelCount_; }
    DelayPow2* channel(int32_t c) const { return delays_[static_cast<size_t>(c)].get(); }
    int32_t delaySamples() const { return delaySamples_; }

private:
    void createChannels(int32_t channels);

    int32_t channelCount_ = 1;
    int32_t delaySamples_ = -1; // not set yet
    float delayMs_ = kInitialDelayMs;
    float maxDelayMs_;
    std::vector<std::unique_ptr<DelayPow2>> delays_;
};

} // namespace DSP
