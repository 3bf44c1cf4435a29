#pragma once
// 3 s windows every 1 s: the short-term loudness of each window, and the
// loudness range over the kept blocks (absolute gate -70 LUFS, relative gate
// 20 LU below the power mean, 10th to 95th percentile). The worker "LRThread"
// does both the window sum and the evaluation.

#include <memory>

#include "dsp/CollectorOverlap.h"
#include "dsp/SortedSumsList.h"

namespace DSP {

class CollectorLoudnessRange : public CollectorOverlap {
public:
    static int32_t windowLengthFor(double sampleRate) { return static_cast<int32_t>(3.0 * sampleRate); }
    static int32_t historyLengthFor(double sampleRate) { return static_cast<int32_t>(2.0 * sampleRate); }

    CollectorLoudnessRange(double sampleRate, int32_t channelCount, uint32_t maxSamplesPerCall,
                           bool useWorkerThreads);
    ~CollectorLoudnessRange() override;

    int32_t initialize() override;
    int32_t terminate() override;
    void reset() override;
    void freeBuffers() override;
    void allocateBuffers() override;
    void processFrame(float** frame, int32_t length) override;
    void evaluate() override;
    void clearEvaluation() override;

    // [any thread] LU, 0 until measured.
    float loudnessRange() const { return loudnessRange_.load(generation(), 0.0f); }
    // Mean squares at the 10th and 95th percentile of the last evaluation.
    float rangeLow() const { return rangeLow_.load(generation(), 0.0f); }
    float rangeHigh() const { return rangeHigh_.load(generation(), 0.0f); }
    const SortedSumsList* list() const { return list_.get(); }

protected:
    // One window of measurement g: its short-term loudness, the list and, every
    // half second of windows, the range. A window from before the latest reset is dropped.
    virtual void evaluateWindow(float** frame, int32_t length, uint32_t g);
    // A window of the current measurement, evaluated where it arrives.
    void evaluateWindow(float** frame, int32_t length) { evaluateWindow(frame, length, generation()); }
    void clearStore(uint32_t g) override;

private:
    void allocateHandOff();
    void freeHandOff();

    bool useWorkerThreads_;
    int32_t handOffLength_;
    int32_t handedLength_ = 0;
    uint32_t handedGeneration_ = 0;
    GenerationValue loudnessRange_{0.0f};
    GenerationValue rangeLow_{0.0f};
    GenerationValue rangeHigh_{0.0f};
    float** handOff_ = nullptr;
    std::unique_ptr<SortedSumsList> list_;
};

} // namespace DSP
