#pragma once
// Pieces the vector-primitive implementations share with one another.

#include "dsp/VectorOps.h"

namespace DSP {

namespace scalar {
void biquad(const float* in, float* out, int32_t n, const BiquadCoefficients& k, BiquadState& s);
void clearIfNotFinite(BiquadState& s);
} // namespace scalar

namespace scalar {
void fir(const float* h, int32_t taps, const float* line, float* out, int32_t n);
void interpolate4(const float* phases, int32_t phaseLength, const float* line, float* out, int32_t n);
float interpolate4Peak(const float* phases, int32_t phaseLength, const float* line, int32_t n);
} // namespace scalar

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
