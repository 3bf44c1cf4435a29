#include "host/BatchMeasure.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/AudioSource.h"
#include "host/MeasureReport.h"
#include "host/PluginModule.h"
#include "host/ProcessorMeasure.h"

namespace NivoloHost {

namespace {

namespace fs = std::filesystem;

struct Entry {
    std::string path;  // as given, or as found in a folder given
    uintmax_t bytes = 0; // its weight in the progress bar
    std::string error; // it cannot be looked at (missing, unreadable folder)
};

// The files of the arguments in their order; a folder's files recursively,
// sorted by path, leaving out hidden files and folders (a name starting with '.').
std::vector<Entry> listFiles(const std::vector<std::string>& inputs) {
    std::vector<Entry> entries;
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (input == "-") {
            entries.push_back({input, 0, {}});
            continue;
        }
        const fs::file_status status = fs::status(input, ec);
        if (ec || !fs::exists(status)) {
            entries.push_back({input, 0, "cannot find '" + input + "'"});
            continue;
        }
        if (!fs::is_directory(status)) {
            const uintmax_t bytes = fs::file_size(input, ec);
            entries.push_back({input, ec ? 0 : bytes, {}});
            continue;
        }
        std::vector<std::string> found;
        fs::recursive_directory_iterator it(input, fs::directory_options::skip_permission_denied, ec), end;
        for (; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            std::error_code ignored;
            if (!name.empty() && name[0] == '.') {
                if (it->is_directory(ignored)) it.disable_recursion_pending();
                continue;
            }
            if (it->is_regular_file(ignored)) found.push_back(it->path().string());
        }
        if (ec) {
            entries.push_back({input, 0, "cannot read the folder '" + input + "': " + ec.message()});
            continue;
        }
        std::sort(found.begin(), found.end());
        for (std::string& path : found) {
            const uintmax_t bytes = fs::file_size(path, ec);
            entries.push_back({std::move(path), ec ? 0 : bytes, {}});
        }
    }
    return entries;
}

struct Outcome {
    enum class Kind { kMeasured, kFailed, kSkipped } kind = Kind::kFailed;
    std::string message; // why it failed or was skipped
    ProcessorResult result;
    double sampleRate = 0.0;
    int32_t channels = 0;
    std::string warning;
    std::optional<QcVerdict> verdict;

