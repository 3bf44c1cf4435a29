#pragma once
// The analysis framing of the loudness collectors: every H new samples the
// window of the last M + H samples goes to processFrame, for any ratio of M to
// H, with a warm-up after reset while the history is not yet filled.

#include "dsp/Ols.h"

namespace DSP {

class Overlap : public Ols {
public:
    Overlap(float sampleRate, int32_t channelCount, uint32_t maxSamplesPerCall, int32_t frameLength,
            int32_t historyLength);

    // Back to warm-up, buffers cleared.
    void reset() override;
    void processBlockInput(float** blockIn, int32_t blockSize) override;
    // Frames only: the output buffers are never written.
    void processBlock(float** blockIn, float** blockOut, int32_t blockSize) override;
    // Always block collection; the latency is the whole frame.
    void applyMode(int32_t mode) override;

    int32_t validHistoryLength() const { return validHistory; }
    bool isWarmingUp() const { return frameHandler == &Overlap::warmUpFrame; }

protected:
    const int32_t keepCount;
    const int32_t appendCount;
    const int32_t appendOffset;
    int32_t validHistory = 0;
    void (Overlap::*frameHandler)(float**) = &Overlap::warmUpFrame;

private:
    void warmUpFrame(float** blockIn);
    void steadyFrame(float** blockIn);
    // Frame from history and block, processFrame, then history = last M samples.
    void frameStep(float** blockIn, int32_t length);
};

} // namespace DSP
