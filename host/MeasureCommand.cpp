#include "host/MeasureCommand.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "host/AudioSource.h"
#include "host/LoudnessPlot.h"
#include "host/MeasureReport.h"
#include "host/PluginInstance.h"
#include "host/PluginModule.h"
#include "host/SourcePrefetcher.h"

namespace NivoloHost {

namespace {

constexpr int kMaxChannels = 14;
// The highest rate studios record at. A header may claim any rate; the meter
// sizes its windows and delay lines by it, so a forged one would cost gigabytes.
constexpr double kMaxSampleRate = 768000.0;
constexpr double kTimelineStep = 0.1; // seconds of audio between timeline rows and worker pauses

// After a run that worked: one line on audio that could not be decoded.
void warnOfDamage(const AudioSource& source, std::ostream& err) {
    if (!source.warning().empty()) err << "nivolo-host: warning: " << source.warning() << "\n";
}

void drawProgress(double fraction, std::ostream& out) {
    const int width = 40;
    const int filled = static_cast<int>(fraction * width + 0.5);
    out << "\r[" << std::string(static_cast<size_t>(filled), '#') << std::string(static_cast<size_t>(width - filled), ' ')
        << "] " << static_cast<int>(fraction * 100 + 0.5) << "%" << std::flush;
}

// `--timeline`: one CSV row of the readings per step of audio.
class TimelineWriter {
public:
    bool open(const std::string& path) {
        file_.open(path);
        if (!file_) return false;
        file_ << "seconds,momentary,shortTerm,integrated,momentaryMax,shortTermMax,loudnessRange,truePeak\n";
        return true;
    }
    bool isOpen() const { return file_.is_open(); }
    void row(double seconds, const MeterReadings& r) {
        auto cell = [](std::optional<double> v) { return v ? MeterReadings::preciseText(v) : std::string(); };
        file_ << seconds << "," << cell(r.shown(r.momentary)) << "," << cell(r.shown(r.shortTerm)) << ","
              << cell(r.shown(r.integrated)) << "," << cell(r.shown(r.momentaryMax)) << ","
              << cell(r.shown(r.shortTermMax)) << "," << MeterReadings::preciseText(r.loudnessRange) << ","
              << cell(r.shownTruePeak()) << "\n";
    }

private:
    std::ofstream file_;
};

// `--realtime` on a terminal: the editor's texts on one line, rewritten in place.
void drawLiveLine(PluginInstance& plugin, std::ostream& out) {
    out << "\rM " << plugin.valueText(MeterReadings::kMomentary) << "  S " << plugin.valueText(MeterReadings::kShortTerm)
        << "  I " << plugin.valueText(MeterReadings::kIntegrated) << " " << plugin.valueText(MeterReadings::kUnitSwitch)
        << "  LRA " << plugin.valueText(MeterReadings::kLoudnessRange) << "  TP "
        << plugin.valueText(MeterReadings::kTruePeak) << "  " << plugin.controlText("time") << "   " << std::flush;
}

// Plays a source through one plug-in slot as a host does: offline as fast as
// it can (the module is exact at any speed), or at the audio's own pace.
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
        source_ = options_.rawRate > 0.0 ? AudioSource::openRaw(options_.file, options_.rawRate, options_.rawChannels, error)
                  : options_.file.empty() ? AudioSource::builtInProgramme()
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
        if (!options_.timeline.empty() && !timeline_.open(options_.timeline))
            return fail("cannot write the timeline '" + options_.timeline + "'");
        return 0;
    }

