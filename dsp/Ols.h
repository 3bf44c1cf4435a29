#pragma once
// Overlap-save framing: per channel the last M samples (history) followed by
// the H new samples of each block form a frame of M + H samples for
// processFrame.

#include "dsp/SampleCollector.h"

namespace DSP {

class Ols : public SampleCollector {
public:
    // blockSize = hop H = frameLength - historyLength.
    Ols(float sampleRate, int32_t channelCount, uint32_t maxSamplesPerCall, int32_t frameLength,
        int32_t historyLength);
    ~Ols() override;

    void setActive(bool state) override;
    int32_t initialize() override;
    int32_t terminate() override;
    void reset() override;
    void freeBuffers() override;
    void allocateBuffers() override;
    // The input/output frame step; needs H >= M.
    void processBlock(float** blockIn, float** blockOut, int32_t blockSize) override;

    virtual void setFrameBypass(uint32_t flag) { frameBypass = flag; }
    // frame: per-channel buffers of M + H samples, oldest first; length: the
    // samples that hold stream data (less than M + H while warming up).
    // May overwrite the buffers; must copy what it keeps.
    virtual void processFrame(float** frame, int32_t length) = 0;

    int32_t historyLength() const { return history; }
    int32_t hopLength() const { return hop; }
    // The last M samples of the stream, oldest first.
    virtual const float* historyOf(int32_t channel) const { return historyBuffers[channel]; }

protected:
    // Zeroes history and frame buffers as well as the blocks.
    void clearAll();
    // False when a subclass keeps the stream in buffers of its own.
    virtual bool frameBuffersNeeded() const { return true; }

    bool olsInitialized = false;
    bool olsTerminated = false;
    int32_t history;
    int32_t hop;
    uint32_t frameBypass = 0;
    float** historyBuffers = nullptr;
    float** frameBuffers = nullptr;

private:
    void allocateFrames();
    void releaseFrames();
};

} // namespace DSP
