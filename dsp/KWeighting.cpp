#include "dsp/KWeighting.h"

#include <cmath>

namespace DSP {

namespace {
// The high-frequency shelf: +4 dB above about 1.2 kHz, its numerator and
// denominator with different bandwidth factors.
constexpr double kShelfGainDb = 4.0;
constexpr double kShelfTwoPiF0 = 7539.822368615503; // 2 pi 1200 Hz
constexpr double kShelfNumeratorBandwidth = 0.681566333438187;
constexpr double kShelfDenominatorBandwidth = 0.734638611198489;
// The low cut: a second-order high-pass at 38 Hz, Q just above 1.
constexpr double kHighPassTwoPiF0 = 238.76104167282426; // 2 pi 38 Hz
constexpr double kHighPassTwoQ = 1.0001457938474734;     // 2 Q
} // namespace

BiquadCoefficients shelfCoefficients(double fs) {
    const double A = std::pow(10.0, kShelfGainDb / 40.0); // the gain above the shelf is A^2
    const double w = kShelfTwoPiF0 / fs;
    const double s = std::sin(w), c = std::cos(w);
    const double g = 2.0 * std::sqrt(A);
    const double betaN = kShelfNumeratorBandwidth * g * s;
    const double betaD = kShelfDenominatorBandwidth * g * s;
    const float b0 = static_cast<float>(A * ((A + 1) + (A - 1) * c + betaN));
    const float b1 = static_cast<float>(-2.0 * A * ((A - 1) + (A + 1) * c));
    const float b2 = static_cast<float>(A * ((A + 1) + (A - 1) * c - betaN));
    const float a0 = static_cast<float>((A + 1) - (A - 1) * c + betaD);
    const float a1 = static_cast<float>(2.0 * ((A - 1) - (A + 1) * c));
    const float a2 = static_cast<float>((A + 1) - (A - 1) * c - betaD);
    const double inverse = 1.0 / static_cast<double>(a0);
    return BiquadCoefficients{static_cast<float>(b0 * inverse), static_cast<float>(b1 * inverse),
                              static_cast<float>(b2 * inverse), static_cast<float>(a1 * inverse),
                              static_cast<float>(a2 * inverse)};
}

BiquadCoefficients highPassCoefficients(double fs) {
    const double w = kHighPassTwoPiF0 / fs;
    const double s = std::sin(w), c = std::cos(w);
    const double alpha = s / kHighPassTwoQ;
    const double k = 1.0 / (1.0 + alpha);
    const float b0 = static_cast<float>((1.0 + c) / 2.0 * k);
    return BiquadCoefficients{b0, static_cast<float>(-(1.0 + c) * k), b0, static_cast<float>(-2.0 * c * k),
                              static_cast<float>((1.0 - alpha) * k)};
}

} // namespace DSP
