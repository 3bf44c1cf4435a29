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

    int32_t initialize() override;
    int32_t terminate() override;
    // Back to warm-up, buffers cleared.
    void reset() override;
    // false clears the buffers; the warm-up state stays.
    void setActive(bool state) override;
    void freeBuffers() override;
    void allocateBuffers() override;
    const float* historyOf(int32_t channel) const override;
    void processBlockInput(float** blockIn, int32_t blockSize) override;
    // With the sliding window the input goes straight to its place in it.
    void collectInput(float** in, int32_t count) override;
    // Frames only: the output buffers are never written.
    void processBlock(float** blockIn, float** blockOut, int32_t blockSize) override;
    // Always block collection; the latency is the whole frame.
    void applyMode(int32_t mode) override;

    int32_t validHistoryLength() const { return validHistory; }
    bool isWarmingUp() const { return frameHandler == &Overlap::warmUpFrame; }

protected:
    // A frame processor that only reads its frames says so. The stream then
    // stays in one buffer of several hops per channel and each frame is a
    // view into it: no frame is rebuilt and no history moved on every hop,
    // only the last M samples once every few hops.
    virtual bool readsFramesOnly() const { return false; }
    bool frameBuffersNeeded() const override { return !readsFramesOnly(); }

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
    // The same through the sliding window; blockIn null: the hop is in place already.
    void slideStep(float** blockIn, int32_t length);
    void allocateWindow();
    void releaseWindow();
    void clearWindow();

    // Hops the sliding window holds beyond one frame.
    static constexpr int32_t kSpareHops = 4;
    float** window_ = nullptr;   // per channel: windowCapacity_ samples
    float** views_ = nullptr;    // per channel: the current frame within window_
    int32_t windowCapacity_ = 0;
    int32_t windowEnd_ = 0;      // one past the newest sample
};

} // namespace DSP
