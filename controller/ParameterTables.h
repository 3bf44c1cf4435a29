#pragma once
// The plug-in's static parameter and unit tables: the twelve records processor
// and controller share, the controller's own four, and the two units.

#include "controller/ParameterRecord.h"
#include "controller/UnitRecord.h"

namespace Param {

inline constexpr int32_t kMeterParameterCount = 12;
inline constexpr int32_t kControllerOnlyParameterCount = 4;
inline constexpr int32_t kUnitCount = 2;

// Readings span -80 to 48 (LUFS, LU or dBTP); the table is ready before any
// object can ask for it.
const ParameterRecord* meterParameters();
const ParameterRecord* controllerOnlyParameters();
const UnitRecord* unitRecords();

} // namespace Param
