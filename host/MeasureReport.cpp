#include "host/MeasureReport.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "host/JsonString.h"

namespace NivoloHost {

namespace {

std::string jsonNumber(std::optional<double> value) {
    if (!value) return "null";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", *value);
    return buffer;
}

// RFC 4180: a field with a comma, a quote or a line break goes in quotes, its quotes doubled.
std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string csvNumber(std::optional<double> value) { return value ? MeterReadings::preciseText(value) : std::string(); }

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
    return out;
}

} // namespace

void printVerdictLine(const QcVerdict& verdict, std::ostream& out) {
    out << "Verdict:           " << verdict.text();
    if (!verdict.pass()) out << ": " << joined(verdict.reasons(), "; ");
    out << "\n";
}

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
               int32_t channels, double seconds, const std::string& warning, std::ostream& out,
               const QcVerdict* verdict) {
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
        << ", \"warning\": " << (warning.empty() ? "null" : jsonString(warning));
    if (verdict) {
        out << ", \"verdict\": " << jsonString(verdict->text()) << ", \"reasons\": [";
        for (size_t i = 0; i < verdict->reasons().size(); ++i) out << (i ? ", " : "") << jsonString(verdict->reasons()[i]);
        out << "]";
    }
    out << "}\n";
}

void printJson(const MeterReadings& r, const std::string& time, const AudioSource& source, double seconds,
               std::ostream& out, const QcVerdict* verdict) {
    printJson(r, time, source.name(), source.sampleRate(), source.channels(), seconds, source.warning(), out, verdict);
}

void printJsonError(const std::string& name, const std::string& message, std::ostream& out) {
    out << "{\"file\": " << jsonString(name) << ", \"error\": " << jsonString(message) << "}\n";
}

void printCsvHeader(std::ostream& out) {
    out << "file,sampleRate,channels,seconds,unit,integrated,loudnessRange,truePeak,momentaryMax,shortTermMax,"
           "verdict,reasons,warning,error\n";
}

void printCsvRow(const MeterReadings& r, const std::string& name, double sampleRate, int32_t channels, double seconds,
                 const std::string& warning, const QcVerdict* verdict, std::ostream& out) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.0f", sampleRate);
    out << csvField(name) << "," << rate << "," << channels << "," << MeterReadings::preciseText(seconds) << ","
        << r.unit() << "," << csvNumber(r.shown(r.integrated)) << "," << MeterReadings::preciseText(r.loudnessRange)
        << "," << csvNumber(r.shownTruePeak()) << "," << csvNumber(r.shown(r.momentaryMax)) << ","
        << csvNumber(r.shown(r.shortTermMax)) << "," << (verdict ? verdict->text() : "") << ","
        << csvField(verdict ? joined(verdict->reasons(), "; ") : std::string()) << "," << csvField(warning) << ",\n";
}

void printCsvError(const std::string& name, const std::string& message, std::ostream& out) {
    out << csvField(name) << ",,,,,,,,,,,,," << csvField(message) << "\n";
}

} // namespace NivoloHost
