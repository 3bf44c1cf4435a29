#pragma once
// Shared pieces of the measure tests: a scratch directory, sound files written
// with libsndfile, a run of the measure command with its two streams captured,
// a reader for the one-object JSON it prints, and the loudness core fed the
// same file in-process (no workers, so no window can be lost there).

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/Loudness.h"
#include "host/MeasureCommand.h"

namespace MeasureTesting {

inline double linearFromDb(double db) { return std::pow(10.0, db / 20.0); }

// A fresh directory under /tmp, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        char pattern[] = "/tmp/nivolo-measure-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made) path_ = made;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool ok() const { return !path_.empty(); }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// One stretch of a programme: its length and the sine peak on each channel in
// dBFS (one value: every channel alike).
struct Segment {
    double seconds;
    std::vector<double> peakDb;
};

struct Programme {
    int sampleRate = 48000;
    int channels = 2;
    double frequency = 1000.0;
    std::vector<Segment> segments;

    int64_t frames() const {
        int64_t n = 0;
        for (const Segment& s : segments) n += std::llround(s.seconds * sampleRate);
        return n;
    }
    double seconds() const { return static_cast<double>(frames()) / sampleRate; }
};

// A steady sine of one level on every channel.
inline Programme tone(int sampleRate, int channels, double seconds, double peakDb, double frequency = 1000.0) {
    return Programme{sampleRate, channels, frequency, {{seconds, {peakDb}}}};
}

// Level steps: the same level on every channel per step.
inline Programme steps(int sampleRate, int channels, double stepSeconds, const std::vector<double>& levels) {
    Programme p{sampleRate, channels, 1000.0, {}};
    for (double level : levels) p.segments.push_back({stepSeconds, {level}});
    return p;
}

// The programme as interleaved samples; the sine runs on across the steps.
inline std::vector<float> render(const Programme& p) {
    std::vector<float> samples;
    samples.reserve(static_cast<size_t>(p.frames() * p.channels));
    int64_t n = 0;
    for (const Segment& s : p.segments) {
        std::vector<double> peaks(static_cast<size_t>(p.channels));
        for (int c = 0; c < p.channels; ++c)
            peaks[static_cast<size_t>(c)] = linearFromDb(s.peakDb.size() == 1 ? s.peakDb[0] : s.peakDb[static_cast<size_t>(c)]);
        const int64_t count = std::llround(s.seconds * p.sampleRate);
        for (int64_t i = 0; i < count; ++i, ++n) {
            const double x = std::sin(2.0 * std::numbers::pi * p.frequency * static_cast<double>(n) / p.sampleRate);
            for (int c = 0; c < p.channels; ++c) samples.push_back(static_cast<float>(peaks[static_cast<size_t>(c)] * x));
        }
    }
    return samples;
}

inline bool writeSoundFile(const std::string& path, int format, int sampleRate, int channels,
                           const std::vector<float>& interleaved) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size()) / channels;
    const bool whole = frames == 0 || sf_writef_float(file, interleaved.data(), frames) == frames;
    return sf_close(file) == 0 && whole;
}

inline bool writeProgramme(const std::string& path, const Programme& p, int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT) {
    return writeSoundFile(path, format, p.sampleRate, p.channels, render(p));
}

inline bool writeText(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    return static_cast<bool>(f);
}

inline std::string readText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream s(text);
    for (std::string line; std::getline(s, line);) result.push_back(line);
    return result;
}

// ---- The command, in-process ----------------------------------------------------

struct Outcome {
    int status = -1;
    std::string out, err;
};

inline NivoloHost::MeasureOptions optionsFor(const std::string& file) {
    NivoloHost::MeasureOptions options;
    options.modulePath = NIVOLO_MODULE_PATH;
    options.file = file;
    return options;
}

