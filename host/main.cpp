// nivolo-host: the command-line host stand-in. Built without the view framework
// (Windows), it offers info and measure through the processor alone.

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "host/AudioSource.h"
#include "host/AudioThreadGuard.h"
#if NIVOLO_HOST_VIEW
#include "host/BatchMeasure.h"
#endif
#include "host/InfoCommand.h"
#if NIVOLO_HOST_VIEW
#include "host/LiveCommand.h"
#endif
#include "host/MeasureCommand.h"
#include "host/ProcessorMeasure.h"

namespace {

#if NIVOLO_HOST_VIEW
constexpr bool kWithView = true;
const char* const kUsage =
    "usage: nivolo-host info [--module PATH]\n"
    "       nivolo-host measure [FILE | -] [--stream N] [--raw RATE CHANNELS] [--json] [--lu] [--block N]\n"
    "                           [--timeline OUT.csv] [--plot OUT.png] [--editor OUT.png] [--realtime] [--module PATH]\n"
    "                           [--spec NAME | --target LUFS [--tolerance LU] [--max-true-peak DBTP]]\n"
    "       nivolo-host measure FILE|FOLDER|- ... [--json | --csv] [--jobs N] [--stream N] [--lu] [--block N]\n"
    "                           [--spec NAME | --target LUFS [--tolerance LU] [--max-true-peak DBTP]]\n"
    "       nivolo-host render [FILE] --out OUT.png [--at SECONDS] [--click NAME]... [--stream N] [--lu] [--block N]\n"
    "       nivolo-host live [--capture DEVICE | --play FILE] [--rate R] [--channels N] [--block N] [--scale K]\n"
    "                        [--for SECONDS] [--json] [--screenshot OUT.png] [--module PATH]\n"
    "       nivolo-host --version [--module PATH]\n"
    "  info      print the module's factory and class information\n"
    "  measure   measure FILE (any audio or video file FFmpeg decodes; - reads standard input) or,\n"
    "            without FILE, the built-in programme; several files and folders (recursively, sorted)\n"
    "            give a table and a summary line, one file per row, several measured at once\n"
    "  render    play FILE (or the built-in programme), click named controls, save the editor as a PNG\n"
    "  live      the editor in a window, metering the default input (or DEVICE, or FILE as it plays) live;\n"
    "            keys: r reset, u LUFS/LU, q or Escape quit\n"
    "  --version print the versions of nivolo-host, the module and FFmpeg\n"
    "  --stream N       the file's Nth audio stream, counted from 0 (default 0: the first)\n"
    "  --raw RATE CHANNELS  FILE (- for standard input) holds raw interleaved 32-bit float samples\n"
    "  --json           one JSON object with the final readings (several files: one line per file)\n"
    "  --csv            a header and one CSV row per file\n"
    "  --jobs N         measure N files at once (default: one per core)\n"
    "  --spec NAME      a delivery target: ebu-r128 (-23 LUFS +-0.5 LU, true peak -1 dBTP),\n"
    "                   atsc-a85 (-24 LUFS +-2 LU, -2 dBTP), streaming (-14 LUFS +-1 LU, -1 dBTP)\n"
    "  --target LUFS    PASS or FAIL on the integrated loudness, within --tolerance LU (default 1)\n"
    "  --max-true-peak DBTP  PASS or FAIL on the true peak; the three override --spec's figures\n"
    "  --lu             readings in LU (LUFS + 23) instead of LUFS\n"
    "  --block N        host block size in samples (default 1024)\n"
    "  --timeline PATH  a CSV row of readings per 100 ms of audio\n"
    "  --plot PATH      a PNG of momentary, short-term and integrated loudness over time\n"
    "  --editor PATH    a PNG of the plug-in's editor as it looks at the end\n"
    "  --out PATH       (render) where the editor's PNG goes\n"
    "  --at SECONDS     (render) play only this much audio first\n"
    "  --click NAME     (render) click the control the skin names NAME, e.g. scaleModeLoudness, about,\n"
    "                   resetLoudness, resetLoudnessMMax, resetTruePeak, loudnessMView; repeatable\n"
    "  --realtime       feed the audio at its own pace and show the readings live\n"
    "  --capture DEVICE (live) meter this input device instead of the default one\n"
    "  --play FILE      (live) play FILE to the output device and meter it as it plays\n"
    "  --rate R         (live) the capture's sample rate in Hz (default 48000)\n"
    "  --channels N     (live) the capture's channels, 1 to 8 (default 2)\n"
    "  --scale K        (live) K x K window pixels per editor pixel (default 1)\n"
    "  --for SECONDS    (live) end after this much audio (or at the end of FILE)\n"
    "  --screenshot PATH (live) a PNG of the window's content at the end\n"
    "  --module PATH    the plug-in module (default: nivolo.so beside nivolo-host)\n"
    "exit status: 0 all well, 1 an error (a file not measured; wins over 4), 2 usage, 4 a verdict FAIL\n";
#else
constexpr bool kWithView = false;
const char* const kUsage =
    "usage: nivolo-host info [--module PATH]\n"
    "       nivolo-host measure [- | FILE --raw RATE CHANNELS] [--json] [--lu] [--block N] [--module PATH]\n"
    "                           [--spec NAME | --target LUFS [--tolerance LU] [--max-true-peak DBTP]]\n"
    "  info      print the module's factory and class information\n"
    "  measure   measure raw samples or, without FILE, the built-in programme\n"
    "  --raw RATE CHANNELS  FILE (- for standard input) holds raw interleaved 32-bit float samples\n"
    "  --json           one JSON object with the final readings\n"
    "  --spec NAME      a delivery target: ebu-r128, atsc-a85 or streaming\n"
    "  --target LUFS    PASS or FAIL on the integrated loudness, within --tolerance LU (default 1)\n"
    "  --max-true-peak DBTP  PASS or FAIL on the true peak (exit status 4 on FAIL)\n"
    "  --lu             readings in LU (LUFS + 23) instead of LUFS\n"
    "  --block N        host block size in samples (default 1024)\n"
    "  --module PATH    the plug-in module (default: nivolo.dll beside nivolo-host.exe)\n"
    "exit status: 0 all well, 1 an error, 2 usage, 4 a verdict FAIL\n";
#endif

// Exit status of a run that worked but broke the audio thread's rules.
constexpr int kGuardViolated = 3;

// Under the audio-thread guard (NIVOLO_AUDIO_GUARD=1) a run fails on any
// violation. A run that failed anyway keeps its one error line when clean.
int guarded(int status) {
    using NivoloHost::AudioThreadGuard;
    if (AudioThreadGuard::enabled()) {
        const bool clean = AudioThreadGuard::counts().violations() == 0;
        if (!clean || (status == 0 && !AudioThreadGuard::quietWhenClean())) AudioThreadGuard::finish(std::cerr);
        if (!clean && status == 0) status = kGuardViolated;
    }
    return status;
}

// The module built beside this executable.
#if defined(_WIN32)
std::string defaultModulePath() {
    char buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return "nivolo.dll";
    std::string self(buffer, n);
    const size_t slash = self.find_last_of("\\/");
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "\\nivolo.dll";
}
#else
std::string defaultModulePath() {
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "nivolo.so";
    std::string self(buffer, static_cast<size_t>(n));
    size_t slash = self.rfind('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/nivolo.so";
}
#endif

// A decimal number with nothing after it, within [low, high].
bool parseNumber(const std::string& text, double low, double high, double& into) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || !end || *end != '\0' || !std::isfinite(v) || v < low || v > high) return false;
    into = v;
    return true;
}

