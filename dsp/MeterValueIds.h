#pragma once
// The meter's value ids: readings (getValue) and commands (setValue). The
// parameter tags share this id space.

#include <cstdint>

namespace DSP {

enum MeterValueId : int32_t {
    kValueMomentary = 1,
    kValueShortTerm = 2,
    kValueIntegrated = 3,
    kCommandReset = 4,          // everything measured starts over
    kCommandResetMaxima = 5,    // the two loudness maxima
    kCommandClearRmsHeld = 6,
    kCommandResetTruePeak = 7,
    kValueMomentaryMax = 8,
    kValueShortTermMax = 9,
    kValueLoudnessRange = 10,
    kValueTruePeak = 11,
    kValueTruePeakChannel0 = 12,
    kValueLoudnessEnabled = 13, // also the command that enables loudness
    kCommandRmsScale = 14,      // >= 0.5: RMS readings +3 dB
    kValueInputPeakFirst = 15,  // 15..26: per-channel input peak, read-and-clear
    kValueInputPeakLast = 26,
    kValueRmsFirst = 27,        // 27..38: per-channel RMS
    kValueRmsLast = 38,
    kValueInputPeak = 42,       // overall input peak
    kValueRmsOverall = 43,
    kValueBelowRelativeGate = 45,
    kValueRangeHigh = 51,       // mean square at the 95th percentile
    kValueRangeLow = 52,        // mean square at the 10th percentile
    kCommandOffline = 60,       // >= 0.5: offline blocks, every window evaluated where it arrives
};

} // namespace DSP
