#pragma once
// What `measure` prints, whichever way the readings were taken: the text report
// (the editor's value texts) and the one-line JSON object.

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "host/AudioSource.h"
#include "host/MeterReadings.h"
#include "host/QcVerdict.h"

namespace NivoloHost {

// "name (48000 Hz, 2 channels, 30.0 s)".
void printReportHeader(const AudioSource& source, double seconds, std::ostream& out);

// The readings as the editor shows them. valueText gives the text shown for a
// reading's id (MeterReadings::Id, kUnitSwitch the unit); time the elapsed time.
void printReadingLines(const std::function<std::string(int32_t id)>& valueText, const std::string& time,
                       bool integratedOver, bool truePeakOver, std::ostream& out);

// What a controller shows for a reading, from the readings alone: "%.1f", "--"
// below the floor, the unit's name for kUnitSwitch.
std::string readingText(const MeterReadings& readings, int32_t id);

// "Verdict:           PASS", or FAIL and its reasons.
void printVerdictLine(const QcVerdict& verdict, std::ostream& out);

// `--json`: the readings as one JSON object on one line, with what was measured
// (a file's or a device's name), its format, how many seconds, a warning ("" none)
// and, against a target, "verdict" and "reasons".
void printJson(const MeterReadings& r, const std::string& time, const std::string& name, double sampleRate,
               int32_t channels, double seconds, const std::string& warning, std::ostream& out,
               const QcVerdict* verdict = nullptr);
void printJson(const MeterReadings& r, const std::string& time, const AudioSource& source, double seconds,
               std::ostream& out, const QcVerdict* verdict = nullptr);
// The line of a file that could not be measured: {"file": ..., "error": ...}.
void printJsonError(const std::string& name, const std::string& message, std::ostream& out);

// `--csv`: a header, then one row per file: the readings to two decimals
// (empty where there is none), the verdict and its reasons, a warning, an error.
void printCsvHeader(std::ostream& out);
void printCsvRow(const MeterReadings& r, const std::string& name, double sampleRate, int32_t channels, double seconds,
                 const std::string& warning, const QcVerdict* verdict, std::ostream& out);
void printCsvError(const std::string& name, const std::string& message, std::ostream& out);

} // namespace NivoloHost
