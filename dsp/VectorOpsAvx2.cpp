// The AVX2 implementation, compiled for AVX2 and chosen only when the
// processor has it. The filter recursions stay on the four-lane path: wider
// lanes would only help with more than four channels.

#include <cfloat>
#include <immintrin.h>

#include "dsp/VectorOpsInternal.h"
#include "dsp/VectorOpsLanes.h"

namespace DSP {

namespace avx2 {

void square(float* x, int32_t n) {
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256 v = _mm256_loadu_ps(x + i);
        _mm256_storeu_ps(x + i, _mm256_mul_ps(v, v));
    }
    for (; i < n; ++i) x[i] = x[i] * x[i];
}

float sumExtended(const float* x, int32_t n) {
    // Four double accumulators of four lanes: the additions of one do not wait for another's.
    __m256d a = _mm256_setzero_pd(), b = a, c = a, d = a;
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256 v = _mm256_loadu_ps(x + i), w = _mm256_loadu_ps(x + i + 8);
        a = _mm256_add_pd(a, _mm256_cvtps_pd(_mm256_castps256_ps128(v)));
        b = _mm256_add_pd(b, _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1)));
        c = _mm256_add_pd(c, _mm256_cvtps_pd(_mm256_castps256_ps128(w)));
        d = _mm256_add_pd(d, _mm256_cvtps_pd(_mm256_extractf128_ps(w, 1)));
    }
    alignas(32) double lanes[4];
    _mm256_store_pd(lanes, _mm256_add_pd(_mm256_add_pd(a, b), _mm256_add_pd(c, d)));
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

float peak(const float* x, int32_t n) {
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    const __m256 finite = _mm256_set1_ps(FLT_MAX);
    __m256 p = _mm256_setzero_ps(), q = p;
    int32_t i = 0;
    // |x| <= FLT_MAX fails for NaN and infinity: those lanes count as 0.
    for (; i + 16 <= n; i += 16) {
        const __m256 a = _mm256_and_ps(_mm256_loadu_ps(x + i), magnitude);
        const __m256 b = _mm256_and_ps(_mm256_loadu_ps(x + i + 8), magnitude);
        p = _mm256_max_ps(_mm256_and_ps(a, _mm256_cmp_ps(a, finite, _CMP_LE_OQ)), p);
        q = _mm256_max_ps(_mm256_and_ps(b, _mm256_cmp_ps(b, finite, _CMP_LE_OQ)), q);
    }
    alignas(32) float lanes[8];
    _mm256_store_ps(lanes, _mm256_max_ps(p, q));
    float result = largest(lanes, 8);
    for (; i < n; ++i) {
        const float m = x[i] < 0.0f ? -x[i] : x[i];
        result = m > result && m <= FLT_MAX ? m : result;
    }
    return result;
}

bool allFinite(const float* x, int32_t n) {
    // x - x is 0 for every finite x and NaN otherwise; a NaN stays in the sums.
    __m256 a = _mm256_setzero_ps(), b = a;
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256 u = _mm256_loadu_ps(x + i), v = _mm256_loadu_ps(x + i + 8);
        a = _mm256_add_ps(a, _mm256_sub_ps(u, u));
        b = _mm256_add_ps(b, _mm256_sub_ps(v, v));
    }
    const __m256 zero = _mm256_setzero_ps();
    bool finite = _mm256_movemask_ps(_mm256_cmp_ps(_mm256_add_ps(a, b), zero, _CMP_EQ_OQ)) == 0xFF;
    for (; i < n; ++i) finite = finite && x[i] - x[i] == 0.0f;
    return finite;
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

} // namespace avx2

