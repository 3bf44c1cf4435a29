#pragma once
// Parameter tags: the ids under which processor, controller and host know the
// plug-in's parameters.

#include <cstdint>

namespace Param {

enum ParameterId : uint32_t {
    kBypass = 0,
    kLoudnessM = 1,
    kLoudnessS = 2,
    kLoudnessI = 3,
    kResetLoudness = 4,
    kResetLoudnessMMax = 5,
    kResetTruePeak = 7,
    kLoudnessMMax = 8,
    kLoudnessSTMax = 9,
    kLoudnessRange = 10,
    kTruePeak = 11,
    kTruePeakOver = 46,
    kLoudnessIOver = 47,
    kScaleModeLoudness = 48,
    kTime = 53,
    kAbout = 54,
};

enum UnitId : int32_t {
    kUnitGlobal = 0,
    kUnitMeter = 1,
};

} // namespace Param
