// The SSE2 implementation (always present on x86-64).

#include <emmintrin.h>

#include <cfloat>
#include <cmath>

#include "dsp/VectorOpsInternal.h"
#include "dsp/VectorOpsLanes.h"

namespace DSP {

namespace {

void square(float* x, int32_t n) {
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 v = _mm_loadu_ps(x + i);
        _mm_storeu_ps(x + i, _mm_mul_ps(v, v));
    }
    for (; i < n; ++i) x[i] = x[i] * x[i];
}

float sumExtended(const float* x, int32_t n) {
    __m128d a = _mm_setzero_pd(), b = _mm_setzero_pd();
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 v = _mm_loadu_ps(x + i);
        a = _mm_add_pd(a, _mm_cvtps_pd(v));
        b = _mm_add_pd(b, _mm_cvtps_pd(_mm_movehl_ps(v, v)));
    }
    alignas(16) double lanes[2];
    _mm_store_pd(lanes, _mm_add_pd(a, b));
    double sum = lanes[0] + lanes[1];
    for (; i < n; ++i) sum += x[i];
    return static_cast<float>(sum);
}

void minMax(const float* x, int32_t n, float& minimum, float& maximum) {
    if (n <= 0) {
        minimum = maximum = 0.0f;
        return;
    }
    __m128 lo = _mm_set1_ps(x[0]), hi = lo;
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 v = _mm_loadu_ps(x + i);
        lo = _mm_min_ps(lo, v);
        hi = _mm_max_ps(hi, v);
    }
    alignas(16) float l[4], h[4];
    _mm_store_ps(l, lo);
    _mm_store_ps(h, hi);
    finishMinMax(l, h, 4, x, i, n, minimum, maximum);
}

float peak(const float* x, int32_t n) {
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 finite = _mm_set1_ps(FLT_MAX);
    __m128 p = _mm_setzero_ps();
    int32_t i = 0;
    // |x| <= FLT_MAX fails for NaN and infinity: those lanes count as 0.
    for (; i + 4 <= n; i += 4) {
        const __m128 m = _mm_and_ps(_mm_loadu_ps(x + i), magnitude);
        p = _mm_max_ps(_mm_and_ps(m, _mm_cmple_ps(m, finite)), p);
    }
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, p);
    float result = largest(lanes, 4);
    for (; i < n; ++i) {
        const float m = std::fabs(x[i]);
        result = m > result && m <= FLT_MAX ? m : result;
    }
    return result;
}

bool allFinite(const float* x, int32_t n) {
    // x - x is 0 for every finite x and NaN otherwise; a NaN stays in the sum.
    __m128 acc = _mm_setzero_ps();
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128 v = _mm_loadu_ps(x + i);
        acc = _mm_add_ps(acc, _mm_sub_ps(v, v));
    }
    bool finite = _mm_movemask_ps(_mm_cmpeq_ps(acc, _mm_setzero_ps())) == 0xF;
    for (; i < n; ++i) finite = finite && x[i] - x[i] == 0.0f;
    return finite;
}

void gatedSum(const float* x, int32_t n, float threshold, float& sum, int32_t& count) {
    const __m128 t = _mm_set1_ps(threshold);
    __m128 acc = _mm_setzero_ps();
    int32_t k = 0, i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 v = _mm_loadu_ps(x + i);
        __m128 above = _mm_cmpgt_ps(v, t);
        acc = _mm_add_ps(acc, _mm_and_ps(above, v));
        k += __builtin_popcount(static_cast<unsigned>(_mm_movemask_ps(above)));
    }
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, acc);
    float s = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
    finishGatedSum(s, k, x, i, n, threshold, sum, count);
}

float log10Single(float x) { return std::log10(x); }

} // namespace

namespace {

// One input sample gives four outputs: one register of phase taps per step j,
// times the input broadcast, accumulated in ascending j as the scalar code
// does. Four input samples run side by side in separate accumulators, so the
// additions of one do not wait for those of another.
inline void fourSamples(const float* phases, int32_t phaseLength, const float* x, __m128 acc[4]) {
    acc[0] = acc[1] = acc[2] = acc[3] = _mm_setzero_ps();
    for (int32_t j = 0; j < phaseLength; ++j) {
        const __m128 taps = _mm_loadu_ps(phases + 4 * j);
        acc[0] = _mm_add_ps(acc[0], _mm_mul_ps(taps, _mm_set1_ps(x[-j])));
        acc[1] = _mm_add_ps(acc[1], _mm_mul_ps(taps, _mm_set1_ps(x[1 - j])));
        acc[2] = _mm_add_ps(acc[2], _mm_mul_ps(taps, _mm_set1_ps(x[2 - j])));
        acc[3] = _mm_add_ps(acc[3], _mm_mul_ps(taps, _mm_set1_ps(x[3 - j])));
    }
}

inline __m128 oneSample(const float* phases, int32_t phaseLength, const float* x) {
    __m128 acc = _mm_setzero_ps();
    for (int32_t j = 0; j < phaseLength; ++j)
        acc = _mm_add_ps(acc, _mm_mul_ps(_mm_loadu_ps(phases + 4 * j), _mm_set1_ps(x[-j])));
    return acc;
}

} // namespace

void sse2::interpolate4(const float* phases, int32_t phaseLength, const float* line, float* out, int32_t n) {
    const float* x = line + (phaseLength - 1);
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 acc[4];
        fourSamples(phases, phaseLength, x + i, acc);
        for (int k = 0; k < 4; ++k) _mm_storeu_ps(out + 4 * (i + k), acc[k]);
    }
    for (; i < n; ++i) _mm_storeu_ps(out + 4 * i, oneSample(phases, phaseLength, x + i));
}

float sse2::interpolate4Peak(const float* phases, int32_t phaseLength, const float* line, int32_t n) {
    const float* x = line + (phaseLength - 1);
    __m128 hi = _mm_setzero_ps(), lo = _mm_setzero_ps();
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128 acc[4];
        fourSamples(phases, phaseLength, x + i, acc);
        hi = _mm_max_ps(_mm_max_ps(hi, _mm_max_ps(acc[0], acc[1])), _mm_max_ps(acc[2], acc[3]));
        lo = _mm_min_ps(_mm_min_ps(lo, _mm_min_ps(acc[0], acc[1])), _mm_min_ps(acc[2], acc[3]));
    }
    for (; i < n; ++i) {
        const __m128 acc = oneSample(phases, phaseLength, x + i);
        hi = _mm_max_ps(hi, acc);
        lo = _mm_min_ps(lo, acc);
    }
    const __m128 magnitude = _mm_max_ps(hi, _mm_sub_ps(_mm_setzero_ps(), lo));
    alignas(16) float v[4];
    _mm_store_ps(v, magnitude);
    return largest(v, 4);
}

const VectorOps kSse2VectorOps = {
    "sse2",      scalar::biquad,     biquadPairSquareInLanes, square, sumExtended, minMax, peak, allFinite, gatedSum, meanSquareInLanes, log10Single,
    scalar::fir, sse2::interpolate4, sse2::interpolate4Peak,
};

} // namespace DSP