    // Plays up to `limit` frames (all of them when negative). 0 or the exit status.
    int play(int64_t limit) {
        // The length is what decodes; the container's figure only paces the progress bar.
        const int64_t stated = source_->frames();
        const int64_t estimate = limit < 0 ? stated : (stated > 0 ? std::min(limit, stated) : limit);
        const auto step = std::max<int64_t>(1, static_cast<int64_t>(kTimelineStep * source_->sampleRate()));
        int64_t nextStep = step;
        int lastPercent = -1;
        const auto start = std::chrono::steady_clock::now();
        auto lastTick = start;
        {
            SourcePrefetcher reader(*source_, options_.blockSize, limit);
            float* const* planar = nullptr;
            for (int32_t got; (got = reader.next(planar)) > 0;) {
                plugin_.processBlock(planar, planar, got);
                done_ += got;

                if (options_.realtime) {
                    // At the audio's own pace, the editor's idle tick on the wall clock.
                    std::this_thread::sleep_until(start + std::chrono::duration<double>(static_cast<double>(done_) /
                                                                                        source_->sampleRate()));
                    const auto now = std::chrono::steady_clock::now();
                    if (now - lastTick >= std::chrono::milliseconds(100)) {
                        plugin_.idle();
                        lastTick = now;
                    }
                    if (options_.progress) drawLiveLine(plugin_, out_);
                }
                while (done_ >= nextStep) {
                    // Offline, the idle tick at this step asked for the readings: an empty block brings them.
                    if (!options_.realtime) plugin_.processNothing();
                    recordStep(static_cast<double>(nextStep) / source_->sampleRate());
                    nextStep += step;
                }
                if (options_.progress && !options_.realtime && estimate > 0) {
                    const double fraction = std::min(1.0, static_cast<double>(done_) / static_cast<double>(estimate));
                    const int percent = static_cast<int>(100 * fraction);
                    if (percent != lastPercent) drawProgress(fraction, out_);
                    lastPercent = percent;
                }
            }
        }
        if (options_.progress) out_ << "\r" << std::string(80, ' ') << "\r" << std::flush;
        if (done_ == 0 && limit != 0) return fail("'" + source_->name() + "' holds no audio");
        settle();
        if (!plugin_.session().readings().received) return fail("the processor sent no readings");
        return 0;
    }

    // An idle tick asks for the readings and an empty block brings them (and
    // any pending edit) over; a second tick lets the views learn of them.
    void settle() {
        plugin_.idle();
        plugin_.processNothing();
        plugin_.idle();
    }

    PluginInstance& plugin() { return plugin_; }
    AudioSource& source() { return *source_; }
    LoudnessSeries& series() { return series_; }
    int64_t done() const { return done_; }

private:
    // The readings at one step of audio: the plot's series and the timeline.
    void recordStep(double seconds) {
        const MeterReadings& r = plugin_.session().readings();
        auto value = [](std::optional<double> v) { return v ? *v : NAN; };
        series_.add(seconds, value(r.shown(r.momentary)), value(r.shown(r.shortTerm)), value(r.shown(r.integrated)));
        if (timeline_.isOpen()) timeline_.row(seconds, r);
    }

    const MeasureOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::unique_ptr<AudioSource> source_;
    PluginModule module_; // outlives the slot: declared before it
    PluginInstance plugin_;
    LoudnessSeries series_;
    TimelineWriter timeline_;
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
    const std::optional<QcVerdict> verdict = QcVerdict::of(options.target, plugin.session().readings());
    if (options.json) {
        printJson(plugin.session().readings(), plugin.controlText("time"), player.source(), seconds, out,
                  verdict ? &*verdict : nullptr);
    } else {
        printReportHeader(player.source(), seconds, out);
        // The readings as the editor shows them: the controller's value texts.
        printReadingLines([&plugin](int32_t id) { return plugin.valueText(id); }, plugin.controlText("time"),
                          plugin.normalizedValue(MeterReadings::kIntegratedOver) >= 0.5,
                          plugin.normalizedValue(MeterReadings::kTruePeakOver) >= 0.5, out);
        if (verdict) printVerdictLine(*verdict, out);
        if (!options.editor.empty()) out << "Editor:            " << options.editor << "\n";
        if (!options.plot.empty()) out << "Loudness plot:     " << options.plot << "\n";
    }
    return verdict && !verdict->pass() ? kExitQcFail : 0;
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
