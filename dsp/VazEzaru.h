#pragma once
// The meter the processor drives: passes the audio through unchanged, skips
// digitally silent blocks, and measures true peak, RMS and loudness, each
// reading and command under its value id. NaN and infinite samples are
// measured as silence: nothing upstream can poison a filter or stick a peak.

#include <memory>

#include "dsp/Algo.h"
#include "dsp/Loudness.h"
#include "dsp/Rms.h"
#include "dsp/TruePeak.h"

namespace DSP {

class VazEzaru : public Algo<double> {
public:
    static constexpr float kRmsBoost = 1.4125f; // +3.0 dB
    static constexpr double kRmsAveragingMs = 900.0;
    static constexpr float kOversampling = 4.0f;

    // Creates nothing before initialize.
    VazEzaru(double sampleRate, uint32_t maxSamplesPerCall, bool useWorkerThreads);
    ~VazEzaru() override;

    void setValue(int32_t id, double value) override;
    double getValue(int32_t id) override;
    int32_t setChannels(int32_t, int32_t, int32_t) override { return 0; }
    int32_t setChannelsAndArrangement(int32_t inputs, int32_t outputs, int32_t aux, uint64_t arrangement) override;
    void process(float** in, float** out, int32_t count) override;
    void processSilence(int32_t count) override;
    int32_t initialize() override;
    int32_t terminate() override;
    // The measurement restarts through value id 4, not here.
    void reset() override {}

    Loudness* loudness() const { return loudness_.get(); }
    Rms* rms() const { return rms_.get(); }
    TruePeak* truePeak() const { return truePeak_.get(); }
    int32_t channelCount() const { return channelCount_; }

private:
    void release();
    void allocateFinite();
    // in, or the finite copy of it (non-finite samples as 0) when it needs one.
    float** measurable(float** in, int32_t count);

    bool useWorkerThreads_;
    int32_t channelCount_ = 1;
    float rmsScale_ = 1.0f;
    float silenceThreshold_ = 1e-6f;
    std::unique_ptr<Loudness> loudness_;
    std::unique_ptr<Rms> rms_;
    std::unique_ptr<TruePeak> truePeak_;
    float** finite_ = nullptr; // channelCount_ x maxSamplesPerCall
    int32_t finiteChannels_ = 0;
    bool initialized_ = false;
    bool terminated_ = false;
    bool loudnessEnabled_ = false;
    bool offline_ = false;
};

} // namespace DSP
