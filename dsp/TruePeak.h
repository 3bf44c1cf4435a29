#pragma once
// The true-peak meter: per channel the largest magnitude of the signal
// oversampled by 4, and the largest over all channels, since the last reset.
// Linear amplitudes; 1e-6 (-120 dB) when nothing was measured.

#include <memory>
#include <vector>

#include "dsp/Algo.h"
#include "dsp/UpsamplerSinc.h"

namespace DSP {

class TruePeak : public Algo<double> {
public:
    static constexpr float kFloor = 1e-6f;

    TruePeak(double sampleRate, uint32_t maxSamplesPerCall, float oversampling);
    ~TruePeak() override;

    // A new channel count rebuilds the upsamplers and the channel peaks (not the overall peak).
    int32_t setChannels(int32_t inputs, int32_t outputs, int32_t aux) override;
    int32_t initialize() override;
    int32_t terminate() override;
    // The readings start over. The interpolators keep the running signal
    // (clearing them would turn it into a step from silence, whose ringing
    // reads as a false over), and while their lines still hold signal from
    // before the reset, the oversampled values that depend on it are passed
    // over (20 input samples at 4x): nothing from before (a full-scale
    // passage, an infinity) rings into the peaks after it.
    void reset() override;

    // [audio thread] One block of every channel, count <= maxSamplesPerCall.
    void measure(float** in, int32_t count);
    float getPeak() const { return overallPeak_; }
    float getChannelPeak(int32_t channel) const {
        return channel >= 0 && channel < channelCount_ && channelPeaks_ ? channelPeaks_[channel] : kFloor;
    }
    int32_t channelCount() const { return channelCount_; }
    UpsamplerSinc* upsampler(int32_t channel) const { return upsamplers_[static_cast<size_t>(channel)].get(); }

private:
    void releaseChannels();
    void measureAll(float** in, int32_t count);

    bool initialized_ = false;
    bool terminated_ = false;
    int32_t channelCount_ = 1;
    float overallPeak_ = kFloor;
    float oversampling_;
    float* channelPeaks_ = nullptr;
    float** measuredFrom_ = nullptr; // per channel: where the counted part of a block starts
    int32_t passOver_ = 0;     // input samples whose oversampled values the peaks skip
    std::vector<std::unique_ptr<UpsamplerSinc>> upsamplers_;
};

} // namespace DSP
