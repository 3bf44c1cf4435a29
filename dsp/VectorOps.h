#pragma once
// The vector and filter primitives, called through one table of entry points
// whose implementation is chosen once for the running processor. Every
// implementation gives the results stated here; the table only changes speed.

#include <cstdint>

#include "dsp/Biquad.h"

namespace DSP {

// state = b x^2 + a state, with the powers of a the four-sample steps use.
struct MeanSquareCoefficients {
    float a, b;
    float a2, a3, a4; // a * a, a2 * a, a2 * a2 (single precision)
    static MeanSquareCoefficients of(float a, float b) {
        const float a2 = a * a;
        return MeanSquareCoefficients{a, b, a2, a2 * a, a2 * a2};
    }
};

struct VectorOps {
    const char* name;

    // out = biquad(in), n samples, state carried on; in == out allowed.
    // A state left non-finite by bad input is cleared at the end of the call.
    void (*biquad)(const float* in, float* out, int32_t n, const BiquadCoefficients& k, BiquadState& state);
    // For each channel c: out[c] = (second(first(in[c])))^2. Gives exactly
    // what biquad, biquad and square in turn give.
    void (*biquadPairSquare)(const float* const* in, float* const* out, int32_t channels, int32_t n,
                             const BiquadCoefficients& first, BiquadState* firstStates,
                             const BiquadCoefficients& second, BiquadState* secondStates);
    // x = x * x, in place.
    void (*square)(float* x, int32_t n);
    // The sum, accumulated with extended precision and rounded to single.
    float (*sumExtended)(const float* x, int32_t n);
    // Smallest and largest sample (0 and 0 for n = 0).
    void (*minMax)(const float* x, int32_t n, float& minimum, float& maximum);
    // The largest magnitude, at least 0; NaN and infinite samples are passed over.
    float (*peak)(const float* x, int32_t n);
    // True when no sample is NaN or infinite.
    bool (*allFinite)(const float* x, int32_t n);
    // Sum and count of the values strictly greater than threshold, in single precision.
    void (*gatedSum)(const float* x, int32_t n, float threshold, float& sum, int32_t& count);
    // The exponential mean square of each channel: state = b x^2 + a state
    // per sample, each state written to out[c], the largest kept in held[c]
    // (a NaN state is passed over). Evaluated four samples at a time,
    // s[m] = a^(m+1) s + (the inputs' part, summed by doubling steps), so a
    // channel's chain waits on one multiply-add per four samples instead of
    // four. Every table runs the same operations in the same order; they
    // agree with the one-sample form to within single-precision rounding.
    // A state left non-finite by bad input is cleared at the end of the call.
    void (*meanSquare)(const float* const* in, float* const* out, int32_t channels, int32_t n,
                       const MeanSquareCoefficients& k, float* states, float* held);
    // log10 of one value, single precision.
    float (*log10)(float x);

    // FIR: out[i] = sum over k = 0..taps-1, ascending, of h[k] * x[i - k], where
    // line holds taps - 1 earlier inputs followed by the n new ones (x[i] at
    // line[taps - 1 + i]). The caller moves the history along.
    void (*fir)(const float* h, int32_t taps, const float* line, float* out, int32_t n);
    // Four-phase interpolation of a zero-stuffed stream without the zeros:
    // out[4i + p] = sum over j = 0..phaseLength-1, ascending, of
    // phases[4j + p] * x[i - j], with x laid out in line as for fir
    // (phaseLength - 1 earlier inputs, then n new ones). Equal, bit for bit, to
    // fir over the stream with three zeros after every input sample and
    // h[4j + p] = phases[4j + p].
    void (*interpolate4)(const float* phases, int32_t phaseLength, const float* line, float* out, int32_t n);
    // As interpolate4 without storing: the largest magnitude of the 4n outputs.
    float (*interpolate4Peak)(const float* phases, int32_t phaseLength, const float* line, int32_t n);
};

enum class VectorOpsKind { kScalar, kSse2, kAvx2, kAvx512 };

// The table in use.
const VectorOps& vectorOps();
// Chooses the fastest table the processor runs; done at the start of the
// processor's initialize. Idempotent.
void selectVectorOps();
// For tests and benchmarks: use kind if the processor has it. False otherwise.
bool selectVectorOps(VectorOpsKind kind);
bool vectorOpsAvailable(VectorOpsKind kind);
const VectorOps& vectorOpsOf(VectorOpsKind kind);

// The implementations, one per file.
extern const VectorOps kScalarVectorOps;
extern const VectorOps kSse2VectorOps;
extern const VectorOps kAvx2VectorOps;
extern const VectorOps kAvx512VectorOps;

} // namespace DSP