// "--raw RATE CHANNELS": a rate from 1 Hz and 1 to 14 channels (the meter's own limits are checked later).
bool parseRaw(const std::string& rate, const std::string& channels, NivoloHost::MeasureOptions& measure) {
    char* end = nullptr;
    const double r = std::strtod(rate.c_str(), &end);
    if (!end || *end != '\0' || !(r >= 1.0)) return false;
    const long c = std::strtol(channels.c_str(), &end, 10);
    if (!end || *end != '\0' || c < 1 || c > 1024) return false;
    measure.rawRate = r;
    measure.rawChannels = static_cast<int>(c);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    std::string command = argv[1];
#if NIVOLO_HOST_VIEW
    if (command == "live") {
        NivoloHost::LiveOptions live;
        live.modulePath = defaultModulePath();
        if (NivoloHost::parseLiveArguments(argc - 2, argv + 2, live, std::cerr) != 0) {
            std::cerr << kUsage;
            return 2;
        }
        return guarded(NivoloHost::runLive(live, std::cout, std::cerr));
    }
#endif
    NivoloHost::RenderOptions render;
    NivoloHost::MeasureOptions& measure = render.measure;
    measure.modulePath = defaultModulePath();
    // The target's limits: a preset, each overridden by its own option whatever the order.
    std::optional<NivoloHost::QcTarget> preset;
    std::optional<double> targetLoudness, targetTolerance, targetCeiling;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        std::string number;
        if (arg == "--module" && value(measure.modulePath)) continue;
        if (command == "render" && kWithView) {
            if (arg == "--out" && value(render.out)) continue;
            if (arg == "--click" && value(number)) {
                render.clicks.push_back(number);
                continue;
            }
            if (arg == "--at" && value(number)) {
                char* end = nullptr;
                render.at = std::strtod(number.c_str(), &end);
                if (!end || *end != '\0' || !(render.at >= 0.0)) {
                    std::cerr << "nivolo-host: --at wants seconds (0 or more), not '" << number << "'\n";
                    return 2;
                }
                continue;
            }
        }
        if (command == "measure" || (command == "render" && kWithView)) {
            if (arg == "--raw") {
                if (i + 2 >= argc || !parseRaw(argv[i + 1], argv[i + 2], measure)) {
                    std::cerr << "nivolo-host: --raw wants a sample rate and a channel count, e.g. --raw 48000 2\n";
                    return 2;
                }
                i += 2;
                continue;
            }
            if (arg == "--json" && command == "measure") { measure.json = true; continue; }
            if (arg == "--lu") { measure.lu = true; continue; }
            if (kWithView && command == "measure") {
                if (arg == "--realtime") { measure.realtime = true; continue; }
                if (arg == "--timeline" && value(measure.timeline)) continue;
                if (arg == "--plot" && value(measure.plot)) continue;
                if (arg == "--editor" && value(measure.editor)) continue;
            }
            if (kWithView && arg == "--stream" && value(number)) {
                char* end = nullptr;
                const long n = std::strtol(number.c_str(), &end, 10);
                if (number.empty() || !end || *end != '\0' || n < 0 || n > 1000000) {
                    std::cerr << "nivolo-host: --stream wants an audio stream number (0 or more), not '" << number << "'\n";
                    return 2;
                }
                measure.stream = static_cast<int>(n);
                continue;
            }
            if (arg == "--block" && value(number)) {
                char* end = nullptr;
                const long n = std::strtol(number.c_str(), &end, 10);
                if (!end || *end != '\0' || n < 1 || n > (1 << 20)) {
                    std::cerr << "nivolo-host: --block wants a sample count from 1 to 1048576, not '" << number << "'\n";
                    return 2;
                }
                measure.blockSize = static_cast<int>(n);
                continue;
            }
            if (command == "measure") {
                const bool target = arg == "--target", tolerance = arg == "--tolerance", ceiling = arg == "--max-true-peak";
                if ((target || tolerance || ceiling) && value(number)) {
                    double v = 0.0;
                    if (!parseNumber(number, tolerance ? 0.0 : -80.0, tolerance ? 40.0 : 48.0, v)) {
                        std::cerr << "nivolo-host: " << arg << " wants "
                                  << (tolerance ? "LU from 0 to 40" : target ? "LUFS from -80 to 48" : "dBTP from -80 to 48")
                                  << ", not '" << number << "'\n";
                        return 2;
                    }
                    (target ? targetLoudness : tolerance ? targetTolerance : targetCeiling) = v;
                    continue;
                }
                if (arg == "--spec" && value(number)) {
                    preset = NivoloHost::QcTarget::preset(number);
                    if (!preset) {
                        std::cerr << "nivolo-host: --spec is one of " << NivoloHost::QcTarget::presetNames() << ", not '"
                                  << number << "'\n";
                        return 2;
                    }
                    continue;
                }
            }
            if (kWithView && command == "measure") {
                if (arg == "--csv") { measure.csv = true; continue; }
                if (arg == "--jobs" && value(number)) {
                    double n = 0.0;
                    if (!parseNumber(number, 1.0, 256.0, n) || n != std::floor(n)) {
                        std::cerr << "nivolo-host: --jobs wants a number of files to measure at once, 1 to 256, not '"
                                  << number << "'\n";
                        return 2;
                    }
                    measure.jobs = static_cast<int>(n);
                    continue;
                }
                if (!arg.empty() && (arg[0] != '-' || arg == "-")) {
                    measure.inputs.push_back(arg);
                    continue;
                }
            }
            if (!arg.empty() && (arg[0] != '-' || arg == "-") && measure.file.empty()) {
                measure.file = arg;
                continue;
            }
        }
        std::cerr << "nivolo-host: unknown argument '" << arg << "'\n" << kUsage;
        return 2;
    }
    if (preset) measure.target = *preset;
    if (targetLoudness) measure.target.integrated = targetLoudness;
    if (targetTolerance) measure.target.tolerance = *targetTolerance;
    if (targetCeiling) measure.target.maxTruePeak = targetCeiling;
    if (targetTolerance && !measure.target.integrated) {
        std::cerr << "nivolo-host: --tolerance needs --target LUFS (or --spec)\n";
        return 2;
    }
