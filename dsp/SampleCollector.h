#pragma once
// Turns host blocks of any length into blocks of exactly blockSize samples per
// channel and hands each complete block to an overridable operation. On the
// input/output path the output is the processed input, one block later.

#include "dsp/Algo.h"

namespace DSP {

class SampleCollector : public Algo<double> {
public:
    enum CollectMode : int32_t { kCollectBlocks = 0, kDirect = 1 };

    // Stores the values; nothing is allocated before initialize.
    SampleCollector(float sampleRate, int32_t channelCount, uint32_t maxSamplesPerCall, int32_t blockSize,
                    int32_t collectMode);
    ~SampleCollector() override;

    // false also clears the buffers and the fill count, like reset.
    void setActive(bool state) override;
    // 1 when inputs != outputs; a new count rebuilds the buffers.
    int32_t setChannels(int32_t inputs, int32_t outputs, int32_t aux) override;
    void process(float** in, float** out, int32_t count) override;
    int32_t getLatency() override { return static_cast<int32_t>(latency); }
    int32_t initialize() override;
    int32_t terminate() override;
    void reset() override;

    virtual void setMode(int32_t mode) { applyMode(mode); }
    // [audio thread] The analysis-only path.
    virtual void processInput(float** in, int32_t count);
    virtual void freeBuffers();
    virtual void allocateBuffers();
    virtual void freeBlockBuffers();
    virtual void allocateBlockBuffers();
    virtual void collectInput(float** in, int32_t count);
    virtual void collect(float** in, float** out, int32_t count);
    virtual void processInputDirect(float**, int32_t) {}
    virtual void processDirect(float**, float**, int32_t) {}
    // Each complete block: blockSize samples per channel.
    virtual void processBlockInput(float**, int32_t) {}
    virtual void processBlock(float** blockIn, float** blockOut, int32_t blockSize) = 0;
    virtual void applyMode(int32_t mode);

    int32_t channels() const { return channelCount; }
    int32_t filled() const { return fillCount; }
    int32_t blockLength() const { return blockSize; }

protected:
    // Zeroes the block buffers and the fill count.
    void clearBlocks();

    bool collectorInitialized = false;
    bool collectorTerminated = false;
    int32_t collectMode;
    int32_t channelCount;
    int32_t fillCount = 0;
    uint32_t latency = 0;
    int32_t blockSize;
    float** blockInputs = nullptr;
    float** blockOutputs = nullptr;
    float** inputCursors = nullptr;
    float** outputCursors = nullptr;
    void (SampleCollector::*ioRoutine)(float**, float**, int32_t) = &SampleCollector::collect;
    void (SampleCollector::*inputRoutine)(float**, int32_t) = &SampleCollector::collectInput;

private:
    void releaseAll();
};

} // namespace DSP
