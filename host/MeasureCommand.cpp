#include "host/MeasureCommand.h"

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "host/AudioSource.h"
#include "host/LoudnessPlot.h"
#include "host/PluginModule.h"
#include "host/ProcessingSession.h"

namespace NivoloHost {

namespace {

constexpr int kMaxChannels = 14;
constexpr double kTimelineStep = 0.1; // seconds of audio between timeline rows and worker pauses

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string jsonNumber(std::optional<double> value) {
    if (!value) return "null";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", *value);
    return buffer;
}

bool findProcessorClass(Zel::IPluginFactory* factory, Zel::TUID& cid) {
    for (int32_t i = 0; i < factory->classCount(); ++i) {
        Zel::ClassInfo info{};
        if (factory->readClassInfo(i, &info) != Zel::kResultOk) continue;
        if (std::strncmp(info.category, "Audio Module Class", sizeof info.category) == 0) {
            cid = info.cid;
            return true;
        }
    }
    return false;
}

void printReadings(const MeterReadings& r, std::ostream& out) {
    const char* unit = r.unit();
    auto line = [&](const char* label, std::optional<double> value, const char* u) {
        out << label << MeterReadings::text(value) << (value ? std::string(" ") + u : std::string()) << "\n";
    };
    line("Integrated:        ", r.shown(r.integrated), unit);
    line("Momentary:         ", r.shown(r.momentary), unit);
    line("Momentary max:     ", r.shown(r.momentaryMax), unit);
    line("Short-term:        ", r.shown(r.shortTerm), unit);
    line("Short-term max:    ", r.shown(r.shortTermMax), unit);
    line("Loudness range:    ", r.loudnessRange, "LU");
    line("True peak:         ", r.shownTruePeak(), "dBTP");
    out << "Elapsed time:      " << r.time << "\n";
    out << "Integrated over -22 LUFS: " << (r.integratedOver ? "yes" : "no") << "\n";
    out << "True peak over -1 dBTP:   " << (r.truePeakOver ? "yes" : "no") << "\n";
}

void printJson(const MeterReadings& r, const AudioSource& source, double seconds, std::ostream& out) {
    out << "{\"file\": " << jsonString(source.name()) << ", \"sampleRate\": " << source.sampleRate()
        << ", \"channels\": " << source.channels() << ", \"seconds\": " << jsonNumber(seconds)
        << ", \"unit\": " << jsonString(r.unit()) << ", \"integrated\": " << jsonNumber(r.shown(r.integrated))
        << ", \"momentary\": " << jsonNumber(r.shown(r.momentary))
        << ", \"shortTerm\": " << jsonNumber(r.shown(r.shortTerm))
        << ", \"momentaryMax\": " << jsonNumber(r.shown(r.momentaryMax))
        << ", \"shortTermMax\": " << jsonNumber(r.shown(r.shortTermMax))
        << ", \"loudnessRange\": " << jsonNumber(r.loudnessRange) << ", \"truePeak\": " << jsonNumber(r.shownTruePeak())
        << ", \"time\": " << jsonString(r.time) << ", \"integratedOver\": " << (r.integratedOver ? "true" : "false")
        << ", \"truePeakOver\": " << (r.truePeakOver ? "true" : "false") << "}\n";
}

// Ids of this process's threads.
std::vector<long> threadIds() {
    std::vector<long> ids;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks))
            if (entry->d_name[0] != '.') ids.push_back(std::atol(entry->d_name));
        closedir(tasks);
    }
    return ids;
}

// Running or ready to run; a thread that waits (or has ended) is not.
bool threadBusy(long id) {
    std::ifstream stat("/proc/self/task/" + std::to_string(id) + "/stat");
    std::string text;
    std::getline(stat, text);
    const size_t name = text.rfind(')');
    if (name == std::string::npos || name + 2 >= text.size()) return false;
    return text[name + 2] == 'R' || text[name + 2] == 'D';
}

