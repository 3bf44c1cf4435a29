#pragma once
// The four-lane filter and mean-square loops, written once and compiled in
// each vector table's own file: the SSE2 file runs them as they are, the
// wider tables with three-operand instructions and more registers (no spills
// on the filter's state). The same operations in the same order everywhere,
// so every table gives the same bits. Internal linkage throughout: each file
// must keep its own copy, built for its own instruction set.

#include <immintrin.h>

#include "dsp/VectorOpsInternal.h"

namespace DSP {
namespace {

struct Lanes {
    __m128 x1, x2, y1, y2;
};

inline __m128 section(__m128 x, Lanes& s, __m128 b0, __m128 b1, __m128 b2, __m128 a1, __m128 a2) {
    // Same order as the scalar expression, so every lane matches it bit for bit.
    __m128 y = _mm_mul_ps(b0, x);
    y = _mm_add_ps(y, _mm_mul_ps(b1, s.x1));
    y = _mm_add_ps(y, _mm_mul_ps(b2, s.x2));
    y = _mm_sub_ps(y, _mm_mul_ps(a2, s.y2));
    y = _mm_sub_ps(y, _mm_mul_ps(a1, s.y1));
    s.x2 = s.x1;
    s.x1 = x;
    s.y2 = s.y1;
    s.y1 = y;
    return y;
}

Lanes loadStates(const BiquadState* states, int32_t lanes) {
    alignas(16) float v[4][4] = {};
    for (int32_t l = 0; l < lanes; ++l) {
        v[0][l] = states[l].x1;
        v[1][l] = states[l].x2;
        v[2][l] = states[l].y1;
        v[3][l] = states[l].y2;
    }
    return Lanes{_mm_load_ps(v[0]), _mm_load_ps(v[1]), _mm_load_ps(v[2]), _mm_load_ps(v[3])};
}

void storeStates(const Lanes& s, BiquadState* states, int32_t lanes) {
    alignas(16) float v[4][4];
    _mm_store_ps(v[0], s.x1);
    _mm_store_ps(v[1], s.x2);
    _mm_store_ps(v[2], s.y1);
    _mm_store_ps(v[3], s.y2);
    for (int32_t l = 0; l < lanes; ++l) {
        states[l] = BiquadState{v[0][l], v[1][l], v[2][l], v[3][l]};
        scalar::clearIfNotFinite(states[l]);
    }
}

// Up to four channels, one per lane; missing lanes read channel 0 and are never stored.
void pairSquareGroup(const float* const* in, float* const* out, int32_t lanes, int32_t n,
                     const BiquadCoefficients& f, BiquadState* fs, const BiquadCoefficients& g, BiquadState* gs) {
    const float* src[4];
    for (int32_t l = 0; l < 4; ++l) src[l] = in[l < lanes ? l : 0];
    const __m128 fb0 = _mm_set1_ps(f.b0), fb1 = _mm_set1_ps(f.b1), fb2 = _mm_set1_ps(f.b2),
                 fa1 = _mm_set1_ps(f.a1), fa2 = _mm_set1_ps(f.a2);
    const __m128 gb0 = _mm_set1_ps(g.b0), gb1 = _mm_set1_ps(g.b1), gb2 = _mm_set1_ps(g.b2),
                 ga1 = _mm_set1_ps(g.a1), ga2 = _mm_set1_ps(g.a2);
    Lanes s1 = loadStates(fs, lanes), s2 = loadStates(gs, lanes);

    int32_t i = 0;
    // Four samples of four channels at a time: transpose in, run, transpose out.
    for (; i + 4 <= n; i += 4) {
        __m128 r0 = _mm_loadu_ps(src[0] + i), r1 = _mm_loadu_ps(src[1] + i), r2 = _mm_loadu_ps(src[2] + i),
               r3 = _mm_loadu_ps(src[3] + i);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        __m128 y0 = section(section(r0, s1, fb0, fb1, fb2, fa1, fa2), s2, gb0, gb1, gb2, ga1, ga2);
        __m128 y1 = section(section(r1, s1, fb0, fb1, fb2, fa1, fa2), s2, gb0, gb1, gb2, ga1, ga2);
        __m128 y2 = section(section(r2, s1, fb0, fb1, fb2, fa1, fa2), s2, gb0, gb1, gb2, ga1, ga2);
        __m128 y3 = section(section(r3, s1, fb0, fb1, fb2, fa1, fa2), s2, gb0, gb1, gb2, ga1, ga2);
        y0 = _mm_mul_ps(y0, y0);
        y1 = _mm_mul_ps(y1, y1);
        y2 = _mm_mul_ps(y2, y2);
        y3 = _mm_mul_ps(y3, y3);
        _MM_TRANSPOSE4_PS(y0, y1, y2, y3);
        const __m128 rows[4] = {y0, y1, y2, y3};
        for (int32_t l = 0; l < lanes; ++l) _mm_storeu_ps(out[l] + i, rows[l]);
    }
    for (; i < n; ++i) {
        __m128 x = _mm_setr_ps(src[0][i], src[1][i], src[2][i], src[3][i]);
        __m128 y = section(section(x, s1, fb0, fb1, fb2, fa1, fa2), s2, gb0, gb1, gb2, ga1, ga2);
        alignas(16) float v[4];
        _mm_store_ps(v, _mm_mul_ps(y, y));
        for (int32_t l = 0; l < lanes; ++l) out[l][i] = v[l];
    }
    storeStates(s1, fs, lanes);
    storeStates(s2, gs, lanes);
}

// Up to four channels side by side, each chain in its own registers.
template <int N>
void meanSquareGroup(const float* const* in, float* const* out, int32_t n, const MeanSquareCoefficients& k,
                     float* states, float* held) {
    const __m128 a = _mm_set1_ps(k.a), a2 = _mm_set1_ps(k.a2), b = _mm_set1_ps(k.b);
    const __m128 A = _mm_setr_ps(k.a, k.a2, k.a3, k.a4);
    const float* x[N];
    float* o[N];
    __m128 s[N], h[N];
#pragma GCC unroll 4
    for (int c = 0; c < N; ++c) {
        x[c] = in[c];
        o[c] = out[c];
        s[c] = _mm_set1_ps(states[c]);
        h[c] = _mm_set1_ps(held[c]);
    }
    int32_t i = 0;
    for (; i + 4 <= n; i += 4) {
#pragma GCC unroll 4
        for (int c = 0; c < N; ++c) {
            const __m128 v = _mm_loadu_ps(x[c] + i);
            const __m128 u = _mm_mul_ps(b, _mm_mul_ps(v, v));
            const __m128 q = _mm_add_ps(u, _mm_mul_ps(a, _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(u), 4))));
            const __m128 r = _mm_add_ps(q, _mm_mul_ps(a2, _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(q), 8))));
            const __m128 y = _mm_add_ps(_mm_mul_ps(A, s[c]), r);
            _mm_storeu_ps(o[c] + i, y);
            h[c] = _mm_max_ps(y, h[c]); // keeps h where y is NaN, as the scalar step does
            s[c] = _mm_shuffle_ps(y, y, 0xFF);
        }
    }
