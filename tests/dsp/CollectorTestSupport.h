#pragma once
// What the window-collector tests share: mean squares for a loudness, the
// figures a collector publishes, and a mono collector fed one hop at a time.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "dsp/CollectorIntegrated.h"
#include "dsp/CollectorLoudnessRange.h"

namespace DSP {

// The mean square that reads as the given loudness.
inline float meanSquareFor(double lufs) { return static_cast<float>(std::pow(10.0, (lufs + 0.691) / 10.0)); }

// Everything a collector publishes, for whole-state comparisons.
inline std::vector<float> figuresOf(const CollectorIntegrated& c) {
    return {c.current(), c.result(), c.isBelowRelativeGate() ? 1.0f : 0.0f, static_cast<float>(c.storedCount())};
}
inline std::vector<float> figuresOf(const CollectorLoudnessRange& c) {
    return {c.current(), c.loudnessRange(), c.rangeLow(), c.rangeHigh(),
            c.list() ? static_cast<float>(c.list()->count()) : -1.0f};
}

// One mono collector fed one hop per call, so every call is one frame.
template <class Collector>
class CollectorRig {
public:
    CollectorRig(bool useWorker, double rate, int32_t hopLength)
        : owned(std::make_unique<Collector>(rate, 1, static_cast<uint32_t>(hopLength), useWorker)),
          collector(*owned),
          input(static_cast<size_t>(hopLength)) {
        collector.initialize();
        collector.reset();
    }
    ~CollectorRig() {
        if (owned) owned->terminate();
    }

    // One hop of constant squared value z; with a worker, waits (bounded) until it has evaluated.
    void hop(float z) {
        std::fill(input.begin(), input.end(), z);
        float* channels[] = {input.data()};
        collector.processInput(channels, static_cast<int32_t>(input.size()));
        if (collector.hasWorker()) {
            collector.waitForWorker();
        }
    }
    void hops(float z, int count) {
        for (int i = 0; i < count; ++i) hop(z);
    }

    std::unique_ptr<Collector> owned;
    Collector& collector;
    std::vector<float> input;
};

} // namespace DSP
