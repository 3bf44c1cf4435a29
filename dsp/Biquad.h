#pragma once
// A second-order section in single precision (direct form I), evaluated left
// to right as y = b0 x + b1 x1 + b2 x2 - a2 y2 - a1 y1.

namespace DSP {

struct BiquadCoefficients {
    float b0, b1, b2, a1, a2; // a0 normalised to 1
};

// The past two inputs and outputs; persists across calls.
struct BiquadState {
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    void clear() { *this = BiquadState{}; }
};

} // namespace DSP
