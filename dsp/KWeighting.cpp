#include "dsp/KWeighting.h"

#include <cmath>

namespace DSP {

BiquadCoefficients shelfCoefficients(double fs) {
    const double A = std::pow(10.0, 0.1);
    const double w = 7539.822368615503 / fs; // 2 pi 1200 / fs
    const double s = std::sin(w), c = std::cos(w);
    const double g = 2.0 * std::sqrt(A);
    // Numerator and denominator use different bandwidths.
    const double betaN = 0.681566333438187 * g * s;
    const double betaD = 0.734638611198489 * g * s;
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
    const double w = 238.76104167282426 / fs; // 2 pi 38 / fs
    const double s = std::sin(w), c = std::cos(w);
    const double alpha = s / 1.0001457938474734;
    const double k = 1.0 / (1.0 + alpha);
    const float b0 = static_cast<float>((1.0 + c) / 2.0 * k);
    return BiquadCoefficients{b0, static_cast<float>(-(1.0 + c) * k), b0, static_cast<float>(-2.0 * c * k),
                              static_cast<float>((1.0 - alpha) * k)};
}

} // namespace DSP
