#pragma once
// Quality control of a measured file against a delivery target: PASS, or FAIL
// with one reason per limit it misses. Readings are compared as they are
// printed, to two decimals, so a reading shown at the limit passes.

#include <optional>
#include <string>
#include <vector>

#include "host/MeterReadings.h"

namespace NivoloHost {

// What a file must meet. No integrated target and no true-peak ceiling: no verdict.
struct QcTarget {
    std::optional<double> integrated; // LUFS
    double tolerance = 1.0;           // LU either side of integrated
    std::optional<double> maxTruePeak; // dBTP

    bool any() const { return integrated.has_value() || maxTruePeak.has_value(); }
    // The delivery presets: "ebu-r128", "atsc-a85", "streaming"; nullopt for another name.
    static std::optional<QcTarget> preset(const std::string& name);
    // The presets' names, for a usage message: "ebu-r128, atsc-a85, streaming".
    static std::string presetNames();
};

class QcVerdict {
public:
    // integrated in LUFS and truePeak in dBTP as measured; nullopt where the
    // meter has no reading (silence, or less than one 400 ms window).
    static QcVerdict judge(const QcTarget& target, std::optional<double> integrated, std::optional<double> truePeak);

    // The verdict on a measurement's final readings (shown in LUFS or LU);
    // nullopt when the target sets no limit.
    static std::optional<QcVerdict> of(const QcTarget& target, const MeterReadings& readings);

    bool pass() const { return reasons_.empty(); }
    const char* text() const { return pass() ? "PASS" : "FAIL"; }
    // E.g. "integrated -20.31 LUFS above -22.50", "true peak -0.42 dBTP above -1.00".
    const std::vector<std::string>& reasons() const { return reasons_; }

private:
    std::vector<std::string> reasons_;
};

} // namespace NivoloHost
