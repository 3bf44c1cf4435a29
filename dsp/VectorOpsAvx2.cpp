// The AVX2 implementation, compiled for AVX2 and chosen only when the
// processor has it. The filter recursions stay on the four-lane path: wider
// lanes would only help with more than four channels.

#include <immintrin.h>

#include "dsp/VectorOpsInternal.h"

namespace DSP {

namespace {

void square(float* x, int32_t n) {
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256 v = _mm256_loadu_ps(x + i);
        _mm256_storeu_ps(x + i, _mm256_mul_ps(v, v));
    }
    for (; i < n; ++i) x[i] = x[i] * x[i];
}

float sumExtended(const float* x, int32_t n) {
    __m256d a = _mm256_setzero_pd(), b = _mm256_setzero_pd();
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256 v = _mm256_loadu_ps(x + i);
        a = _mm256_add_pd(a, _mm256_cvtps_pd(_mm256_castps256_ps128(v)));
        b = _mm256_add_pd(b, _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)));
    }
    alignas(32) double lanes[4];
    _mm256_store_pd(lanes, _mm256_add_pd(a, b));
    double sum = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
    for (; i < n; ++i) sum += x[i];
    return static_cast<float>(sum);
}

void minMax(const float* x, int32_t n, float& minimum, float& maximum) {
    if (n <= 0) {
        minimum = maximum = 0.0f;
        return;
    }
    __m256 lo = _mm256_set1_ps(x[0]), hi = lo;
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256 v = _mm256_loadu_ps(x + i);
        lo = _mm256_min_ps(lo, v);
        hi = _mm256_max_ps(hi, v);
    }
    alignas(32) float l[8], h[8];
    _mm256_store_ps(l, lo);
    _mm256_store_ps(h, hi);
    finishMinMax(l, h, 8, x, i, n, minimum, maximum);
}

void gatedSum(const float* x, int32_t n, float threshold, float& sum, int32_t& count) {
    const __m256 t = _mm256_set1_ps(threshold);
    __m256 acc = _mm256_setzero_ps();
    int32_t k = 0, i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256 v = _mm256_loadu_ps(x + i);
        __m256 above = _mm256_cmp_ps(v, t, _CMP_GT_OQ);
        acc = _mm256_add_ps(acc, _mm256_and_ps(above, v));
        k += __builtin_popcount(static_cast<unsigned>(_mm256_movemask_ps(above)));
    }
    alignas(32) float lanes[8];
    _mm256_store_ps(lanes, acc);
    float s = ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) + ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
    finishGatedSum(s, k, x, i, n, threshold, sum, count);
}

// Eight input samples per step, two per register (the low half gives the four
// outputs of one sample, the high half those of the next), each register its
// own accumulator: the sums keep the scalar order, the registers run side by side.
inline void eightSamples(const __m256* taps, int32_t phaseLength, const float* x, __m256 acc[4]) {
    const __m256i spread = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
    acc[0] = acc[1] = acc[2] = acc[3] = _mm256_setzero_ps();
    for (int32_t j = 0; j < phaseLength; ++j) {
        const __m256 h = taps[j];
        for (int k = 0; k < 4; ++k) {
            // x[2k - j] and x[2k + 1 - j], spread over the two halves.
            // Two floats at any 4-byte boundary: an unaligned 64-bit load, not a double's.
            const __m128 pair = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i_u*>(x + 2 * k - j)));
            const __m256 v = _mm256_permutevar8x32_ps(_mm256_castps128_ps256(pair), spread);
            acc[k] = _mm256_add_ps(acc[k], _mm256_mul_ps(h, v));
        }
    }
}

constexpr int32_t kMaxPhaseLength = 64;

// Each phase step's four taps, twice over, as one register.
inline int32_t doubledTaps(const float* phases, int32_t phaseLength, __m256* taps) {
    if (phaseLength > kMaxPhaseLength) return 0;
    for (int32_t j = 0; j < phaseLength; ++j) {
        const __m128 t = _mm_loadu_ps(phases + 4 * j);
        taps[j] = _mm256_set_m128(t, t);
    }
    return phaseLength;
}

void interpolate4(const float* phases, int32_t phaseLength, const float* line, float* out, int32_t n) {
    __m256 taps[kMaxPhaseLength];
    int32_t i = 0;
    if (doubledTaps(phases, phaseLength, taps)) {
        const float* x = line + (phaseLength - 1);
        for (; i + 8 <= n; i += 8) {
            __m256 acc[4];
            eightSamples(taps, phaseLength, x + i, acc);
            for (int k = 0; k < 4; ++k) _mm256_storeu_ps(out + 4 * (i + 2 * k), acc[k]);
        }
    }
    if (i < n) sse2::interpolate4(phases, phaseLength, line + i, out + 4 * i, n - i);
}

float interpolate4Peak(const float* phases, int32_t phaseLength, const float* line, int32_t n) {
    __m256 taps[kMaxPhaseLength];
    __m256 hi = _mm256_setzero_ps(), lo = _mm256_setzero_ps();
    int32_t i = 0;
    if (doubledTaps(phases, phaseLength, taps)) {
        const float* x = line + (phaseLength - 1);
        for (; i + 8 <= n; i += 8) {
            __m256 acc[4];
            eightSamples(taps, phaseLength, x + i, acc);
            hi = _mm256_max_ps(_mm256_max_ps(hi, _mm256_max_ps(acc[0], acc[1])), _mm256_max_ps(acc[2], acc[3]));
            lo = _mm256_min_ps(_mm256_min_ps(lo, _mm256_min_ps(acc[0], acc[1])), _mm256_min_ps(acc[2], acc[3]));
        }
    }
    const __m256 magnitude = _mm256_max_ps(hi, _mm256_sub_ps(_mm256_setzero_ps(), lo));
    alignas(32) float v[8];
    _mm256_store_ps(v, magnitude);
    float peak = largest(v, 8);
    if (i < n) {
        const float rest = sse2::interpolate4Peak(phases, phaseLength, line + i, n - i);
        peak = rest > peak ? rest : peak;
    }
    return peak;
}

} // namespace

const VectorOps kAvx2VectorOps = {
    "avx2",      scalar::biquad, sse2::biquadPairSquare, square, sumExtended, minMax, gatedSum, scalar::log10,
    scalar::fir, interpolate4,   interpolate4Peak,
};

} // namespace DSP