    double seconds() const { return sampleRate > 0.0 ? static_cast<double>(result.frames) / sampleRate : 0.0; }
};

// How far the jobs are: frames played of the frames each file's container states.
struct Progress {
    std::atomic<int64_t> done{0}, expected{0};
    std::atomic<bool> finished{false};
};

// [a worker thread] One file, through a processor of its own: that thread is the session's audio thread.
Outcome measureOne(const Entry& entry, Zel::IPluginFactory* factory, const MeasureOptions& options,
                   std::mutex& setupLock, Progress& progress) {
    Outcome o;
    if (!entry.error.empty()) {
        o.message = entry.error;
        return o;
    }
    std::string error;
    bool notAudio = false;
    std::unique_ptr<AudioSource> source = AudioSource::openFile(entry.path, options.stream, error, &notAudio);
    if (!source) {
        o.kind = notAudio ? Outcome::Kind::kSkipped : Outcome::Kind::kFailed;
        o.message = notAudio ? "not audio" : error;
        return o;
    }
    progress.expected.store(source->frames(), std::memory_order_relaxed);
    ProcessorPass pass;
    pass.blockSize = options.blockSize;
    pass.lu = options.lu;
    pass.setupLock = &setupLock;
    pass.framesDone = &progress.done;
    if (!playThroughProcessor(factory, *source, pass, o.result, error)) {
        o.message = error;
        return o;
    }
    o.kind = Outcome::Kind::kMeasured;
    o.sampleRate = source->sampleRate();
    o.channels = source->channels();
    o.warning = source->warning();
    o.verdict = QcVerdict::of(options.target, o.result.readings);
    return o;
}

// "0:20.0", "10:00.0", "1:02:03.0".
std::string durationText(double seconds) {
    const long long tenths = std::llround(seconds * 10.0);
    const long long s = tenths / 10, minutes = s / 60, hours = minutes / 60;
    char buffer[48];
    if (hours > 0)
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld.%lld", hours, minutes % 60, s % 60, tenths % 10);
    else
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld.%lld", minutes, s % 60, tenths % 10);
    return buffer;
}

std::string counted(int n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

// What goes to out and err, file after file in the order given.
class Printer {
public:
    Printer(const MeasureOptions& options, const std::vector<Entry>& entries, std::ostream& out, std::ostream& err)
        : options_(options), out_(out), err_(err) {
        for (const Entry& e : entries) nameWidth_ = std::max(nameWidth_, e.path.size());
    }

    void header() {
        if (options_.csv) {
            printCsvHeader(out_);
        } else if (!options_.json) {
            row("File", "Duration", "Integrated", "Range", "True peak", "Momentary max", "Short-term max",
                options_.target.any() ? "Verdict" : "");
        }
        out_ << std::flush;
    }

    void file(const Entry& entry, const Outcome& o) {
        ++files_;
        switch (o.kind) {
        case Outcome::Kind::kSkipped:
            ++skipped_;
            err_ << "nivolo-host: skipped: " << entry.path << " (" << o.message << ")\n" << std::flush;
            return;
        case Outcome::Kind::kFailed:
            ++errors_;
            if (options_.json) printJsonError(entry.path, o.message, out_);
            else if (options_.csv) printCsvError(entry.path, o.message, out_);
            else out_ << padded(entry.path) << "  error: " << o.message << "\n";
            out_ << std::flush;
            return;
        case Outcome::Kind::kMeasured: break;
        }
        ++measured_;
        if (o.verdict) ++(o.verdict->pass() ? passed_ : failed_);
        if (!o.warning.empty()) err_ << "nivolo-host: warning: " << o.warning << "\n" << std::flush;
        const MeterReadings& r = o.result.readings;
        const QcVerdict* verdict = o.verdict ? &*o.verdict : nullptr;
        if (options_.json) {
            printJson(r, r.time, entry.path, o.sampleRate, o.channels, o.seconds(), o.warning, out_, verdict);
        } else if (options_.csv) {
            printCsvRow(r, entry.path, o.sampleRate, o.channels, o.seconds(), o.warning, verdict, out_);
        } else {
            // The editor's texts, as the single-file report shows them.
            const std::string unit = std::string(" ") + r.unit();
            auto cell = [&r](int32_t id, const std::string& u) {
                const std::string text = readingText(r, id);
                return text == "--" ? text : text + u;
            };
            std::string judged;
            if (verdict) {
                judged = verdict->text();
                for (size_t i = 0; i < verdict->reasons().size(); ++i)
                    judged += (i ? "; " : ": ") + verdict->reasons()[i];
            }
            row(entry.path, durationText(o.seconds()), cell(MeterReadings::kIntegrated, unit),
                cell(MeterReadings::kLoudnessRange, " LU"), cell(MeterReadings::kTruePeak, " dBTP"),
                cell(MeterReadings::kMomentaryMax, unit), cell(MeterReadings::kShortTermMax, unit), judged);
        }
        out_ << std::flush;
    }

    void summary() {
        if (options_.json || options_.csv) return;
        out_ << counted(files_, "file", "files") << ": " << measured_ << " measured, "
             << counted(errors_, "error", "errors") << ", " << skipped_ << " skipped";
        if (options_.target.any()) out_ << "; " << passed_ << " PASS, " << failed_ << " FAIL";
        out_ << "\n" << std::flush;
    }

    int status() const {
        if (errors_ > 0 || measured_ == 0) return 1;
        return failed_ > 0 ? kExitQcFail : 0;
    }
    int measured() const { return measured_; }
    int errors() const { return errors_; }

private:
    std::string padded(const std::string& name) const {
        return name + std::string(nameWidth_ > name.size() ? nameWidth_ - name.size() : 0, ' ');
    }
    void row(const std::string& name, const std::string& duration, const std::string& integrated,
             const std::string& range, const std::string& truePeak, const std::string& momentaryMax,
             const std::string& shortTermMax, const std::string& verdict) {
        char cells[160];
        std::snprintf(cells, sizeof cells, "  %9s  %11s  %8s  %10s  %13s  %14s", duration.c_str(), integrated.c_str(),
                      range.c_str(), truePeak.c_str(), momentaryMax.c_str(), shortTermMax.c_str());
        out_ << padded(name) << cells << (verdict.empty() ? "" : "  " + verdict) << "\n";
    }

    const MeasureOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    size_t nameWidth_ = 4;
    int files_ = 0, measured_ = 0, errors_ = 0, skipped_ = 0, passed_ = 0, failed_ = 0;
};

// One bar for the whole batch, each file weighed by its size.
class ProgressBar {
public:
    ProgressBar(const std::vector<Entry>& entries, const std::vector<Progress>& progress, std::ostream& err)
        : entries_(entries), progress_(progress), err_(err) {
        for (const Entry& e : entries) total_ += static_cast<double>(std::max<uintmax_t>(e.bytes, 1));
    }
    void draw() {
        double done = 0.0;
        size_t finished = 0;
        for (size_t i = 0; i < entries_.size(); ++i) {
            const double weight = static_cast<double>(std::max<uintmax_t>(entries_[i].bytes, 1));
            if (progress_[i].finished.load()) {
                done += weight;
                ++finished;
                continue;
            }
            const int64_t expected = progress_[i].expected.load(std::memory_order_relaxed);
            if (expected > 0)
                done += weight * std::min(1.0, static_cast<double>(progress_[i].done.load(std::memory_order_relaxed)) /
                                                   static_cast<double>(expected));
        }
        const double fraction = total_ > 0.0 ? done / total_ : 0.0;
        const int width = 40;
        const int filled = static_cast<int>(fraction * width + 0.5);
        err_ << "\r[" << std::string(static_cast<size_t>(filled), '#')
             << std::string(static_cast<size_t>(width - filled), ' ') << "] " << static_cast<int>(fraction * 100 + 0.5)
             << "%  " << finished << "/" << entries_.size() << " files" << std::flush;
        shown_ = true;
    }
    void clear() {
        if (shown_) err_ << "\r" << std::string(79, ' ') << "\r" << std::flush;
        shown_ = false;
    }

private:
    const std::vector<Entry>& entries_;
    const std::vector<Progress>& progress_;
    std::ostream& err_;
    double total_ = 0.0;
    bool shown_ = false;
};

} // namespace

int runBatchMeasure(const MeasureOptions& options, std::ostream& out, std::ostream& err) {
    if (options.blockSize < 1 || options.blockSize > 1 << 20) {
        err << "nivolo-host: --block must be between 1 and 1048576\n";
        return 1;
    }
    const std::vector<Entry> entries = listFiles(options.inputs);
    PluginModule module;
    std::string error;
    if (!module.load(options.modulePath, error)) {
        err << "nivolo-host: " << error << "\n";
        return 1;
    }

    const size_t count = entries.size();
    std::vector<Outcome> outcomes(count);
    std::vector<Progress> progress(count);
    std::mutex mutex; // guards outcomes and finished progress
    std::condition_variable changed;
    std::mutex setupLock;
    std::atomic<size_t> next{0};
    const size_t jobs = std::min<size_t>(count, options.jobs > 0 ? static_cast<size_t>(options.jobs)
                                                                  : std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> workers;
    for (size_t w = 0; w < jobs; ++w) {
        workers.emplace_back([&] {
            for (size_t i; (i = next.fetch_add(1)) < count;) {
                Outcome o = measureOne(entries[i], module.factory(), options, setupLock, progress[i]);
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    outcomes[i] = std::move(o);
                    progress[i].finished.store(true);
                }
                changed.notify_all();
            }
        });
    }

    Printer printer(options, entries, out, err);
    ProgressBar bar(entries, progress, err);
    printer.header();
    for (size_t printed = 0; printed < count;) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(100), [&] { return progress[printed].finished.load(); });
        while (printed < count && progress[printed].finished.load()) {
            Outcome o = std::move(outcomes[printed]);
            lock.unlock();
            bar.clear();
            printer.file(entries[printed], o);
            lock.lock();
            ++printed;
        }
        lock.unlock();
        if (options.progress && printed < count) bar.draw();
    }
    for (std::thread& worker : workers) worker.join();
    bar.clear();
    printer.summary();
    if (printer.measured() == 0 && printer.errors() == 0) err << "nivolo-host: no audio to measure\n";
    return printer.status();
}

} // namespace NivoloHost
