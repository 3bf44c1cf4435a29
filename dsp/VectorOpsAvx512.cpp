// The AVX-512 table: the AVX2 table with the true-peak interpolation and the
// extended sums on wider registers, compiled for AVX-512 and chosen only when the
// processor has it. Fused multiply-adds stay off (as everywhere): the sums are
// those of the scalar code, bit for bit.

// GCC 12's AVX-512 intrinsics start from an "undefined" register and warn
// about it where they are inlined; nothing undefined reaches a result.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#include <immintrin.h>

#include "dsp/VectorOpsInternal.h"
#include "dsp/VectorOpsLanes.h"

namespace DSP {

namespace {

// Thirty-two consecutive input samples per step, as two registers of sixteen,
// and the four phases of each: a[p] lane m is out[4(i + m) + p], b[p] lane m
// is out[4(i + 16 + m) + p]. Each accumulator adds its products in ascending j.
struct Sums {
    __m512 a0, a1, a2, a3, b0, b1, b2, b3;
};

inline Sums thirtyTwoSamples(const float* phases, int32_t phaseLength, const float* x) {
    __m512 a0 = _mm512_setzero_ps(), a1 = a0, a2 = a0, a3 = a0, b0 = a0, b1 = a0, b2 = a0, b3 = a0;
    for (int32_t j = 0; j < phaseLength; ++j) {
        const __m512 v = _mm512_loadu_ps(x - j), w = _mm512_loadu_ps(x + 16 - j);
        const float* h = phases + 4 * j;
        const __m512 h0 = _mm512_set1_ps(h[0]), h1 = _mm512_set1_ps(h[1]);
        const __m512 h2 = _mm512_set1_ps(h[2]), h3 = _mm512_set1_ps(h[3]);
        a0 = _mm512_add_ps(a0, _mm512_mul_ps(h0, v));
        b0 = _mm512_add_ps(b0, _mm512_mul_ps(h0, w));
        a1 = _mm512_add_ps(a1, _mm512_mul_ps(h1, v));
        b1 = _mm512_add_ps(b1, _mm512_mul_ps(h1, w));
        a2 = _mm512_add_ps(a2, _mm512_mul_ps(h2, v));
        b2 = _mm512_add_ps(b2, _mm512_mul_ps(h2, w));
        a3 = _mm512_add_ps(a3, _mm512_mul_ps(h3, v));
        b3 = _mm512_add_ps(b3, _mm512_mul_ps(h3, w));
    }
    return Sums{a0, a1, a2, a3, b0, b1, b2, b3};
}

// Four phase registers of sixteen samples each, interleaved into 64 outputs.
inline void storeInterleaved(__m512 p0, __m512 p1, __m512 p2, __m512 p3, float* out) {
    const __m512 t0 = _mm512_unpacklo_ps(p0, p1), t1 = _mm512_unpackhi_ps(p0, p1);
    const __m512 t2 = _mm512_unpacklo_ps(p2, p3), t3 = _mm512_unpackhi_ps(p2, p3);
    // Per 128-bit lane k: s0 = samples 4k, s1 = 4k + 1, s2 = 4k + 2, s3 = 4k + 3 (four phases each).
    const __m512 s0 = _mm512_shuffle_ps(t0, t2, 0x44), s1 = _mm512_shuffle_ps(t0, t2, 0xEE);
    const __m512 s2 = _mm512_shuffle_ps(t1, t3, 0x44), s3 = _mm512_shuffle_ps(t1, t3, 0xEE);
    // Gather lane k of s0..s3 into output register k.
    const __m512 u0 = _mm512_shuffle_f32x4(s0, s1, 0x44), u1 = _mm512_shuffle_f32x4(s2, s3, 0x44);
    const __m512 u2 = _mm512_shuffle_f32x4(s0, s1, 0xEE), u3 = _mm512_shuffle_f32x4(s2, s3, 0xEE);
    _mm512_storeu_ps(out, _mm512_shuffle_f32x4(u0, u1, 0x88));
    _mm512_storeu_ps(out + 16, _mm512_shuffle_f32x4(u0, u1, 0xDD));
    _mm512_storeu_ps(out + 32, _mm512_shuffle_f32x4(u2, u3, 0x88));
    _mm512_storeu_ps(out + 48, _mm512_shuffle_f32x4(u2, u3, 0xDD));
}

void interpolate4(const float* phases, int32_t phaseLength, const float* line, float* out, int32_t n) {
    const float* x = line + (phaseLength - 1);
    int32_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const Sums s = thirtyTwoSamples(phases, phaseLength, x + i);
        storeInterleaved(s.a0, s.a1, s.a2, s.a3, out + 4 * i);
        storeInterleaved(s.b0, s.b1, s.b2, s.b3, out + 4 * (i + 16));
    }
    if (i < n) avx2::interpolate4(phases, phaseLength, line + i, out + 4 * i, n - i);
}

float interpolate4Peak(const float* phases, int32_t phaseLength, const float* line, int32_t n) {
    const float* x = line + (phaseLength - 1);
    __m512 hi = _mm512_setzero_ps(), lo = _mm512_setzero_ps();
    int32_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const Sums s = thirtyTwoSamples(phases, phaseLength, x + i);
        const __m512 h0 = _mm512_max_ps(_mm512_max_ps(s.a0, s.a1), _mm512_max_ps(s.a2, s.a3));
        const __m512 h1 = _mm512_max_ps(_mm512_max_ps(s.b0, s.b1), _mm512_max_ps(s.b2, s.b3));
        const __m512 l0 = _mm512_min_ps(_mm512_min_ps(s.a0, s.a1), _mm512_min_ps(s.a2, s.a3));
        const __m512 l1 = _mm512_min_ps(_mm512_min_ps(s.b0, s.b1), _mm512_min_ps(s.b2, s.b3));
        hi = _mm512_max_ps(hi, _mm512_max_ps(h0, h1));
        lo = _mm512_min_ps(lo, _mm512_min_ps(l0, l1));
    }
    const __m512 magnitude = _mm512_max_ps(hi, _mm512_sub_ps(_mm512_setzero_ps(), lo));
    alignas(64) float v[16];
    _mm512_store_ps(v, magnitude);
    float peak = largest(v, 16);
    if (i < n) {
        const float rest = avx2::interpolate4Peak(phases, phaseLength, line + i, n - i);
        peak = rest > peak ? rest : peak;
    }
    return peak;
}