#if NIVOLO_HOST_VIEW
    // Several files, a folder or CSV: the batch. One file keeps its own report.
    bool batch = false;
    if (command == "measure") {
        std::error_code ignored;
        batch = measure.inputs.size() > 1 || measure.csv ||
                (measure.inputs.size() == 1 && std::filesystem::is_directory(measure.inputs[0], ignored));
        if (!batch && !measure.inputs.empty()) measure.file = measure.inputs[0];
        const char* single = measure.rawRate > 0.0      ? "--raw"
                             : !measure.timeline.empty() ? "--timeline"
                             : !measure.plot.empty()     ? "--plot"
                             : !measure.editor.empty()   ? "--editor"
                             : measure.realtime          ? "--realtime"
                                                         : nullptr;
        if (batch && single) {
            std::cerr << "nivolo-host: " << single << " measures one file, not several, a folder or CSV\n";
            return 2;
        }
        if (measure.json && measure.csv) {
            std::cerr << "nivolo-host: --json or --csv, not both\n";
            return 2;
        }
        if (batch && std::count(measure.inputs.begin(), measure.inputs.end(), std::string("-")) > 1) {
            std::cerr << "nivolo-host: standard input (-) can be measured once\n";
            return 2;
        }
        if (measure.csv && measure.inputs.empty()) {
            std::cerr << "nivolo-host: --csv needs FILE, a folder or -\n";
            return 2;
        }
    }
