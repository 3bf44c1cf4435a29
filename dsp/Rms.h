#pragma once
// Exponentially averaged mean square per channel (time constant given in ms)
// with held maxima: the meter publishes their square roots as RMS readings.

#include "dsp/Algo.h"
#include "dsp/VectorOps.h"

namespace DSP {

class Rms : public Algo<double> {
public:
    // Usable at once (one channel); the coefficient is fixed here.
    Rms(double sampleRate, uint32_t maxSamplesPerCall, double averagingMs);
    ~Rms() override;

    int32_t setChannels(int32_t inputs, int32_t outputs, int32_t aux) override;
    // Rectified average |x|, written to out (shares the state with measure).
    void process(float** in, float** out, int32_t count) override;
    // The first silent block after sound clears the states; later ones cost nothing.
    void processSilence(int32_t count) override;
    void reset() override;

    // [audio thread] The mean-square update (four samples a step, see VectorOps::meanSquare).
    void measure(float** in, int32_t count);
    float getChannelValue(int32_t channel) const {
        return channel >= 0 && channel < inputs_ ? state_[channel] : 0.0f;
    }
    float getMax() const { return overallMax_; }
    float getHeld(int32_t channel) const { return channel >= 0 && channel < inputs_ ? held_[channel] : 0.0f; }
    void clearHeld();
    float coefficient() const { return coefficient_; }
    int32_t channels() const { return inputs_; }

private:
    void allocate(int32_t channels);
    void release();

    bool silenceCleared_ = true;
    float overallMax_ = 0.0f;
    float coefficient_;
    float oneMinusCoefficient_;
    MeanSquareCoefficients steps_;
    float* state_ = nullptr;
    float* held_ = nullptr;
    float** outputs_ = nullptr;
    int32_t inputs_ = 1;
    int32_t outputsCount_ = 1;
};

} // namespace DSP
