#pragma once
// The loudness analysis: frequency weighting of every channel, squaring, and
// the two window collectors that yield momentary, short-term and integrated
// loudness, their maxima and the loudness range.

#include <memory>

#include "dsp/Algo.h"
#include "dsp/Biquad.h"
#include "dsp/CollectorIntegrated.h"
#include "dsp/CollectorLoudnessRange.h"

namespace DSP {

class Loudness : public Algo<double> {
public:
    static constexpr float kFloor = -80.0f;
    static constexpr float kSurroundWeight = 1.41f;

    // Nothing is allocated before initialize.
    Loudness(double sampleRate, uint32_t maxSamplesPerCall, bool useWorkerThreads);
    ~Loudness() override;

    int32_t initialize() override;
    int32_t terminate() override;
    // Weights: LFE channels 0, surround channels 1.41; a new channel count rebuilds everything.
    int32_t setChannelsAndArrangement(int32_t inputs, int32_t outputs, int32_t aux, uint64_t arrangement) override;
    int32_t setChannels(int32_t, int32_t, int32_t) override { return 0; }
    void reset() override;

    // [audio thread] count <= maxSamplesPerCall samples of every channel.
    void analyze(float** in, int32_t count);
    // [audio thread] Offline: the collectors evaluate every window as it
    // arrives (nothing dropped, the readings exact at every block); realtime:
    // their workers take the windows and the audio thread never waits.
    void setOffline(bool offline);

    float getMomentary() const { return momentary_; }
    float getShortTerm() const { return shortTerm_; }
    float getIntegrated() const { return integrated_; }
    float getMomentaryMax() const { return momentaryMax_; }
    float getShortTermMax() const { return shortTermMax_; }
    float getLoudnessRange() const { return loudnessRange_; }
    float getRangeHigh() const { return range_ ? range_->rangeHigh() : 0.0f; }
    float getRangeLow() const { return range_ ? range_->rangeLow() : 0.0f; }
    bool isBelowRelativeGate() const { return integratedCollector_ && integratedCollector_->isBelowRelativeGate(); }
    void clearMomentaryMax() { momentaryMax_ = kFloor; }
    void clearShortTermMax() { shortTermMax_ = kFloor; }

    int32_t channelCount() const { return channelCount_; }
    const float* weights() const { return weights_; }
    CollectorIntegrated* integratedCollector() const { return integratedCollector_.get(); }
    CollectorLoudnessRange* rangeCollector() const { return range_.get(); }
    // A channel's frequency-weighting state: stage 0 the shelf, 1 the high pass.
    const BiquadState& filterState(int32_t channel, int32_t stage) const {
        return stage == 0 ? shelfStates_[channel] : highPassStates_[channel];
    }
    const BiquadCoefficients& shelf() const { return shelf_; }
    const BiquadCoefficients& highPass() const { return highPass_; }

private:
    void build();
    void release();
    void applyArrangementWeights(uint64_t arrangement);
    void copyWeightsToCollectors();

    bool initialized_ = false;
    bool terminated_ = false;
    bool useWorkerThreads_;
    bool offline_ = false;
    int32_t channelCount_ = 1;
    float momentary_ = kFloor;
    float shortTerm_ = kFloor;
    float integrated_ = kFloor;
    float momentaryMax_ = kFloor;
    float shortTermMax_ = kFloor;
    float loudnessRange_ = 0.0f;
    float* weights_ = nullptr;
    float** scratch_ = nullptr;
    float** steps_ = nullptr; // the part of scratch_ the collectors take now
    BiquadCoefficients shelf_{};
    BiquadCoefficients highPass_{};
    BiquadState* shelfStates_ = nullptr;
    BiquadState* highPassStates_ = nullptr;
    std::unique_ptr<CollectorLoudnessRange> range_;
    std::unique_ptr<CollectorIntegrated> integratedCollector_;
};

} // namespace DSP
