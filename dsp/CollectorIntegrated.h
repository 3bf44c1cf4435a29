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

    bool isBelowRelativeGate() const { return belowRelativeGate_.load(std::memory_order_relaxed); }
    // Blocks in the store (read when no evaluation runs).
    int32_t storedCount() const { return storedCount_; }

protected:
    // One window's mean square z, evaluated for the momentary loudness, the
    // store and, about once a second, the integrated loudness.
    void evaluateBlock(float z, int32_t length);

private:
    void allocateStore();

    // Windows waiting for the worker. A window is only (mean square, length),
    // so several can wait: a worker that wakes late loses none of them.
    struct HandOff {
        float meanSquare;
        int32_t length;
    };
    static constexpr int32_t kHandOffSlots = 64;

    std::atomic<bool> belowRelativeGate_{false};
    bool useWorkerThreads_;
    HandOff handOff_[kHandOffSlots] = {};
    int32_t handedCount_ = 0; // guarded by the hand-off lock word
    float storeSum_ = 0.0f;
};

} // namespace DSP
