#include "host/MeasureCommand.h"

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
#include "host/PluginInstance.h"
#include "host/PluginModule.h"

namespace NivoloHost {

namespace {

constexpr int kMaxChannels = 14;
// The highest rate studios record at. A header may claim any rate; the meter
// sizes its windows and delay lines by it, so a forged one would cost gigabytes.
constexpr double kMaxSampleRate = 768000.0;
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
    std::snprintf(buffer, sizeof buffer, "%.2f", *value);
    return buffer;
}

// The readings as the editor shows them: the controller's value texts.
void printReadings(PluginInstance& plugin, std::ostream& out) {
    const std::string unit = plugin.valueText(MeterReadings::kUnitSwitch);
    auto line = [&](const char* label, int32_t id, const std::string& u) {
        const std::string text = plugin.valueText(id);
        out << label << text << (text == "--" || text.empty() ? std::string() : " " + u) << "\n";
    };
    line("Integrated:        ", MeterReadings::kIntegrated, unit);
    line("Momentary:         ", MeterReadings::kMomentary, unit);
    line("Momentary max:     ", MeterReadings::kMomentaryMax, unit);
    line("Short-term:        ", MeterReadings::kShortTerm, unit);
    line("Short-term max:    ", MeterReadings::kShortTermMax, unit);
    line("Loudness range:    ", MeterReadings::kLoudnessRange, "LU");
    line("True peak:         ", MeterReadings::kTruePeak, "dBTP");
    out << "Elapsed time:      " << plugin.controlText("time") << "\n";
    out << "Integrated over -22 LUFS: " << (plugin.normalizedValue(MeterReadings::kIntegratedOver) >= 0.5 ? "yes" : "no")
        << "\n";
    out << "True peak over -1 dBTP:   " << (plugin.normalizedValue(MeterReadings::kTruePeakOver) >= 0.5 ? "yes" : "no")
        << "\n";
}

void printJson(const MeterReadings& r, const std::string& time, const AudioSource& source, double seconds,
               std::ostream& out) {
    out << "{\"file\": " << jsonString(source.name()) << ", \"sampleRate\": " << source.sampleRate()
        << ", \"channels\": " << source.channels() << ", \"seconds\": " << jsonNumber(seconds)
        << ", \"unit\": " << jsonString(r.unit()) << ", \"integrated\": " << jsonNumber(r.shown(r.integrated))
        << ", \"momentary\": " << jsonNumber(r.shown(r.momentary))
        << ", \"shortTerm\": " << jsonNumber(r.shown(r.shortTerm))
        << ", \"momentaryMax\": " << jsonNumber(r.shown(r.momentaryMax))
        << ", \"shortTermMax\": " << jsonNumber(r.shown(r.shortTermMax))
        << ", \"loudnessRange\": " << jsonNumber(r.loudnessRange) << ", \"truePeak\": " << jsonNumber(r.shownTruePeak())
        << ", \"time\": " << jsonString(time) << ", \"integratedOver\": " << (r.integratedOver ? "true" : "false")
        << ", \"truePeakOver\": " << (r.truePeakOver ? "true" : "false")
        << ", \"warning\": " << (source.warning().empty() ? "null" : jsonString(source.warning())) << "}\n";
}

// After a run that worked: one line on audio that could not be decoded.
void warnOfDamage(const AudioSource& source, std::ostream& err) {
    if (!source.warning().empty()) err << "nivolo-host: warning: " << source.warning() << "\n";
}

// Ids of this process's threads.
void drawProgress(double fraction, std::ostream& out) {
    const int width = 40;
    const int filled = static_cast<int>(fraction * width + 0.5);
    out << "\r[" << std::string(static_cast<size_t>(filled), '#') << std::string(static_cast<size_t>(width - filled), ' ')
        << "] " << static_cast<int>(fraction * 100 + 0.5) << "%" << std::flush;
}


// Plays a source through one plug-in slot as a host does, offline (waiting
// for the module's workers) or at the audio's own pace.
class Player {
public:
    Player(const MeasureOptions& options, std::ostream& out, std::ostream& err)
        : options_(options), out_(out), err_(err) {}

    int fail(const std::string& message) {
        err_ << "nivolo-host: " << message << "\n";
        return 1;
    }

