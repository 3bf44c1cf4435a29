#pragma once
// Shared pieces of the measure tests: a scratch directory, WAV files written
// here, runs of the measure command (in-process and as the
// executable) with both streams captured, a reader for the one-object JSON it
// prints, and the loudness core fed the same file in-process (no workers, so
// no window can be lost there).

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "dsp/Loudness.h"
#include "host/AudioSource.h"
#include "host/MeasureCommand.h"

namespace MeasureTesting {

// A fresh directory under /tmp, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        char pattern[] = "/tmp/nivolo-measure-XXXXXX";
        if (const char* made = mkdtemp(pattern)) path_ = made;
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

// ---- programmes and files ---------------------------------------------------------

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
inline std::vector<float> samplesOf(const Programme& p) {
    std::vector<float> samples;
    int64_t n = 0;
    for (const Segment& s : p.segments) {
        std::vector<double> peaks;
        for (size_t c = 0; c < static_cast<size_t>(p.channels); ++c)
            peaks.push_back(std::pow(10.0, (s.peakDb.size() == 1 ? s.peakDb[0] : s.peakDb[c]) / 20.0));
        for (const int64_t end = n + std::llround(s.seconds * p.sampleRate); n < end; ++n) {
            const double x = std::sin(2.0 * std::numbers::pi * p.frequency * static_cast<double>(n) / p.sampleRate);
            for (double peak : peaks) samples.push_back(static_cast<float>(peak * x));
        }
    }
    return samples;
}

// How a WAV written here stores its samples.
enum class WavSamples { Pcm16, Pcm24, Float };

// A WAV file; beyond two channels in the extensible form, six as 5.1 (L R C LFE
// Ls Rs), other counts without speaker positions.
inline bool writeSoundFile(const std::string& path, WavSamples samples, int sampleRate, int channels,
                           const std::vector<float>& interleaved) {
    const uint32_t bytes = samples == WavSamples::Pcm16 ? 2 : samples == WavSamples::Pcm24 ? 3 : 4;
    const uint32_t tag = samples == WavSamples::Float ? 3 : 1;
    const bool extensible = channels > 2;
    std::string data;
    for (float x : interleaved) {
        uint32_t word = 0;
        if (samples == WavSamples::Float) {
            std::memcpy(&word, &x, 4);
        } else {
            const double full = samples == WavSamples::Pcm16 ? 32767.0 : 8388607.0;
            word = static_cast<uint32_t>(static_cast<int32_t>(std::lround(std::clamp(static_cast<double>(x), -1.0, 1.0) * full)));
        }
        for (uint32_t b = 0; b < bytes; ++b) data += static_cast<char>(word >> (8 * b));
    }
    std::string header;
    auto u16 = [&](uint32_t v) { for (int i = 0; i < 2; ++i) header += static_cast<char>(v >> (8 * i)); };
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) header += static_cast<char>(v >> (8 * i)); };
    const auto align = static_cast<uint32_t>(channels) * bytes;
    header += "WAVEfmt ", u32(extensible ? 40 : 16);
    u16(extensible ? 0xFFFE : tag), u16(static_cast<uint32_t>(channels)), u32(static_cast<uint32_t>(sampleRate));
    u32(static_cast<uint32_t>(sampleRate) * align), u16(align), u16(8 * bytes);
    if (extensible) {
        u16(22), u16(8 * bytes), u32(channels == 6 ? 0x3F : 0);
        u32(tag), header += std::string("\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 12);
    }
    header += "data", u32(static_cast<uint32_t>(data.size()));
    std::ofstream file(path, std::ios::binary);
    file << "RIFF";
    for (int i = 0; i < 4; ++i) file << static_cast<char>((header.size() + data.size()) >> (8 * i));
    file << header << data;
    return static_cast<bool>(file);
}

inline bool writeProgramme(const std::string& path, const Programme& p, WavSamples samples = WavSamples::Float) {
    return writeSoundFile(path, samples, p.sampleRate, p.channels, samplesOf(p));
}

inline bool writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
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

// ---- the command ----------------------------------------------------------------------

struct Outcome {
    int status = -1;
    std::string out, err;
};

inline NivoloHost::MeasureOptions optionsFor(const std::string& file, bool json = false) {
    NivoloHost::MeasureOptions options;
    options.modulePath = NIVOLO_MODULE_PATH;
    options.file = file;
    options.json = json;
    return options;
}

inline Outcome measure(const NivoloHost::MeasureOptions& options) {
    std::ostringstream out, err;
    const int status = NivoloHost::runMeasure(options, out, err);
    return {status, out.str(), err.str()};
}

inline Outcome measureJson(const std::string& file, int blockSize = 1024) {
    NivoloHost::MeasureOptions options = optionsFor(file, true);
    options.blockSize = blockSize;
    return measure(options);
}

// Runs nivolo-host with the arguments as a script would: stdout through a
// pipe, stderr through a file beside it, no input.
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
    if (run.err.empty() || run.err.find('\n') != run.err.size() - 1)
        return ::testing::AssertionFailure() << "err is not one line: [" << run.err << "]";
    return ::testing::AssertionSuccess();
}

// ---- the JSON object ------------------------------------------------------------------