inline Outcome measure(const NivoloHost::MeasureOptions& options) {
    std::ostringstream out, err;
    Outcome run;
    run.status = NivoloHost::runMeasure(options, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

inline Outcome measureJson(const std::string& file, int blockSize = 1024) {
    NivoloHost::MeasureOptions options = optionsFor(file);
    options.json = true;
    options.blockSize = blockSize;
    return measure(options);
}

// ---- The executable --------------------------------------------------------------

// Runs nivolo-host with the arguments (each quoted for the shell); stdout
// through the pipe, stderr through a file beside it.
inline Outcome runExecutable(const std::vector<std::string>& args, const std::string& stderrPath) {
    auto quoted = [](const std::string& s) {
        std::string q = "'";
        for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    std::string command = quoted(NIVOLO_HOST_PATH);
    for (const std::string& a : args) command += " " + quoted(a);
    command += " 2>" + quoted(stderrPath) + " </dev/null";
    Outcome run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int wait = pclose(pipe);
    run.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + (WIFSIGNALED(wait) ? WTERMSIG(wait) : 0);
    run.err = readText(stderrPath);
    return run;
}

// A failure is exactly one newline-terminated line on err and nothing on out.
inline ::testing::AssertionResult isOneLineFailure(const Outcome& run) {
    if (run.status == 0) return ::testing::AssertionFailure() << "status 0; out: " << run.out;
    if (!run.out.empty()) return ::testing::AssertionFailure() << "output on out: " << run.out;
    if (run.err.empty() || run.err.back() != '\n' || run.err.find('\n') != run.err.size() - 1)
        return ::testing::AssertionFailure() << "err is not one line: [" << run.err << "]";
    return ::testing::AssertionSuccess();
}

// ---- The JSON object -----------------------------------------------------------------

// One value of a flat object: null, a boolean, a number or a string.
struct JsonValue {
    enum Kind { Null, Bool, Number, String } kind = Null;
    bool boolean = false;
    double number = 0.0;
    std::string string;
};

// Reads one flat JSON object followed only by white space; empty on any
// deviation (so a stray progress bar or second object is caught too).
class JsonObject {
public:
    static std::optional<JsonObject> parse(const std::string& text) {
        JsonObject object;
        size_t i = 0;
        if (!object.read(text, i)) return std::nullopt;
        skipSpace(text, i);
        if (i != text.size()) return std::nullopt;
        return object;
    }

    bool has(const std::string& key) const { return values_.count(key) != 0; }
    const JsonValue& operator[](const std::string& key) const {
        static const JsonValue missing{};
        auto it = values_.find(key);
        return it == values_.end() ? missing : it->second;
    }
    size_t size() const { return values_.size(); }
    bool duplicates() const { return duplicates_; }

private:
    static void skipSpace(const std::string& t, size_t& i) {
        while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
    }
    static bool literal(const std::string& t, size_t& i, const char* word) {
        const std::string w(word);
        if (t.compare(i, w.size(), w) != 0) return false;
        i += w.size();
        return true;
    }
    static bool readString(const std::string& t, size_t& i, std::string& s) {
        if (i >= t.size() || t[i] != '"') return false;
        for (++i; i < t.size(); ++i) {
            const char c = t[i];
            if (c == '"') {
                ++i;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                s += c;
                continue;
            }
            if (++i >= t.size()) return false;
            switch (t[i]) {
            case '"': s += '"'; break;
            case '\\': s += '\\'; break;
            case '/': s += '/'; break;
            case 'n': s += '\n'; break;
            case 't': s += '\t'; break;
            case 'r': s += '\r'; break;
            case 'b': s += '\b'; break;
            case 'f': s += '\f'; break;
            case 'u': {
                if (i + 4 >= t.size()) return false;
                const unsigned long code = std::strtoul(t.substr(i + 1, 4).c_str(), nullptr, 16);
                if (code >= 0x80) return false; // only what the command escapes
                s += static_cast<char>(code);
                i += 4;
                break;
            }
            default: return false;
            }
        }
        return false;
    }
    static bool readValue(const std::string& t, size_t& i, JsonValue& v) {
        if (i >= t.size()) return false;
        if (t[i] == '"') {
            v.kind = JsonValue::String;
            return readString(t, i, v.string);
        }
        if (literal(t, i, "null")) {
            v.kind = JsonValue::Null;
            return true;
        }
        for (bool b : {true, false}) {
            if (literal(t, i, b ? "true" : "false")) {
                v.kind = JsonValue::Bool;
                v.boolean = b;
                return true;
            }
        }
        // Numbers in the grammar's form: -?digits[.digits][e[+-]digits]
        const size_t start = i;
        if (t[i] == '-') ++i;
        const size_t digits = i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
        if (i == digits) return false;
        if (i < t.size() && t[i] == '.') {
            const size_t fraction = ++i;
            while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
            if (i == fraction) return false;
        }
        if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
            ++i;
            if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
            const size_t exponent = i;
            while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
            if (i == exponent) return false;
        }
        v.kind = JsonValue::Number;
        v.number = std::strtod(t.substr(start, i - start).c_str(), nullptr);
        return true;
    }
    bool read(const std::string& t, size_t& i) {
        skipSpace(t, i);
        if (i >= t.size() || t[i] != '{') return false;
        ++i;
        skipSpace(t, i);
        if (i < t.size() && t[i] == '}') {
            ++i;
            return true;
        }
        for (;;) {
            skipSpace(t, i);
            std::string key;
            if (!readString(t, i, key)) return false;
            skipSpace(t, i);
            if (i >= t.size() || t[i] != ':') return false;
            ++i;
            skipSpace(t, i);
            JsonValue v;
            if (!readValue(t, i, v)) return false;
            duplicates_ = duplicates_ || values_.count(key) != 0;
            values_[key] = v;
            skipSpace(t, i);
            if (i < t.size() && t[i] == ',') {
                ++i;
                continue;
            }
            if (i < t.size() && t[i] == '}') {
                ++i;
                return true;
            }
            return false;
        }
    }

    std::map<std::string, JsonValue> values_;
    bool duplicates_ = false;
};

// ---- The loudness core on the same samples ----------------------------------------------

struct CoreFigures {
    double integrated = 0.0;
    double loudnessRange = 0.0;
    double momentaryMax = 0.0;
    double shortTermMax = 0.0;
};

// Reads the file back as the host reads it and analyses it without workers,
// in host-sized blocks, with the arrangement the host offers for its channels.
inline std::optional<CoreFigures> analyseInProcess(const std::string& path, uint64_t arrangement, int32_t block = 1024) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return std::nullopt;
    const int32_t channels = info.channels;
    DSP::Loudness loudness(info.samplerate, static_cast<uint32_t>(block), false);
    loudness.initialize();
    loudness.setChannelsAndArrangement(channels, channels, 0, arrangement);
    loudness.reset();
    std::vector<float> interleaved(static_cast<size_t>(block * channels));
    std::vector<std::vector<float>> planar(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(block)));
    std::vector<float*> pointers;
    for (auto& p : planar) pointers.push_back(p.data());
    for (sf_count_t got; (got = sf_readf_float(file, interleaved.data(), block)) > 0;) {
        for (sf_count_t i = 0; i < got; ++i)
            for (int32_t c = 0; c < channels; ++c)
                planar[static_cast<size_t>(c)][static_cast<size_t>(i)] = interleaved[static_cast<size_t>(i * channels + c)];
        loudness.analyze(pointers.data(), static_cast<int32_t>(got));
    }
    sf_close(file);
    CoreFigures figures{loudness.getIntegrated(), loudness.getLoudnessRange(), loudness.getMomentaryMax(),
                        loudness.getShortTermMax()};
    loudness.terminate();
    return figures;
}

// The printed readings carry one decimal: agreement means within half a step.
inline constexpr double kPrintedTolerance = 0.05 + 1e-6;

} // namespace MeasureTesting
