#include "controller/ParameterTables.h"

#include "controller/ParameterIds.h"

namespace Param {

namespace {

constexpr void copyText(char* field, size_t size, const char* text) {
    size_t i = 0;
    for (; i + 1 < size && text[i] != '\0'; ++i) field[i] = text[i];
    for (; i < size; ++i) field[i] = '\0';
}

constexpr ParameterRecord record(uint32_t id, const char* name, const char* title, const char* units, double min,
                                 double max, double def, double step, int32_t kind, uint32_t flags,
                                 const char* format, int32_t precision, int32_t unitId) {
    ParameterRecord r{};
    r.id = id;
    copyText(r.name, sizeof r.name, name);
    copyText(r.title, sizeof r.title, title);
    copyText(r.units, sizeof r.units, units);
    r.minValue = min;
    r.maxValue = max;
    r.defaultValue = def;
    r.stepSize = step;
    r.kind = kind;
    r.flags = flags;
    copyText(r.format, sizeof r.format, format);
    r.precision = precision;
    r.unitId = unitId;
    return r;
}

using R = ParameterRecord;

// The six loudness and true-peak readings are stored without a range; the
// load step below gives them theirs.
ParameterRecord gMeterParameters[kMeterParameterCount] = {
    record(kLoudnessM, "loudnessM", "Momentary", "", 0, 0, 0, 0.1, R::kContinuous, R::kReadOnly, "%.1f", 1, 0),
    record(kLoudnessS, "loudnessS", "ShortTerm", "", 0, 0, 0, 0.1, R::kContinuous, R::kReadOnly, "%.1f", 1, 0),
    record(kLoudnessI, "loudnessI", "Integrated", "", 0, 0, 0, 0.1, R::kContinuous, R::kReadOnly, "%.1f", 1, 0),
    record(kLoudnessMMax, "loudnessMMax", "MomentMax", "", 0, 0, 0, 0.1, R::kContinuous, R::kReadOnly, "%.1f", 1, 0),
    record(kLoudnessSTMax, "loudnessSTMax", "ShortTermMax", "", 0, 0, 0, 0.1, R::kContinuous, R::kReadOnly, "%.1f",
           1, 0),
    record(kLoudnessRange, "loudnessRange", "LoudnessRange", "LU", 0, 100, 0, 0.1, R::kContinuous, R::kReadOnly,
           "%.1f", 1, 0),
    record(kTruePeak, "truePeak", "TruePeak", "dB", 0, 0, 0, 0.1, R::kContinuous, R::kReadOnly, "%.1f", 1, 0),
    record(kResetLoudness, "resetLoudness", "ResetLoudness", "On/Off", 0, 1, 0, 1, R::kOnOff, 0, "%.0f", 0, 0),
    record(kResetLoudnessMMax, "resetLoudnessMMax", "ResetLoudnessMMax", "On/Off", 0, 1, 0, 1, R::kOnOff, 0, "%.0f",
           0, 0),
    record(kResetTruePeak, "resetTruePeak", "ResetTruePeak", "On/Off", 0, 1, 0, 1, R::kOnOff, 0, "%.0f", 0, 0),
    record(kScaleModeLoudness, "scaleModeLoudness", "ScaleLU", "", 0, 1, 0, 1, R::kInteger, 0, "%.0f", 0, 0),
    record(kBypass, "bypass", "Bypass", "On/Off", 0, 1, 0, 1, R::kOnOff, R::kBypass, "%.0f", 0, 0),
};

const ParameterRecord gControllerOnlyParameters[kControllerOnlyParameterCount] = {
    record(kTruePeakOver, "truePeakOver", "TP-Over", "", 0, 1, 0, 1, R::kInteger, R::kReadOnly, "%.0f", 0, kUnitMeter),
    record(kLoudnessIOver, "loudnessIOver", "IL-Over", "", 0, 1, 0, 1, R::kInteger, R::kReadOnly, "%.0f", 0,
           kUnitMeter),
    record(kTime, "time", "Time", "", 0, 1, 0, 1, R::kText, R::kReadOnly, "%.0f", 0, kUnitMeter),
    record(kAbout, "about", "About", "", 0, 1, 0, 1, R::kInteger, 0, "%.0f", 0, kUnitGlobal),
};

constexpr UnitRecord unit(int32_t id, int32_t parent, const char* name) {
    UnitRecord u{};
    u.id = id;
    u.parentUnit = parent;
    copyText(u.name, sizeof u.name, name);
    u.programList = -1;
    return u;
}

const UnitRecord gUnits[kUnitCount] = {
    unit(kUnitGlobal, -1, "Global"),
    unit(kUnitMeter, kUnitGlobal, "Meter"),
};

bool applyReadingRanges() {
    for (ParameterRecord& r : gMeterParameters) {
        switch (r.id) {
        case kLoudnessM:
        case kLoudnessS:
        case kLoudnessI:
        case kLoudnessMMax:
        case kLoudnessSTMax:
        case kTruePeak:
            r.minValue = -80.0;
            r.maxValue = 48.0;
            break;
        default:
            break;
        }
    }
    return true;
}
} // namespace

const ParameterRecord* meterParameters() {
    static const bool applied = applyReadingRanges(); // once, whoever comes first
    (void)applied;
    return gMeterParameters;
}

namespace {
// The load step: the ranges are in place before any object is created.
const ParameterRecord* const gLoaded = meterParameters();
} // namespace

const ParameterRecord* controllerOnlyParameters() { return gControllerOnlyParameters; }

const UnitRecord* unitRecords() { return gUnits; }

} // namespace Param