// One value of a flat object: null, a boolean, a number, a string or an array of strings.
struct JsonValue {
    enum Kind { Null, Bool, Number, String, Array } kind = Null;
    bool boolean = false;
    double number = 0.0;
    std::string string;
    std::vector<std::string> strings;
};

// One flat JSON object followed only by white space, read as strictly as a
// script's parser would: anything else (a stray progress line, a second
// object, a bare NaN, a raw control character) reads as no object at all.
class JsonObject {
public:
    static std::optional<JsonObject> parse(const std::string& text) {
        // A string (only ASCII comes \u-escaped), a literal, a number in JSON's form, an array of strings.
        static const std::string chars = R"re((?:[^"\\\x00-\x1f]|\\["\\/bfnrt]|\\u00[0-7][0-9A-Fa-f])*)re";
        static const std::string string = "\"(" + chars + ")\"";
        static const std::string element = "\"" + chars + "\"";
        static const std::string pair = R"(\s*)" + string + R"(\s*:\s*(?:)" + string +
                                        R"(|(null|true|false)|(-?(?:0|[1-9]\d*)(?:\.\d+)?(?:[eE][+-]?\d+)?))" +
                                        R"(|(\[\s*(?:)" + element + R"((?:\s*,\s*)" + element + R"()*)?\s*\]))\s*)";
        static const std::regex whole(R"(\s*\{(?:)" + pair + "(?:," + pair + R"()*|\s*)\}\s*)");
        static const std::regex each(pair + "[,}]");
        if (!std::regex_match(text, whole)) return std::nullopt;
        JsonObject object;
        for (std::sregex_iterator m(text.begin(), text.end(), each), end; m != end; ++m) {
            JsonValue v;
            if ((*m)[2].matched) {
                v.kind = JsonValue::String;
                v.string = unescape((*m)[2]);
            } else if ((*m)[5].matched) {
                v.kind = JsonValue::Array;
                static const std::regex item(string);
                const std::string array = (*m)[5];
                for (std::sregex_iterator e(array.begin(), array.end(), item), end; e != end; ++e)
                    v.strings.push_back(unescape((*e)[1]));
            } else if ((*m)[3].matched) {
                v.kind = (*m)[3] == "null" ? JsonValue::Null : JsonValue::Bool;
                v.boolean = (*m)[3] == "true";
            } else {
                v.kind = JsonValue::Number;
                v.number = std::stod((*m)[4]);
            }
            const std::string key = unescape((*m)[1]);
            object.duplicates_ = object.duplicates_ || object.has(key);
            object.values_[key] = v;
        }
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
    static std::string unescape(const std::string& s) {
        std::string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] != '\\') {
                out += s[i];
            } else if (s[++i] == 'u') {
                out += static_cast<char>(std::stoi(s.substr(i + 1, 4), nullptr, 16));
                i += 4;
            } else {
                out += "\"\\/\b\f\n\r\t"[std::string("\"\\/bfnrt").find(s[i])];
            }
        }
        return out;
    }

    std::map<std::string, JsonValue> values_;
    bool duplicates_ = false;
};

// The JSON object of a successful run with nothing on the error stream.
inline JsonObject jsonOf(const Outcome& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    std::optional<JsonObject> object = JsonObject::parse(run.out);
    EXPECT_TRUE(object.has_value()) << "not one JSON object: " << run.out;
    return object.value_or(JsonObject{});
}

// ---- the loudness core on the same samples ----------------------------------------------

struct CoreFigures {
    double integrated, loudnessRange, momentaryMax, shortTermMax;
};

// Reads the file back as the host reads it and analyses it without workers,
// in host-sized blocks, with the arrangement the host offers for its channels.
inline std::optional<CoreFigures> analyseInProcess(const std::string& path, uint64_t arrangement,
                                                  int32_t block = 1024) {
    std::string error;
    std::unique_ptr<NivoloHost::AudioSource> file = NivoloHost::AudioSource::openFile(path, 0, error);
    if (!file) return std::nullopt;
    const auto channels = static_cast<size_t>(file->channels());
    DSP::Loudness loudness(file->sampleRate(), static_cast<uint32_t>(block), false);
    loudness.initialize();
    loudness.setChannelsAndArrangement(file->channels(), file->channels(), 0, arrangement);
    loudness.reset();
    std::vector<float> interleaved(static_cast<size_t>(block) * channels);
    std::vector<std::vector<float>> planar(channels, std::vector<float>(static_cast<size_t>(block)));
    std::vector<float*> pointers;
    for (auto& p : planar) pointers.push_back(p.data());
    for (int64_t got; (got = file->read(interleaved.data(), block)) > 0;) {
        for (size_t i = 0; i < static_cast<size_t>(got); ++i)
            for (size_t c = 0; c < channels; ++c) planar[c][i] = interleaved[i * channels + c];
        loudness.analyze(pointers.data(), static_cast<int32_t>(got));
    }
    CoreFigures figures{loudness.getIntegrated(), loudness.getLoudnessRange(), loudness.getMomentaryMax(),
                        loudness.getShortTermMax()};
    loudness.terminate();
    return figures;
}

// The figures agree within half a step of the editor's one decimal.
inline constexpr double kPrintedTolerance = 0.05 + 1e-6;

} // namespace MeasureTesting
