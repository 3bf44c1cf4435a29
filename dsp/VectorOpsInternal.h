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

// One step of the mean square over len <= 4 samples, in the operation order
// of the vector code: u = b x^2; q = u + a (u shifted up one); r = q + a2 (q
// shifted up two); s[m] = A[m] state + r[m] with A = a, a2, a3, a4.
static inline void meanSquareStep(const float* x, float* out, int32_t len, const MeanSquareCoefficients& k,
                                  float& state, float& held) {
    float u[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int32_t m = 0; m < len; ++m) u[m] = k.b * (x[m] * x[m]);
    const float q[4] = {u[0] + k.a * 0.0f, u[1] + k.a * u[0], u[2] + k.a * u[1], u[3] + k.a * u[2]};
    const float r[4] = {q[0] + k.a2 * 0.0f, q[1] + k.a2 * 0.0f, q[2] + k.a2 * q[0], q[3] + k.a2 * q[1]};
    const float A[4] = {k.a, k.a2, k.a3, k.a4};
    const float s = state;
    float h = held;
    for (int32_t m = 0; m < len; ++m) {
        out[m] = A[m] * s + r[m];
        h = out[m] > h ? out[m] : h;
    }
    if (len > 0) state = out[len - 1];
    held = h;
}

static inline void clearStateIfNotFinite(float& state) {
    if (!(state - state == 0.0f)) state = 0.0f; // NaN or infinity
}

namespace avx2 {
void square(float* x, int32_t n);
float sumExtended(const float* x, int32_t n);
void minMax(const float* x, int32_t n, float& minimum, float& maximum);
float peak(const float* x, int32_t n);
bool allFinite(const float* x, int32_t n);
void gatedSum(const float* x, int32_t n, float threshold, float& sum, int32_t& count);
void interpolate4(const float* phases, int32_t phaseLength, const float* line, float* out, int32_t n);
float interpolate4Peak(const float* phases, int32_t phaseLength, const float* line, int32_t n);
} // namespace avx2

namespace sse2 {
void interpolate4(const float* phases, int32_t phaseLength, const float* line, float* out, int32_t n);
float interpolate4Peak(const float* phases, int32_t phaseLength, const float* line, int32_t n);
} // namespace sse2

} // namespace DSP