// The module hands each analysis window to a worker thread and drops a window
// its worker has not made room for yet. Fed faster than real time, the host
// waits until the workers sleep again: they have then taken all they were
// given. Bounded, so that a stuck worker only slows the run down.
void letWorkersCatchUp(const std::vector<long>& workers, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::any_of(workers.begin(), workers.end(), threadBusy) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(20));
}

void drawProgress(double fraction, std::ostream& out) {
    const int width = 40;
    const int filled = static_cast<int>(fraction * width + 0.5);
    out << "\r[" << std::string(static_cast<size_t>(filled), '#') << std::string(static_cast<size_t>(width - filled), ' ')
        << "] " << static_cast<int>(fraction * 100 + 0.5) << "%" << std::flush;
}

} // namespace

int runMeasure(const MeasureOptions& options, std::ostream& out, std::ostream& err) {
    auto fail = [&](const std::string& message) {
        err << "nivolo-host: " << message << "\n";
        return 1;
    };
    if (options.blockSize < 1 || options.blockSize > 1 << 20) return fail("--block must be between 1 and 1048576");

    std::string error;
    std::unique_ptr<AudioSource> source =
        options.file.empty() ? AudioSource::builtInProgramme() : AudioSource::openFile(options.file, error);
    if (!source) return fail(error);
    if (source->channels() < 1 || source->channels() > kMaxChannels)
        return fail("'" + source->name() + "' has " + std::to_string(source->channels()) +
                    " channels; the meter measures 1 to 14");
    if (source->frames() <= 0) return fail("'" + source->name() + "' holds no audio");
    if (!(source->sampleRate() >= 1.0)) return fail("'" + source->name() + "' has no valid sample rate");

    PluginModule module;
    if (!module.load(options.modulePath, error)) return fail(error);
    Zel::TUID processorClass{};
    if (!findProcessorClass(module.factory(), processorClass)) return fail("the module offers no audio processor");

    const std::vector<long> threadsBefore = threadIds();
    ProcessingSession session;
    ProcessingSession::Options setup;
    setup.sampleRate = source->sampleRate();
    setup.channels = source->channels();
    setup.blockSize = options.blockSize;
    setup.processMode = options.realtime ? Zel::kRealtime : Zel::kOffline;
    if (!session.open(module.factory(), processorClass, setup, error)) return fail(error);
    // The threads the processor started: its window workers. They first take the
    // reset of the new meter, which would otherwise clear windows handed in meanwhile.
    std::vector<long> workers;
    for (long id : threadIds())
        if (std::find(threadsBefore.begin(), threadsBefore.end(), id) == threadsBefore.end()) workers.push_back(id);
    letWorkersCatchUp(workers, std::chrono::seconds(1));
    if (options.lu) session.changeParameter(MeterReadings::kUnitSwitch, 1.0);

    std::ofstream timeline;
    if (!options.timeline.empty()) {
        timeline.open(options.timeline);
        if (!timeline) return fail("cannot write the timeline '" + options.timeline + "'");
        timeline << "seconds,momentary,shortTerm,integrated,momentaryMax,shortTermMax,loudnessRange,truePeak\n";
    }

    LoudnessSeries series;
    series.lu = options.lu;
    series.title = source->name();

    const int32_t channels = source->channels();
    const auto block = static_cast<size_t>(options.blockSize);
    std::vector<float> interleaved(block * static_cast<size_t>(channels));
    std::vector<std::vector<float>> planar(static_cast<size_t>(channels), std::vector<float>(block));
    std::vector<float*> pointers(static_cast<size_t>(channels));
    for (int32_t c = 0; c < channels; ++c) pointers[static_cast<size_t>(c)] = planar[static_cast<size_t>(c)].data();

    const int64_t total = source->frames();
    const auto step = static_cast<int64_t>(kTimelineStep * source->sampleRate());
    int64_t done = 0, nextStep = step;
    int lastPercent = -1;
    const auto start = std::chrono::steady_clock::now();
    while (done < total) {
        const int64_t got = source->read(interleaved.data(), std::min<int64_t>(static_cast<int64_t>(block), total - done));
        if (got <= 0) break;
        for (int64_t i = 0; i < got; ++i)
            for (int32_t c = 0; c < channels; ++c)
                planar[static_cast<size_t>(c)][static_cast<size_t>(i)] = interleaved[static_cast<size_t>(i * channels + c)];
        session.requestData();
        session.processBlock(pointers.data(), pointers.data(), static_cast<int32_t>(got));
        done += got;

        if (options.realtime) {
            // At the audio's own pace, with the readings live on the terminal.
            std::this_thread::sleep_until(start + std::chrono::duration<double>(static_cast<double>(done) / source->sampleRate()));
            if (options.progress) {
                const MeterReadings& r = session.readings();
                out << "\rM " << MeterReadings::text(r.shown(r.momentary)) << "  S " << MeterReadings::text(r.shown(r.shortTerm))
                    << "  I " << MeterReadings::text(r.shown(r.integrated)) << " " << r.unit() << "  LRA "
                    << MeterReadings::text(r.loudnessRange) << "  TP " << MeterReadings::text(r.shownTruePeak()) << "  "
                    << r.time << "   " << std::flush;
            }
        }
        while (done >= nextStep) {
            {
                const MeterReadings& r = session.readings();
                auto value = [](std::optional<double> v) { return v ? *v : NAN; };
                series.add(static_cast<double>(nextStep) / source->sampleRate(), value(r.shown(r.momentary)),
                           value(r.shown(r.shortTerm)), value(r.shown(r.integrated)));
            }
            if (timeline.is_open()) {
                const MeterReadings& r = session.readings();
                auto cell = [](std::optional<double> v) { return v ? MeterReadings::text(v) : std::string(); };
                timeline << static_cast<double>(nextStep) / source->sampleRate() << "," << cell(r.shown(r.momentary)) << ","
                         << cell(r.shown(r.shortTerm)) << "," << cell(r.shown(r.integrated)) << ","
                         << cell(r.shown(r.momentaryMax)) << "," << cell(r.shown(r.shortTermMax)) << ","
                         << MeterReadings::text(r.loudnessRange) << "," << cell(r.shownTruePeak()) << "\n";
            }
            if (!options.realtime) letWorkersCatchUp(workers, std::chrono::milliseconds(200));
            nextStep += step;
        }
        if (options.progress && !options.realtime) {
            const int percent = static_cast<int>(100 * done / total);
            if (percent != lastPercent) drawProgress(static_cast<double>(done) / static_cast<double>(total), out);
            lastPercent = percent;
        }
    }
    if (options.progress) out << "\r" << std::string(80, ' ') << "\r" << std::flush;
    if (done < total)
        return fail("'" + source->name() + "' ended after " + std::to_string(done) + " of " + std::to_string(total) +
                    " frames: it is damaged or cut short");

    // The last windows are evaluated on the workers; then one empty block carries the final readings.
    letWorkersCatchUp(workers, std::chrono::seconds(1));
    session.requestData();
    session.processNothing();
    if (!session.readings().received) return fail("the processor sent no readings");

    const double seconds = static_cast<double>(total) / source->sampleRate();
    if (!options.plot.empty()) {
        series.loudnessRange = session.readings().loudnessRange;
        if (!writeLoudnessPlot(series, options.plot, error)) return fail(error);
    }
    if (options.json) {
        printJson(session.readings(), *source, seconds, out);
    } else {
        char header[160];
        std::snprintf(header, sizeof header, "%.0f Hz, %d channel%s, %.1f s", source->sampleRate(), channels,
                      channels == 1 ? "" : "s", seconds);
        out << source->name() << " (" << header << ")\n";
        printReadings(session.readings(), out);
    }
    return 0;
}

} // namespace NivoloHost