namespace {

// Sixteen consecutive input samples per step, as two registers of eight, and
// the four phases of each: acc[p][b] lane m is out[4(i + 8b + m) + p]. One
// broadcast tap meets eight samples, so no register is ever shuffled; each of
// the eight accumulators adds its products in ascending j, as the scalar code
// does, and the eight chains run side by side.
inline void sixteenSamples(const float* phases, int32_t phaseLength, const float* x, __m256 acc[4][2]) {
    // Named accumulators: the compiler keeps these in registers, an indexed array it may not.
    __m256 a0 = _mm256_setzero_ps(), a1 = a0, a2 = a0, a3 = a0, b0 = a0, b1 = a0, b2 = a0, b3 = a0;
    for (int32_t j = 0; j < phaseLength; ++j) {
        // x[i + m - j] for m = 0..7 and 8..15.
        const __m256 v = _mm256_loadu_ps(x - j), w = _mm256_loadu_ps(x + 8 - j);
        const float* h = phases + 4 * j;
        const __m256 h0 = _mm256_broadcast_ss(h), h1 = _mm256_broadcast_ss(h + 1);
        const __m256 h2 = _mm256_broadcast_ss(h + 2), h3 = _mm256_broadcast_ss(h + 3);
        a0 = _mm256_add_ps(a0, _mm256_mul_ps(h0, v));
        b0 = _mm256_add_ps(b0, _mm256_mul_ps(h0, w));
        a1 = _mm256_add_ps(a1, _mm256_mul_ps(h1, v));
        b1 = _mm256_add_ps(b1, _mm256_mul_ps(h1, w));
        a2 = _mm256_add_ps(a2, _mm256_mul_ps(h2, v));
        b2 = _mm256_add_ps(b2, _mm256_mul_ps(h2, w));
        a3 = _mm256_add_ps(a3, _mm256_mul_ps(h3, v));
        b3 = _mm256_add_ps(b3, _mm256_mul_ps(h3, w));
    }
    acc[0][0] = a0, acc[1][0] = a1, acc[2][0] = a2, acc[3][0] = a3;
    acc[0][1] = b0, acc[1][1] = b1, acc[2][1] = b2, acc[3][1] = b3;
}

// Four phase registers of eight samples each, interleaved into 32 outputs.
inline void storeInterleaved(__m256 p0, __m256 p1, __m256 p2, __m256 p3, float* out) {
    const __m256 t0 = _mm256_unpacklo_ps(p0, p1), t1 = _mm256_unpackhi_ps(p0, p1);
    const __m256 t2 = _mm256_unpacklo_ps(p2, p3), t3 = _mm256_unpackhi_ps(p2, p3);
    const __m256 s0 = _mm256_shuffle_ps(t0, t2, 0x44), s1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 s2 = _mm256_shuffle_ps(t1, t3, 0x44), s3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    _mm256_storeu_ps(out, _mm256_permute2f128_ps(s0, s1, 0x20));
    _mm256_storeu_ps(out + 8, _mm256_permute2f128_ps(s2, s3, 0x20));
    _mm256_storeu_ps(out + 16, _mm256_permute2f128_ps(s0, s1, 0x31));
    _mm256_storeu_ps(out + 24, _mm256_permute2f128_ps(s2, s3, 0x31));
}

} // namespace

void avx2::interpolate4(const float* phases, int32_t phaseLength, const float* line, float* out, int32_t n) {
    const float* x = line + (phaseLength - 1);
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256 acc[4][2];
        sixteenSamples(phases, phaseLength, x + i, acc);
        for (int b = 0; b < 2; ++b)
            storeInterleaved(acc[0][b], acc[1][b], acc[2][b], acc[3][b], out + 4 * (i + 8 * b));
    }
    if (i < n) sse2::interpolate4(phases, phaseLength, line + i, out + 4 * i, n - i);
}

float avx2::interpolate4Peak(const float* phases, int32_t phaseLength, const float* line, int32_t n) {
    const float* x = line + (phaseLength - 1);
    __m256 hi = _mm256_setzero_ps(), lo = _mm256_setzero_ps();
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256 acc[4][2];
        sixteenSamples(phases, phaseLength, x + i, acc);
        const __m256 h0 = _mm256_max_ps(_mm256_max_ps(acc[0][0], acc[1][0]), _mm256_max_ps(acc[2][0], acc[3][0]));
        const __m256 h1 = _mm256_max_ps(_mm256_max_ps(acc[0][1], acc[1][1]), _mm256_max_ps(acc[2][1], acc[3][1]));
        const __m256 l0 = _mm256_min_ps(_mm256_min_ps(acc[0][0], acc[1][0]), _mm256_min_ps(acc[2][0], acc[3][0]));
        const __m256 l1 = _mm256_min_ps(_mm256_min_ps(acc[0][1], acc[1][1]), _mm256_min_ps(acc[2][1], acc[3][1]));
        hi = _mm256_max_ps(hi, _mm256_max_ps(h0, h1));
        lo = _mm256_min_ps(lo, _mm256_min_ps(l0, l1));
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

const VectorOps kAvx2VectorOps = {
    "avx2",         scalar::biquad, biquadPairSquareInLanes, avx2::square,     avx2::sumExtended, avx2::minMax,
    avx2::peak,     avx2::allFinite,   avx2::gatedSum, meanSquareInLanes,      scalar::log10,
    scalar::fir,    avx2::interpolate4, avx2::interpolate4Peak,
};

} // namespace DSP
