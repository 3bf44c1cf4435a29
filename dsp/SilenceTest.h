#pragma once
// The cheap digital-silence test: the mean magnitude of every 32nd sample of
// every channel, against a threshold. Nothing visited counts as silent; a NaN
// or infinite sample counts as 0.

#include <cfloat>
#include <cmath>
#include <cstdint>

namespace DSP {

inline constexpr int32_t kSilenceStride = 32;

inline bool looksSilent(float* const* channels, int32_t channelCount, int32_t count, float threshold) {
    double sum = 0.0;
    int32_t visited = 0;
    for (int32_t c = 0; channels && c < channelCount; ++c) {
        const float* samples = channels[c];
        if (!samples) continue;
        for (int32_t i = 0; i < count; i += kSilenceStride) {
            const float magnitude = std::fabs(samples[i]);
            if (magnitude <= FLT_MAX) sum += magnitude;
            ++visited;
        }
    }
    const double mean = sum / visited; // 0 / 0 is not a number: silent
    return !(mean > threshold);
}

} // namespace DSP
