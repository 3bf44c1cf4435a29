#pragma once
// The fixed-size description of one plug-in parameter, shared byte for byte by
// the processor and the controller.

#include <cstddef>
#include <cstdint>

namespace Param {

struct ParameterRecord {
    enum Kind : int32_t {
        kInteger = 0,
        kContinuous = 1,
        kOnOff = 2,
        kText = 3,
        kList = 4,
        kContinuousNoSteps = 6,
        kHidden = 7, // never reported to the host
    };
    enum Flags : uint32_t {
        kAutomatable = 0x1,
        kReadOnly = 0x2,
        kWrapAround = 0x4,
        kIsList = 0x8,
        kBypass = 0x10000,
        kInternal = 0x20000, // never reported to the host
    };

    uint32_t id;
    char name[128];  // key and skin control name, e.g. "loudnessM"
    char title[128]; // long title, e.g. "Momentary"
    char units[128];
    uint8_t reserved0[4];
    double minValue; // plain value at normalised 0
    double maxValue; // plain value at normalised 1
    double defaultValue;
    double stepSize; // 0: continuous
    int32_t kind;
    uint32_t flags;
    char format[12]; // printf format of the value text; empty means "%.1f"
    int32_t precision;
    int32_t unitId;
    uint8_t reserved1[4];
};

static_assert(sizeof(ParameterRecord) == 456);
static_assert(offsetof(ParameterRecord, id) == 0);
static_assert(offsetof(ParameterRecord, name) == 4);
static_assert(offsetof(ParameterRecord, title) == 132);
static_assert(offsetof(ParameterRecord, units) == 260);
static_assert(offsetof(ParameterRecord, minValue) == 392);
static_assert(offsetof(ParameterRecord, maxValue) == 400);
static_assert(offsetof(ParameterRecord, defaultValue) == 408);
static_assert(offsetof(ParameterRecord, stepSize) == 416);
static_assert(offsetof(ParameterRecord, kind) == 424);
static_assert(offsetof(ParameterRecord, flags) == 428);
static_assert(offsetof(ParameterRecord, format) == 432);
static_assert(offsetof(ParameterRecord, precision) == 444);
static_assert(offsetof(ParameterRecord, unitId) == 448);

} // namespace Param
