#pragma once
// The meter's readings as the host receives them (normalised output parameter
// values), turned back into plain values and display texts. This stands in for
// the edit controller until it exists: the ranges are those the controller
// publishes for these parameters.

#include <cstdint>
#include <optional>
#include <string>

namespace NivoloHost {

struct MeterReadings {
    // Parameter ids of the readings in the output parameter changes.
    enum Id : uint32_t {
        kMomentary = 1,
        kShortTerm = 2,
        kIntegrated = 3,
        kResetLoudness = 4,
        kMomentaryMax = 8,
        kShortTermMax = 9,
        kLoudnessRange = 10,
        kTruePeak = 11,
        kTruePeakOver = 46,
        kIntegratedOver = 47,
        kUnitSwitch = 48,
    };
    static constexpr double kReadingMin = -80.0, kReadingMax = 48.0; // LUFS, LU and dBTP readings
    static constexpr double kRangeMax = 100.0;                       // LU

    double momentary = kReadingMin, shortTerm = kReadingMin, integrated = kReadingMin;
    double momentaryMax = kReadingMin, shortTermMax = kReadingMin;
    double loudnessRange = 0.0;
    double truePeak = kReadingMin;
    bool integratedOver = false, truePeakOver = false;
    bool luMode = false;
    std::string time = "00:00:00";
    bool received = false; // any reading arrived

    // Takes one normalised value; false for ids that carry no reading here.
    bool apply(uint32_t id, double normalized);

    static double readingFromNormalized(double v) { return kReadingMin + (kReadingMax - kReadingMin) * v; }
    static double normalizedFromReading(double plain) { return (plain - kReadingMin) / (kReadingMax - kReadingMin); }

    // What the editor shows: below the floor (-80 LUFS, -57 LU) a loudness reading is "--".
    std::optional<double> shown(double loudness) const;
    std::optional<double> shownTruePeak() const;
    const char* unit() const { return luMode ? "LU" : "LUFS"; }
    // One decimal as the editor shows it, "--" for none.
    static std::string text(std::optional<double> value);
    // Two decimals, "--" for none: the figures scripts read (JSON, CSV).
    static std::string preciseText(std::optional<double> value);
};

} // namespace NivoloHost
