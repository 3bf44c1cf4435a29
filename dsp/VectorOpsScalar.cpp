// The portable reference implementation: one sample at a time. Built without
// auto-vectorisation so that it stays the plain reference the others are
// checked and timed against.

#include <cfloat>
#include <cmath>

#include "dsp/VectorOpsInternal.h"

namespace DSP {

namespace {

void clearIfNotFinite(BiquadState& s) {
    if (!std::isfinite(s.x1) || !std::isfinite(s.x2) || !std::isfinite(s.y1) || !std::isfinite(s.y2)) s.clear();
}

void biquad(const float* in, float* out, int32_t n, const BiquadCoefficients& k, BiquadState& s) {
    float x1 = s.x1, x2 = s.x2, y1 = s.y1, y2 = s.y2;
    for (int32_t i = 0; i < n; ++i) {
        const float x = in[i];
        // The last output enters last: the recursion then waits on one
        // multiply and one subtraction per sample, not on three operations.
        const float y = k.b0 * x + k.b1 * x1 + k.b2 * x2 - k.a2 * y2 - k.a1 * y1;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        out[i] = y;
    }
    s = BiquadState{x1, x2, y1, y2};
    clearIfNotFinite(s);
}

void square(float* x, int32_t n) {
    for (int32_t i = 0; i < n; ++i) x[i] = x[i] * x[i];
}

void biquadPairSquare(const float* const* in, float* const* out, int32_t channels, int32_t n,
                      const BiquadCoefficients& first, BiquadState* firstStates, const BiquadCoefficients& second,
                      BiquadState* secondStates) {
    for (int32_t c = 0; c < channels; ++c) {
        biquad(in[c], out[c], n, first, firstStates[c]);
        biquad(out[c], out[c], n, second, secondStates[c]);
        square(out[c], n);
    }
}

float sumExtended(const float* x, int32_t n) {
    double sum = 0.0;
    for (int32_t i = 0; i < n; ++i) sum += x[i];
    return static_cast<float>(sum);
}

void minMax(const float* x, int32_t n, float& minimum, float& maximum) {
    float lo = n > 0 ? x[0] : 0.0f, hi = lo;
    for (int32_t i = 1; i < n; ++i) {
        lo = x[i] < lo ? x[i] : lo;
        hi = x[i] > hi ? x[i] : hi;
    }
    minimum = lo;
    maximum = hi;
}

float peak(const float* x, int32_t n) {
    float p = 0.0f;
    for (int32_t i = 0; i < n; ++i) {
        const float m = std::fabs(x[i]);
        p = m > p && m <= FLT_MAX ? m : p;
    }
    return p;
}

bool allFinite(const float* x, int32_t n) {
    float acc = 0.0f; // x - x is 0 for every finite x, NaN otherwise
    for (int32_t i = 0; i < n; ++i) acc += x[i] - x[i];
    return acc == 0.0f;
}

void gatedSum(const float* x, int32_t n, float threshold, float& sum, int32_t& count) {
    float s = 0.0f;
    int32_t k = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (x[i] > threshold) {
            s += x[i];
            ++k;
        }
    }
    sum = s;
    count = k;
}

float log10Scalar(float x) { return std::log10(x); }

void meanSquare(const float* const* in, float* const* out, int32_t channels, int32_t n,
                const MeanSquareCoefficients& k, float* states, float* held) {
    for (int32_t c = 0; c < channels; ++c) {
        for (int32_t i = 0; i < n; i += 4)
            meanSquareStep(in[c] + i, out[c] + i, n - i < 4 ? n - i : 4, k, states[c], held[c]);
        clearStateIfNotFinite(states[c]);
    }
}

} // namespace

void scalar::fir(const float* h, int32_t taps, const float* line, float* out, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const float* x = line + (taps - 1) + i; // x[0] is the newest input
        float sum = 0.0f;
        for (int32_t k = 0; k < taps; ++k) sum += h[k] * x[-k];
        out[i] = sum;
    }
}

void scalar::interpolate4(const float* phases, int32_t phaseLength, const float* line, float* out, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        const float* x = line + (phaseLength - 1) + i;
        for (int32_t p = 0; p < 4; ++p) {
            float sum = 0.0f;
            for (int32_t j = 0; j < phaseLength; ++j) sum += phases[4 * j + p] * x[-j];
            out[4 * i + p] = sum;
        }
    }
}

float scalar::interpolate4Peak(const float* phases, int32_t phaseLength, const float* line, int32_t n) {
    float peak = 0.0f;
    for (int32_t i = 0; i < n; ++i) {
        const float* x = line + (phaseLength - 1) + i;
        for (int32_t p = 0; p < 4; ++p) {
            float sum = 0.0f;
            for (int32_t j = 0; j < phaseLength; ++j) sum += phases[4 * j + p] * x[-j];
            const float magnitude = std::fabs(sum);
            peak = magnitude > peak ? magnitude : peak;
        }
    }
    return peak;
}

void scalar::biquad(const float* in, float* out, int32_t n, const BiquadCoefficients& k, BiquadState& s) {
    DSP::biquad(in, out, n, k, s);
}

void scalar::clearIfNotFinite(BiquadState& s) { DSP::clearIfNotFinite(s); }

float scalar::log10(float x) { return log10Scalar(x); }

const VectorOps kScalarVectorOps = {
    "scalar",       biquad,       biquadPairSquare,       square, sumExtended, minMax, peak, allFinite, gatedSum, meanSquare, log10Scalar,
    scalar::fir, scalar::interpolate4, scalar::interpolate4Peak,
};

} // namespace DSP