#endif
    if (command == "info") return NivoloHost::runInfo(measure.modulePath, std::cout, std::cerr);
    if (command == "--version") {
#if NIVOLO_HOST_VIEW
        const std::string libraries = NivoloHost::AudioSource::libraryVersions();
#else
        const std::string libraries = "no media libraries: raw samples only";
#endif
        return NivoloHost::runVersion(NIVOLO_VERSION, measure.modulePath, libraries, std::cout, std::cerr);
    }
    if (!kWithView && measure.file == "-" && !(measure.rawRate > 0.0)) {
        std::cerr << "nivolo-host: standard input (-) is read as raw samples: give --raw RATE CHANNELS\n";
        return 2;
    }
    if (measure.rawRate > 0.0 && measure.file.empty()) {
        std::cerr << "nivolo-host: --raw needs FILE, or - for standard input\n";
        return 2;
    }
    if (command == "measure" || (command == "render" && kWithView)) {
        int status = 0;
#if NIVOLO_HOST_VIEW
        if (batch) {
            // The bar on the error stream: it stays on the terminal when the results go to a file.
            measure.progress = isatty(STDERR_FILENO);
            return guarded(NivoloHost::runBatchMeasure(measure, std::cout, std::cerr));
        }
        measure.progress = command == "measure" && isatty(STDOUT_FILENO) && !measure.json;
        status = command == "measure" ? NivoloHost::runMeasure(measure, std::cout, std::cerr)
                                      : NivoloHost::runRender(render, std::cout, std::cerr);
#else
        status = NivoloHost::runProcessorMeasure(measure, std::cout, std::cerr);
#endif
        return guarded(status);
    }
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    std::cerr << "nivolo-host: unknown command '" << command << "'\n" << kUsage;
    return 2;
}
