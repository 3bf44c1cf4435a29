#pragma once
// Shared pieces of the tests that run nivolo-host (measure and live): a scratch
// directory, audio made with the ffmpeg command, runs of the measure command
// (in-process and as the executable in a shell) with both streams captured, a
// strict reader for the flat JSON objects it prints, the PNG pictures it saves,
// and the loudness core fed the same file in-process.

#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
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
struct ScratchDir {
    std::string path = [] { char p[] = "/tmp/nivolo-measure-XXXXXX"; return std::string(mkdtemp(p) ? p : "/nonexistent"); }();
    ~ScratchDir() { std::error_code ignored; std::filesystem::remove_all(path, ignored); }
};

// A path in this test program's scratch directory.
inline std::string file(const std::string& name) {
    static const ScratchDir dir;
    return dir.path + "/" + name;
}

inline std::string quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string readText(const std::string& path) {
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

inline bool writeBytes(const std::string& path, const std::string& bytes) {
    return static_cast<bool>(std::ofstream(path, std::ios::binary) << bytes);
}

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream s(text);
    for (std::string line; std::getline(s, line);) result.push_back(line);
    return result;
}

// ---- audio ------------------------------------------------------------------------------

// The ffmpeg command, quietly; true when it made its output.
inline bool ffmpeg(const std::string& arguments) {
    return std::system(("ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments).c_str()) == 0;
}

// An amplitude stepping through peak levels in dBFS, `step` seconds each, as an expression in t.
inline std::string levels(const std::vector<double>& dBFS, double step = 1e9) {
    auto amplitude = [](double db) { return std::to_string(std::pow(10.0, db / 20.0)); };
    std::string e = amplitude(dBFS.back());
    for (size_t i = dBFS.size() - 1; i-- > 0;)
        e = "if(lt(t," + std::to_string(step * static_cast<double>(i + 1)) + ")," + amplitude(dBFS[i]) + "," + e + ")";
    return "(" + e + ")";
}

// A sine at those levels (997 Hz: no sparse sample pattern for the meter's silence probe to meet).
inline std::string sine(const std::vector<double>& dBFS, double step = 1e9, double hz = 997.0) {
    return levels(dBFS, step) + "*sin(2*PI*" + std::to_string(hz) + "*t)";
}

// Audio from ffmpeg's expression source, one expression per channel (or `channels`
// copies of one), written with ffmpeg's output options (32-bit float WAV unless said),
// bit-exact: a plain WAV has a 44-byte header. Six channels are 5.1: L R C LFE Ls Rs.
inline bool makeAudio(const std::string& path, int rate, double seconds, std::vector<std::string> exprs,
                      int channels = 0, const std::string& output = "-c:a pcm_f32le") {
    if (channels > 0) exprs.assign(static_cast<size_t>(channels), exprs.at(0));
    std::string joined;
    for (const std::string& e : exprs) joined += (joined.empty() ? "" : "|") + e;
    char tail[64];
    std::snprintf(tail, sizeof tail, "':s=%d:d=%.6f", rate, seconds);
    return ffmpeg("-f lavfi -i " + quoted("aevalsrc=exprs='" + joined + tail) + " " + output + " -fflags +bitexact " + quoted(path));
}

// ---- the command --------------------------------------------------------------------------

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
    return options.blockSize = blockSize, measure(options);
}

// A shell command as a script runs it: stdout through a pipe, stderr into a file.
inline Outcome shell(const std::string& command, const std::string& stderrPath) {
    Outcome run;
    FILE* pipe = popen((command + " 2>" + quoted(stderrPath)).c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
    const int wait = pclose(pipe);
    run.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + (WIFSIGNALED(wait) ? WTERMSIG(wait) : 0);
    run.err = readText(stderrPath);
    return run;
}

inline std::string hostCommand(const std::vector<std::string>& args) {
    std::string command = quoted(NIVOLO_HOST_PATH);
    for (const std::string& a : args) command += " " + quoted(a);
    return command;
}

// nivolo-host with the arguments and no input.
inline Outcome host(const std::vector<std::string>& args) { return shell(hostCommand(args) + " </dev/null", file("stderr.txt")); }

// A failure is exactly one newline-terminated line on err and nothing on out.
inline ::testing::AssertionResult isOneLineFailure(const Outcome& run) {
    if (run.status == 0) return ::testing::AssertionFailure() << "status 0; out: " << run.out;
    if (!run.out.empty()) return ::testing::AssertionFailure() << "output on out: " << run.out;
    if (run.err.empty() || run.err.find('\n') != run.err.size() - 1)
        return ::testing::AssertionFailure() << "err is not one line: [" << run.err << "]";
    return ::testing::AssertionSuccess();
}

// RFC 4180 fields of one line.
inline std::vector<std::string> csvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool inQuotes = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inQuotes && c == '"' && i + 1 < line.size() && line[i + 1] == '"') fields.back() += line[++i];
        else if (c == '"') inQuotes = !inQuotes;
        else if (c == ',' && !inQuotes) fields.emplace_back();
        else fields.back() += c;
    }
    return fields;
}