float sumExtended(const float* x, int32_t n) {
    // Four double accumulators of eight lanes: the additions of one do not wait for another's.
    __m512d a = _mm512_setzero_pd(), b = a, c = a, d = a;
    int32_t i = 0;
    for (; i + 32 <= n; i += 32) {
        a = _mm512_add_pd(a, _mm512_cvtps_pd(_mm256_loadu_ps(x + i)));
        b = _mm512_add_pd(b, _mm512_cvtps_pd(_mm256_loadu_ps(x + i + 8)));
        c = _mm512_add_pd(c, _mm512_cvtps_pd(_mm256_loadu_ps(x + i + 16)));
        d = _mm512_add_pd(d, _mm512_cvtps_pd(_mm256_loadu_ps(x + i + 24)));
    }
    alignas(64) double lanes[8];
    _mm512_store_pd(lanes, _mm512_add_pd(_mm512_add_pd(a, b), _mm512_add_pd(c, d)));
    double sum = ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) + ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
    for (; i < n; ++i) sum += x[i];
    return static_cast<float>(sum);
}

} // namespace

const VectorOps kAvx512VectorOps = {
    "avx512",       scalar::biquad, biquadPairSquareInLanes, avx2::square,  sumExtended,       avx2::minMax,
    avx2::peak,     avx2::allFinite, avx2::gatedSum, meanSquareInLanes, scalar::log10, scalar::fir, interpolate4,
    interpolate4Peak,
};

} // namespace DSP
