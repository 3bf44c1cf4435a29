#include "host/MeterReadings.h"

#include <cstdio>

namespace NivoloHost {

bool MeterReadings::apply(uint32_t id, double v) {
    switch (id) {
    case kMomentary: momentary = readingFromNormalized(v); break;
    case kShortTerm: shortTerm = readingFromNormalized(v); break;
    case kIntegrated: integrated = readingFromNormalized(v); break;
    case kMomentaryMax: momentaryMax = readingFromNormalized(v); break;
    case kShortTermMax: shortTermMax = readingFromNormalized(v); break;
    case kLoudnessRange: loudnessRange = kRangeMax * v; break;
    case kTruePeak: truePeak = readingFromNormalized(v); break;
    case kTruePeakOver: truePeakOver = v >= 0.5; break;
    case kIntegratedOver: integratedOver = v >= 0.5; break;
    default: return false;
    }
    received = true;
    return true;
}

std::optional<double> MeterReadings::shown(double loudness) const {
    const double floor = luMode ? -57.0 : -80.0;
    if (loudness > floor) return loudness;
    return std::nullopt;
}

std::optional<double> MeterReadings::shownTruePeak() const {
    if (truePeak > -80.0) return truePeak;
    return std::nullopt;
}

namespace {
std::string formatted(std::optional<double> value, const char* format) {
    if (!value) return "--";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, *value);
    return buffer;
}
} // namespace

std::string MeterReadings::text(std::optional<double> value) { return formatted(value, "%.1f"); }
std::string MeterReadings::preciseText(std::optional<double> value) { return formatted(value, "%.2f"); }

} // namespace NivoloHost