// ---- the JSON object ----------------------------------------------------------------------

// One value of a flat object: null, a boolean, a number or a string.
struct JsonValue {
    enum Kind { Null, Bool, Number, String } kind = Null;
    bool boolean = false;
    double number = 0.0;
    std::string string;
    bool operator==(const JsonValue&) const = default;
};

// One flat JSON object followed only by white space, read as strictly as a
// script's parser would: anything else (a stray line, a second object, a bare
// NaN, a raw control character, a key twice) reads as no object at all.
class JsonObject {
public:
    static std::optional<JsonObject> parse(const std::string& text) {
        static const std::regex token(R"re(\s*("(?:[^"\\\x00-\x1f]|\\["\\/bfnrt]|\\u[0-9a-fA-F]{4})*"|-?(?:0|[1-9]\d*)(?:\.\d+)?(?:[eE][+-]?\d+)?|null|true|false|[{}[\]:,])\s*)re");
        std::vector<std::string> t;
        std::smatch m;
        for (auto at = text.cbegin(); at != text.cend(); at = m[0].second) {
            if (!std::regex_search(at, text.cend(), m, token, std::regex_constants::match_continuous)) return std::nullopt;
            t.push_back(m[1]);
        }
        JsonObject o;
        size_t i = 0;
        auto next = [&](const char* s) { return i < t.size() && t[i] == s ? (++i, true) : false; };
        auto string = [&](std::string& s) { return i < t.size() && t[i][0] == '"' ? (s = unescape(t[i++]), true) : false; };
        if (!next("{")) return std::nullopt;
        while (!next("}")) {
            std::string key;
            JsonValue v;
            if ((o.size() && !next(",")) || !string(key) || !next(":") || o.has(key) || i >= t.size()) return std::nullopt;
            if (next("null")) v.kind = JsonValue::Null;
            else if (t[i] == "true" || t[i] == "false") v.kind = JsonValue::Bool, v.boolean = t[i++] == "true";
            else if (string(v.string)) v.kind = JsonValue::String;
            else if (std::isdigit(static_cast<unsigned char>(t[i].back()))) v.kind = JsonValue::Number, v.number = std::stod(t[i++]);
            else return std::nullopt;
            o.values_[key] = v;
        }
        return i == t.size() ? std::optional(o) : std::nullopt;
    }
    bool has(const std::string& key) const { return values_.count(key) != 0; }
    const JsonValue& operator[](const std::string& key) const {
        static const JsonValue missing{};
        auto it = values_.find(key);
        return it == values_.end() ? missing : it->second;
    }
    size_t size() const { return values_.size(); }

private:
    static std::string unescape(const std::string& quoted) {
        std::string s;
        for (size_t i = 1; i + 1 < quoted.size(); ++i) {
            if (quoted[i] != '\\') s += quoted[i];
            else if (quoted[++i] == 'u') s += static_cast<char>(std::stoi(quoted.substr(i + 1, 4), nullptr, 16)), i += 4;
            else s += "\"\\/\b\f\n\r\t"[std::string("\"\\/bfnrt").find(quoted[i])];
        }
        return s;
    }
    std::map<std::string, JsonValue> values_;
};

// The one JSON object of a text; an empty one, and a failure, when it holds none.
inline JsonObject objectOf(const std::string& text) {
    std::optional<JsonObject> object = JsonObject::parse(text);
    EXPECT_TRUE(object.has_value()) << "not one JSON object: " << text;
    return object.value_or(JsonObject{});
}

// The JSON object of a successful run with nothing on the error stream.
inline JsonObject jsonOf(const Outcome& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    return objectOf(run.out);
}

// ---- pictures ----------------------------------------------------------------------------

// A PNG's size and pixels, cairo's words: alpha (or unused), red, green, blue (none when it cannot be read).
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;

    explicit Picture(const std::string& path) {
        cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
        if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
            width = cairo_image_surface_get_width(s), height = cairo_image_surface_get_height(s);
            for (int y = 0; y < height; ++y) {
                const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s));
                pixels.insert(pixels.end(), row, row + width);
            }
        }
        cairo_surface_destroy(s);
    }
    uint32_t at(int x, int y) const { return pixels.at(static_cast<size_t>(y * width + x)); }
    // Pixels that differ from other's in the rectangle [x0, x1) x [y0, y1).
    int differing(const Picture& other, int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) n += at(x, y) != other.at(x, y);
        return n;
    }
};

// ---- the loudness core on the same samples --------------------------------------------------

struct CoreFigures {
    double integrated, loudnessRange, momentaryMax, shortTermMax;
};

// Reads the file back as the host reads it and analyses it without workers (no
// window can be lost there), in host-sized blocks, with the given arrangement.
inline std::optional<CoreFigures> analyseInProcess(const std::string& path, uint64_t arrangement, int32_t block = 1024) {
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
