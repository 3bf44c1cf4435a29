#pragma once
// 400 ms windows every 100 ms: the momentary loudness of each window, and the
// gated integrated loudness over the stored blocks (absolute gate -70 LUFS,
// relative gate 10 LU below the power mean), recomputed about once a second
// of windows on the worker "CIThread".

#include "dsp/CollectorOverlap.h"

namespace DSP {

class CollectorIntegrated : public CollectorOverlap {
public:
    // N = trunc(0.4 fs), M = trunc(0.3 fs), with the single-precision constants as doubles.
    static int32_t windowLengthFor(double sampleRate);
    static int32_t historyLengthFor(double sampleRate);

    CollectorIntegrated(double sampleRate, int32_t channelCount, uint32_t maxSamplesPerCall, bool useWorkerThreads);
    ~CollectorIntegrated() override;

    int32_t initialize() override;
    int32_t terminate() override;
    void reset() override;
    void freeBuffers() override;
    void allocateBuffers() override;
    void processFrame(float** frame, int32_t length) override;
    void evaluate() override;
    void clearEvaluation() override;

    bool isBelowRelativeGate() const { return belowRelativeGate_.load(generation(), 0.0f) != 0.0f; }
    // Blocks in the store (read when no evaluation runs).
    int32_t storedCount() const { return storedCount_; }

protected:
    // One window's mean square z of measurement g, evaluated for the momentary
    // loudness, the store and, about once a second, the integrated loudness.
    // A window from before the latest reset is dropped.
    virtual void evaluateBlock(float z, int32_t length, uint32_t g);
    // A window of the current measurement, evaluated where it arrives.
    void evaluateBlock(float z, int32_t length) { evaluateBlock(z, length, generation()); }
    void clearStore(uint32_t g) override;

private:
    void allocateStore();

    // Windows waiting for the worker. A window is only (mean square, length,
    // measurement), so several can wait: a worker that wakes late loses none.
    struct HandOff {
        float meanSquare;
        int32_t length;
        uint32_t generation;
    };
    static constexpr int32_t kHandOffSlots = 64;

    GenerationValue belowRelativeGate_{0.0f}; // 1.0 while below the relative gate
    bool useWorkerThreads_;
    HandOff handOff_[kHandOffSlots] = {};
    int32_t handedCount_ = 0; // guarded by the hand-off lock word
    float storeSum_ = 0.0f;
};

} // namespace DSP