    // Loads the module, opens the source and the slot. 0 or the exit status.
    int open(bool withEditor) {
        if (options_.blockSize < 1 || options_.blockSize > 1 << 20) return fail("--block must be between 1 and 1048576");
        std::string error;
        source_ = options_.file.empty() ? AudioSource::builtInProgramme()
                                        : AudioSource::openFile(options_.file, options_.stream, error);
        if (!source_) return fail(error);
        if (source_->channels() < 1 || source_->channels() > kMaxChannels)
            return fail("'" + source_->name() + "' has " + std::to_string(source_->channels()) +
                        " channels; the meter measures 1 to 14");
        if (!(source_->sampleRate() >= 1.0)) return fail("'" + source_->name() + "' has no valid sample rate");
        if (source_->sampleRate() > kMaxSampleRate)
            return fail("'" + source_->name() + "' has a sample rate of " + std::to_string(std::llround(source_->sampleRate())) +
                        " Hz; the meter measures up to " + std::to_string(std::llround(kMaxSampleRate)) + " Hz");
        if (!module_.load(options_.modulePath, error)) return fail(error);

        ProcessingSession::Options setup;
        setup.sampleRate = source_->sampleRate();
        setup.channels = source_->channels();
        setup.arrangement = source_->arrangement();
        setup.blockSize = options_.blockSize;
        setup.processMode = options_.realtime ? Zel::kRealtime : Zel::kOffline;
        if (!plugin_.open(module_.factory(), setup, error)) return fail(error);
        // The editor is open while the audio plays, as a user would have it.
        if (withEditor && !plugin_.editor()) return fail("the plug-in offers no editor");
        // The unit is switched as a user does it: on the controller's control.
        if (options_.lu && !plugin_.setControl("scaleModeLoudness", 1.0)) return fail("the plug-in has no unit switch");
        plugin_.setLive(options_.realtime);

        series_.lu = options_.lu;
        series_.title = source_->name();
        if (!options_.timeline.empty()) {
            timeline_.open(options_.timeline);
            if (!timeline_) return fail("cannot write the timeline '" + options_.timeline + "'");
            timeline_ << "seconds,momentary,shortTerm,integrated,momentaryMax,shortTermMax,loudnessRange,truePeak\n";
        }
        return 0;
    }

    // Plays up to `limit` frames (all of them when negative). 0 or the exit status.
    int play(int64_t limit) {
        const int32_t channels = source_->channels();
        const auto block = static_cast<size_t>(options_.blockSize);
        std::vector<float> interleaved(block * static_cast<size_t>(channels));
        std::vector<std::vector<float>> planar(static_cast<size_t>(channels), std::vector<float>(block));
        std::vector<float*> pointers(static_cast<size_t>(channels));
        for (int32_t c = 0; c < channels; ++c) pointers[static_cast<size_t>(c)] = planar[static_cast<size_t>(c)].data();

        // The length is what decodes; the container's figure only paces the progress bar.
        const int64_t estimate = limit < 0 ? source_->frames() : limit;
        const auto step = std::max<int64_t>(1, static_cast<int64_t>(kTimelineStep * source_->sampleRate()));
        int64_t nextStep = step;
        int lastPercent = -1;
        const auto start = std::chrono::steady_clock::now();
        auto lastTick = start;
        ProcessingSession& session = plugin_.session();
        while (limit < 0 || done_ < limit) {
            const auto want = limit < 0 ? static_cast<int64_t>(block) : std::min<int64_t>(static_cast<int64_t>(block), limit - done_);
            const int64_t got = source_->read(interleaved.data(), want);
            if (got <= 0) break;
            for (int64_t i = 0; i < got; ++i)
                for (int32_t c = 0; c < channels; ++c)
                    planar[static_cast<size_t>(c)][static_cast<size_t>(i)] =
                        interleaved[static_cast<size_t>(i * channels + c)];
            plugin_.processBlock(pointers.data(), pointers.data(), static_cast<int32_t>(got));
            done_ += got;

            if (options_.realtime) {
                // At the audio's own pace, the editor's idle tick on the wall clock,
                // with the readings live on the terminal.
                std::this_thread::sleep_until(start + std::chrono::duration<double>(static_cast<double>(done_) /
                                                                                    source_->sampleRate()));
                const auto now = std::chrono::steady_clock::now();
                if (now - lastTick >= std::chrono::milliseconds(100)) {
                    plugin_.idle();
                    lastTick = now;
                }
                if (options_.progress) {
                    out_ << "\rM " << plugin_.valueText(MeterReadings::kMomentary) << "  S "
                         << plugin_.valueText(MeterReadings::kShortTerm) << "  I "
                         << plugin_.valueText(MeterReadings::kIntegrated) << " "
                         << plugin_.valueText(MeterReadings::kUnitSwitch) << "  LRA "
                         << plugin_.valueText(MeterReadings::kLoudnessRange) << "  TP "
                         << plugin_.valueText(MeterReadings::kTruePeak) << "  " << plugin_.controlText("time") << "   "
                         << std::flush;
                }
            }
            while (done_ >= nextStep) {
                if (!options_.realtime) {
                    // The idle tick at this step asked for the readings: an empty
                    // block brings them once the workers have taken their windows.
                    plugin_.letWorkersCatchUp(std::chrono::milliseconds(200));
                    plugin_.processNothing();
                }
                const MeterReadings& r = session.readings();
                auto value = [](std::optional<double> v) { return v ? *v : NAN; };
                series_.add(static_cast<double>(nextStep) / source_->sampleRate(), value(r.shown(r.momentary)),
                            value(r.shown(r.shortTerm)), value(r.shown(r.integrated)));
                if (timeline_.is_open()) {
                    auto cell = [](std::optional<double> v) { return v ? MeterReadings::text(v) : std::string(); };
                    timeline_ << static_cast<double>(nextStep) / source_->sampleRate() << ","
                              << cell(r.shown(r.momentary)) << "," << cell(r.shown(r.shortTerm)) << ","
                              << cell(r.shown(r.integrated)) << "," << cell(r.shown(r.momentaryMax)) << ","
                              << cell(r.shown(r.shortTermMax)) << "," << MeterReadings::text(r.loudnessRange) << ","
                              << cell(r.shownTruePeak()) << "\n";
                }
                nextStep += step;
            }
            if (options_.progress && !options_.realtime && estimate > 0) {
                const double fraction = std::min(1.0, static_cast<double>(done_) / static_cast<double>(estimate));
                const int percent = static_cast<int>(100 * fraction);
                if (percent != lastPercent) drawProgress(fraction, out_);
                lastPercent = percent;
            }
        }
        if (options_.progress) out_ << "\r" << std::string(80, ' ') << "\r" << std::flush;
        settle();
        if (!session.readings().received) return fail("the processor sent no readings");
        return 0;
    }

