// nivolo-host: the command-line host stand-in. Built without the view framework
// (Windows), it offers info and measure through the processor alone.

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <iostream>
#include <string>

#include "host/AudioSource.h"
#include "host/AudioThreadGuard.h"
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
    "       nivolo-host render [FILE] --out OUT.png [--at SECONDS] [--click NAME]... [--stream N] [--lu] [--block N]\n"
    "       nivolo-host live [--capture DEVICE | --play FILE] [--rate R] [--channels N] [--block N] [--scale K]\n"
    "                        [--for SECONDS] [--json] [--screenshot OUT.png] [--module PATH]\n"
    "       nivolo-host --version [--module PATH]\n"
    "  info      print the module's factory and class information\n"
    "  measure   measure FILE (any audio or video file FFmpeg decodes; - reads standard input) or,\n"
    "            without FILE, the built-in programme\n"
    "  render    play FILE (or the built-in programme), click named controls, save the editor as a PNG\n"
    "  live      the editor in a window, metering the default input (or DEVICE, or FILE as it plays) live;\n"
    "            keys: r reset, u LUFS/LU, q or Escape quit\n"
    "  --version print the versions of nivolo-host, the module and FFmpeg\n"
    "  --stream N       the file's Nth audio stream, counted from 0 (default 0: the first)\n"
    "  --raw RATE CHANNELS  FILE (- for standard input) holds raw interleaved 32-bit float samples\n"
    "  --json           one JSON object with the final readings\n"
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
    "  --module PATH    the plug-in module (default: nivolo.so beside nivolo-host)\n";
#else
constexpr bool kWithView = false;
const char* const kUsage =
    "usage: nivolo-host info [--module PATH]\n"
    "       nivolo-host measure [- | FILE --raw RATE CHANNELS] [--json] [--lu] [--block N] [--module PATH]\n"
    "  info      print the module's factory and class information\n"
    "  measure   measure raw samples or, without FILE, the built-in programme\n"
    "  --raw RATE CHANNELS  FILE (- for standard input) holds raw interleaved 32-bit float samples\n"
    "  --json           one JSON object with the final readings\n"
    "  --lu             readings in LU (LUFS + 23) instead of LUFS\n"
    "  --block N        host block size in samples (default 1024)\n"
    "  --module PATH    the plug-in module (default: nivolo.dll beside nivolo-host.exe)\n";
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
            if (!arg.empty() && (arg[0] != '-' || arg == "-") && measure.file.empty()) {
                measure.file = arg;
                continue;
            }
        }
        std::cerr << "nivolo-host: unknown argument '" << arg << "'\n" << kUsage;
        return 2;
    }
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
