#include "host/MeasureReport.h"

#include <cstdio>
#include <optional>

#include "host/JsonString.h"

namespace NivoloHost {

namespace {

std::string jsonNumber(std::optional<double> value) {
    if (!value) return "null";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", *value);
    return buffer;
}

} // namespace

void printReportHeader(const AudioSource& source, double seconds, std::ostream& out) {
    char header[160];
    std::snprintf(header, sizeof header, "%.0f Hz, %d channel%s, %.1f s", source.sampleRate(), source.channels(),
                  source.channels() == 1 ? "" : "s", seconds);
    out << source.name() << " (" << header << ")\n";
}

void printReadingLines(const std::function<std::string(int32_t id)>& valueText, const std::string& time,
                       bool integratedOver, bool truePeakOver, std::ostream& out) {
    const std::string unit = valueText(MeterReadings::kUnitSwitch);
    auto line = [&](const char* label, int32_t id, const std::string& u) {
        const std::string text = valueText(id);
        out << label << text << (text == "--" || text.empty() ? std::string() : " " + u) << "\n";
    };
    line("Integrated:        ", MeterReadings::kIntegrated, unit);
    line("Momentary:         ", MeterReadings::kMomentary, unit);
    line("Momentary max:     ", MeterReadings::kMomentaryMax, unit);
    line("Short-term:        ", MeterReadings::kShortTerm, unit);
    line("Short-term max:    ", MeterReadings::kShortTermMax, unit);
    line("Loudness range:    ", MeterReadings::kLoudnessRange, "LU");
    line("True peak:         ", MeterReadings::kTruePeak, "dBTP");
    out << "Elapsed time:      " << time << "\n";
    out << "Integrated over -22 LUFS: " << (integratedOver ? "yes" : "no") << "\n";
    out << "True peak over -1 dBTP:   " << (truePeakOver ? "yes" : "no") << "\n";
}

std::string readingText(const MeterReadings& r, int32_t id) {
    switch (id) {
    case MeterReadings::kUnitSwitch: return r.unit();
    case MeterReadings::kIntegrated: return MeterReadings::text(r.shown(r.integrated));
    case MeterReadings::kMomentary: return MeterReadings::text(r.shown(r.momentary));
    case MeterReadings::kMomentaryMax: return MeterReadings::text(r.shown(r.momentaryMax));
    case MeterReadings::kShortTerm: return MeterReadings::text(r.shown(r.shortTerm));
    case MeterReadings::kShortTermMax: return MeterReadings::text(r.shown(r.shortTermMax));
    case MeterReadings::kLoudnessRange: return MeterReadings::text(r.loudnessRange);
    case MeterReadings::kTruePeak: return MeterReadings::text(r.shownTruePeak());
    default: return {};
    }
}

void printJson(const MeterReadings& r, const std::string& time, const std::string& name, double sampleRate,
               int32_t channels, double seconds, const std::string& warning, std::ostream& out) {
    out << "{\"file\": " << jsonString(name) << ", \"sampleRate\": " << sampleRate
        << ", \"channels\": " << channels << ", \"seconds\": " << jsonNumber(seconds)
        << ", \"unit\": " << jsonString(r.unit()) << ", \"integrated\": " << jsonNumber(r.shown(r.integrated))
        << ", \"momentary\": " << jsonNumber(r.shown(r.momentary))
        << ", \"shortTerm\": " << jsonNumber(r.shown(r.shortTerm))
        << ", \"momentaryMax\": " << jsonNumber(r.shown(r.momentaryMax))
        << ", \"shortTermMax\": " << jsonNumber(r.shown(r.shortTermMax))
        << ", \"loudnessRange\": " << jsonNumber(r.loudnessRange) << ", \"truePeak\": " << jsonNumber(r.shownTruePeak())
        << ", \"time\": " << jsonString(time) << ", \"integratedOver\": " << (r.integratedOver ? "true" : "false")
        << ", \"truePeakOver\": " << (r.truePeakOver ? "true" : "false")
        << ", \"warning\": " << (warning.empty() ? "null" : jsonString(warning)) << "}\n";
}

void printJson(const MeterReadings& r, const std::string& time, const AudioSource& source, double seconds,
               std::ostream& out) {
    printJson(r, time, source.name(), source.sampleRate(), source.channels(), seconds, source.warning(), out);
}

} // namespace NivoloHost