    // The last windows are evaluated on the workers; then an idle tick asks for
    // the readings and an empty block brings them (and any pending edit) over.
    void settle() {
        plugin_.letWorkersCatchUp(std::chrono::seconds(1));
        plugin_.idle();
        plugin_.processNothing();
        plugin_.idle(); // the views learn of the new values
    }

    PluginInstance& plugin() { return plugin_; }
    AudioSource& source() { return *source_; }
    LoudnessSeries& series() { return series_; }
    int64_t done() const { return done_; }

private:
    const MeasureOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::unique_ptr<AudioSource> source_;
    PluginModule module_; // outlives the slot: declared before it
    PluginInstance plugin_;
    LoudnessSeries series_;
    std::ofstream timeline_;
    int64_t done_ = 0;
};

} // namespace

int runMeasure(const MeasureOptions& options, std::ostream& out, std::ostream& err) {
    Player player(options, out, err);
    if (int status = player.open(!options.editor.empty())) return status;
    if (int status = player.play(-1)) return status;
    PluginInstance& plugin = player.plugin();
    std::string error;
    const double seconds = static_cast<double>(player.done()) / player.source().sampleRate();
    if (!options.plot.empty()) {
        player.series().loudnessRange = plugin.session().readings().loudnessRange;
        if (!writeLoudnessPlot(player.series(), options.plot, error)) return player.fail(error);
    }
    if (!options.editor.empty() && !plugin.editor()->renderToPng(options.editor, error)) return player.fail(error);
    warnOfDamage(player.source(), err);
    if (options.json) {
        printJson(plugin.session().readings(), plugin.controlText("time"), player.source(), seconds, out);
    } else {
        char header[160];
        std::snprintf(header, sizeof header, "%.0f Hz, %d channel%s, %.1f s", player.source().sampleRate(),
                      player.source().channels(), player.source().channels() == 1 ? "" : "s", seconds);
        out << player.source().name() << " (" << header << ")\n";
        printReadings(plugin, out);
        if (!options.editor.empty()) out << "Editor:            " << options.editor << "\n";
        if (!options.plot.empty()) out << "Loudness plot:     " << options.plot << "\n";
    }
    return 0;
}

int runRender(const RenderOptions& options, std::ostream& out, std::ostream& err) {
    Player player(options.measure, out, err);
    if (options.out.empty()) return player.fail("render needs --out PATH for the picture");
    if (int status = player.open(true)) return status;
    const int64_t limit =
        options.at < 0 ? -1 : static_cast<int64_t>(std::llround(options.at * player.source().sampleRate()));
    if (int status = player.play(limit)) return status;
    PluginInstance& plugin = player.plugin();
    for (const std::string& name : options.clicks) {
        if (!plugin.editor()->clickElement(name)) return player.fail("the editor has nothing to click named '" + name + "'");
        player.settle(); // the edit reaches the processor; its answer reaches the editor
        player.settle();
    }
    std::string error;
    if (!plugin.editor()->renderToPng(options.out, error)) return player.fail(error);
    warnOfDamage(player.source(), err);
    char when[64];
    std::snprintf(when, sizeof when, "%.1f s", static_cast<double>(player.done()) / player.source().sampleRate());
    out << options.out << ": the editor after " << when << " of " << player.source().name() << "\n";
    return 0;
}

} // namespace NivoloHost
