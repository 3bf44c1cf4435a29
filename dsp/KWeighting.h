#pragma once
// The two frequency-weighting stages of the loudness measurement, designed
// for the actual sample rate: a high-frequency shelf (+4 dB above about
// 1.2 kHz) followed by a 38 Hz high-pass.

#include "dsp/Biquad.h"

namespace DSP {

BiquadCoefficients shelfCoefficients(double sampleRate);
BiquadCoefficients highPassCoefficients(double sampleRate);

} // namespace DSP