#pragma GCC unroll 4
    for (int c = 0; c < N; ++c) {
        alignas(16) float lanes[4];
        _mm_store_ps(lanes, h[c]);
        float hc = held[c];
        for (int m = 0; m < 4; ++m) hc = lanes[m] > hc ? lanes[m] : hc;
        float sc = _mm_cvtss_f32(s[c]);
        if (i < n) meanSquareStep(x[c] + i, o[c] + i, n - i, k, sc, hc);
        clearStateIfNotFinite(sc);
        states[c] = sc;
        held[c] = hc;
    }
}

// Channels four at a time in the lanes of one register: the recursions of
// four channels run side by side, in the same operation order as the scalar code.
void biquadPairSquareInLanes(const float* const* in, float* const* out, int32_t channels, int32_t n,
                                    const BiquadCoefficients& first, BiquadState* firstStates,
                                    const BiquadCoefficients& second, BiquadState* secondStates) {
    for (int32_t c = 0; c < channels; c += 4) {
        const int32_t lanes = channels - c < 4 ? channels - c : 4;
        pairSquareGroup(in + c, out + c, lanes, n, first, firstStates + c, second, secondStates + c);
    }
}

void meanSquareInLanes(const float* const* in, float* const* out, int32_t channels, int32_t n,
                              const MeanSquareCoefficients& k, float* states, float* held) {
    for (int32_t c = 0; c < channels; c += 4) {
        switch (channels - c < 4 ? channels - c : 4) {
        case 4: meanSquareGroup<4>(in + c, out + c, n, k, states + c, held + c); break;
        case 3: meanSquareGroup<3>(in + c, out + c, n, k, states + c, held + c); break;
        case 2: meanSquareGroup<2>(in + c, out + c, n, k, states + c, held + c); break;
        default: meanSquareGroup<1>(in + c, out + c, n, k, states + c, held + c); break;
        }
    }
}

} // namespace
} // namespace DSP
