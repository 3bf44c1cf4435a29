#pragma once
// Pieces the vector-primitive implementations share with one another.

#include "dsp/VectorOps.h"

namespace DSP {

namespace scalar {
float log10(float x);
void biquad(const float* in, float* out, int32_t n, const BiquadCoefficients& k, BiquadState& s);
void clearIfNotFinite(BiquadState& s);
} // namespace scalar

namespace scalar {
void fir(const float* h, int32_t taps, const float* line, float* out, int32_t n);
void interpolate4(const float* phases, int32_t phaseLength, const float* line, float* out, int32_t n);
float interpolate4Peak(const float* phases, int32_t phaseLength, const float* line, int32_t n);
} // namespace scalar

// The scalar finish of the vector min/max and gated sums: the lanes' partial
// results, then the samples past the last whole register.
// Internal linkage: the AVX2 file includes these too, and its copies must never
// stand in for the others.
static inline void finishMinMax(const float* lows, const float* highs, int lanes, const float* x, int32_t from, int32_t n,
                         float& minimum, float& maximum) {
    float mn = lows[0], mx = highs[0];
    for (int k = 1; k < lanes; ++k) {
        mn = lows[k] < mn ? lows[k] : mn;
        mx = highs[k] > mx ? highs[k] : mx;
    }
    for (int32_t i = from; i < n; ++i) {
        mn = x[i] < mn ? x[i] : mn;
        mx = x[i] > mx ? x[i] : mx;
    }
    minimum = mn;
    maximum = mx;
}

static inline void finishGatedSum(float partial, int32_t partialCount, const float* x, int32_t from, int32_t n,
                           float threshold, float& sum, int32_t& count) {
    for (int32_t i = from; i < n; ++i) {
        if (x[i] > threshold) {
            partial += x[i];
            ++partialCount;
        }
    }
    sum = partial;
    count = partialCount;
}

static inline float largest(const float* values, int count) {
    float peak = values[0];
    for (int k = 1; k < count; ++k) peak = values[k] > peak ? values[k] : peak;
    return peak;
}

namespace sse2 {
void interpolate4(const float* phases, int32_t phaseLength, const float* line, float* out, int32_t n);
float interpolate4Peak(const float* phases, int32_t phaseLength, const float* line, int32_t n);
// Channels four at a time in the lanes of one register: the recursions of
// four channels run side by side, in the same operation order as the scalar code.
void biquadPairSquare(const float* const* in, float* const* out, int32_t channels, int32_t n,
                      const BiquadCoefficients& first, BiquadState* firstStates, const BiquadCoefficients& second,
                      BiquadState* secondStates);
} // namespace sse2

} // namespace DSP
