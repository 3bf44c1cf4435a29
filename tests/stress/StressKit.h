#pragma once
// How hard the stress suite pushes, and what its runs share. NIVOLO_STRESS_SCALE
// multiplies every cycle count (1 by default: the suite in seconds; make check
// runs it larger); random runs take a fixed seed, printed, that
// NIVOLO_STRESS_SEED replaces; every value a processor writes for the host
// must be a normalized reading.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "dsp/MeterValueIds.h"
#include "tests/support/SessionKit.h"

namespace SessionKit {

// A cycle count: base at scale 1, times the scale, fewer in the many times
// slower sanitized builds, never below 1.
inline int64_t cycles(int64_t base) {
    const char* text = std::getenv("NIVOLO_STRESS_SCALE");
    const int64_t scale = text && std::atoi(text) > 1 ? std::atoi(text) : 1;
#ifdef NIVOLO_SANITIZED
    return std::max<int64_t>(1, base * scale / 20);
#else
    return base * scale;
#endif
}

class Random : public std::mt19937_64 {
public:
    // The run's seed, printed so that a failing run can be replayed.
    Random() : std::mt19937_64(seed()) {}
    explicit Random(uint64_t seed) : std::mt19937_64(seed) {}
    static uint64_t seed() {
        const char* text = std::getenv("NIVOLO_STRESS_SEED");
        const uint64_t seed = text ? std::strtoull(text, nullptr, 0) : 20261206;
        std::printf("stress: seed %llu (replay with NIVOLO_STRESS_SEED)\n", static_cast<unsigned long long>(seed));
        return seed;
    }
    int64_t between(int64_t low, int64_t high) {
        return low + static_cast<int64_t>((*this)() % static_cast<uint64_t>(high - low + 1));
    }
    bool chance(double probability) { return static_cast<double>((*this)() >> 11) / 9007199254740992.0 < probability; }
    template <typename T, size_t N>
    const T& pick(const T (&choices)[N]) {
        return choices[(*this)() % N];
    }
};

// Empty when every value of the list is finite and normalized and the state
// readings are exactly 0 or 1; otherwise what is wrong.
inline std::string readingProblem(ParameterChanges& changes) {
    for (int32_t q = 0; q < changes.getParameterCount(); ++q) {
        IParamQueue* queue = changes.queueAt(q);
        const ParamID id = queue->getParameterId();
        for (int32_t p = 0; p < queue->pointCount(); ++p) {
            double value = -1.0;
            queue->readPoint(p, nullptr, &value);
            const bool state = id == DSP::kValueBelowRelativeGate || id == Param::kTruePeakOver || id == Param::kLoudnessIOver;
            if (!(value >= 0.0 && value <= 1.0) || (state && value != 0.0 && value != 1.0))
                return "reading " + std::to_string(id) + " = " + std::to_string(value);
        }
    }
    return {};
}

// Seconds of the signal rendered offline (every window evaluated where it
// arrives, whatever the workers were doing), then the answer to a request.
inline MeterReadings offlineReadings(ProcessingSession& session, int32_t channels, double rate, Signal& signal,
                                     double seconds) {
    const auto n = static_cast<int32_t>(rate / 100.0);
    for (int64_t b = std::llround(seconds * 100.0); b > 0; --b) {
        float* const* x = signal.next(n);
        processRaw(session.processor(), channels, x, x, n, kOffline);
    }
    auto outputs = IPtr<ParameterChanges>::adopt(new ParameterChanges);
    session.requestData();
    float* const* x = signal.next(0);
    processRaw(session.processor(), channels, x, x, 0, kOffline, nullptr, outputs.get());
    return readingsOf(*outputs);
}

} // namespace SessionKit
