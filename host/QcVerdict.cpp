#include "host/QcVerdict.h"

#include <cmath>
#include <cstdio>

namespace NivoloHost {

namespace {

// Hundredths, as the figure is printed: the comparison sees what the user reads.
long long hundredths(double value) { return std::llround(value * 100.0); }

std::string twoDecimals(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", static_cast<double>(hundredths(value)) / 100.0);
    return buffer;
}

} // namespace

std::optional<QcTarget> QcTarget::preset(const std::string& name) {
    QcTarget t;
    if (name == "ebu-r128") {
        t.integrated = -23.0, t.tolerance = 0.5, t.maxTruePeak = -1.0;
    } else if (name == "atsc-a85") {
        t.integrated = -24.0, t.tolerance = 2.0, t.maxTruePeak = -2.0;
    } else if (name == "streaming") {
        t.integrated = -14.0, t.tolerance = 1.0, t.maxTruePeak = -1.0;
    } else {
        return std::nullopt;
    }
    return t;
}

std::string QcTarget::presetNames() { return "ebu-r128, atsc-a85, streaming"; }

QcVerdict QcVerdict::judge(const QcTarget& target, std::optional<double> integrated, std::optional<double> truePeak) {
    QcVerdict verdict;
    if (target.integrated) {
        const double low = *target.integrated - target.tolerance, high = *target.integrated + target.tolerance;
        if (!integrated) {
            verdict.reasons_.push_back("no integrated loudness (silent, or shorter than 0.4 s)");
        } else if (hundredths(*integrated) > hundredths(high)) {
            verdict.reasons_.push_back("integrated " + twoDecimals(*integrated) + " LUFS above " + twoDecimals(high));
        } else if (hundredths(*integrated) < hundredths(low)) {
            verdict.reasons_.push_back("integrated " + twoDecimals(*integrated) + " LUFS below " + twoDecimals(low));
        }
    }
    // No true-peak reading is a peak below the meter's floor: under any ceiling.
    if (target.maxTruePeak && truePeak && hundredths(*truePeak) > hundredths(*target.maxTruePeak))
        verdict.reasons_.push_back("true peak " + twoDecimals(*truePeak) + " dBTP above " +
                                   twoDecimals(*target.maxTruePeak));
    return verdict;
}

std::optional<QcVerdict> QcVerdict::of(const QcTarget& target, const MeterReadings& r) {
    if (!target.any()) return std::nullopt;
    std::optional<double> integrated = r.shown(r.integrated);
    if (integrated && r.luMode) *integrated -= 23.0; // LU are LUFS + 23
    return judge(target, integrated, r.shownTruePeak());
}

} // namespace NivoloHost
