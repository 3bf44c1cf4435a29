#pragma once
// What the live tests need around `nivolo-host live`: a virtual X display of
// their own, SDL's disk audio driver in place of a sound card (a raw file is
// the capture, another receives what is played), the tone as raw samples and
// as a WAV file, runs of the host in the background while xdotool clicks and
// types, the pictures it saves.

#include <cairo.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace LiveTesting {

// A fresh directory under /tmp, removed with everything in it.
class ScratchDir {
public:
    ScratchDir() {
        char pattern[] = "/tmp/nivolo-live-XXXXXX";
        if (const char* made = mkdtemp(pattern)) path_ = made;
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// An X server without a screen, on a display number it picks itself and
// writes to a pipe once it takes connections.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            if (FILE* quiet = std::freopen("/dev/null", "w", stderr)) (void)quiet;
            const std::string fd = std::to_string(ready[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        ready_ = ready[0];
        pollfd wait{ready_, POLLIN, 0};
        char number[16] = {};
        if (pid_ > 0 && poll(&wait, 1, 20000) == 1 && read(ready_, number, sizeof number - 1) > 0 &&
            std::isdigit(static_cast<unsigned char>(number[0])))
            name_ = ":" + std::to_string(std::atoi(number));
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        close(ready_);
    }
    // ":N"; empty when the server did not start.
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    int ready_ = -1;
    std::string name_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

struct Outcome {
    int status = -1;
    std::string out, err;
};

// nivolo-host started in the background with the display, SDL's drivers and
// the guard set only as given (whatever the test runs under); finish() waits
// for it. A run that hangs is ended after a minute.
class HostRun {
public:
    HostRun(const std::vector<std::string>& environment, const std::vector<std::string>& args, std::string stderrPath)
        : stderrPath_(std::move(stderrPath)) {
        auto quoted = [](const std::string& s) {
            std::string q = "'";
            for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
            return q + "'";
        };
        std::string command = "env -u DISPLAY -u SDL_AUDIODRIVER -u SDL_VIDEODRIVER -u NIVOLO_AUDIO_GUARD"
                              " -u NIVOLO_AUDIO_GUARD_QUIET -u NIVOLO_AUDIO_GUARD_DEADLINE";
        for (const std::string& e : environment) command += " " + quoted(e);
        command += " timeout 60 " + quoted(NIVOLO_HOST_PATH);
        for (const std::string& a : args) command += " " + quoted(a);
        pipe_ = popen((command + " 2>" + quoted(stderrPath_) + " </dev/null").c_str(), "r");
    }
    ~HostRun() { finish(); }

    Outcome finish() {
        if (!pipe_) return outcome_;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe_)) > 0;) outcome_.out.append(buffer, n);
        const int wait = pclose(pipe_);
        pipe_ = nullptr;
        outcome_.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + (WIFSIGNALED(wait) ? WTERMSIG(wait) : 0);
        outcome_.err = readFile(stderrPath_);
        return outcome_;
    }

private:
    std::string stderrPath_;
    FILE* pipe_ = nullptr;
    Outcome outcome_;
};

// xdotool on the display: finds the meter's window (waiting for it to show),
// then does what actions say to it ("mousemove --window %1 X Y click 1 key q").
inline int xdotool(const std::string& display, const std::string& actions) {
    return std::system(("DISPLAY=" + display + " timeout 30 xdotool search --sync --onlyvisible --name '^Nivolo' " +
                        actions + " >/dev/null 2>&1")
                           .c_str());
}

// A 997 Hz stereo sine at 48 kHz of the given peak, as interleaved 32-bit floats.
inline std::string tone(double seconds, double peakDb) {
    std::vector<float> samples;
    for (int64_t n = 0, end = std::llround(seconds * 48000); n < end; ++n) {
        const auto x = static_cast<float>(std::pow(10.0, peakDb / 20.0) * std::sin(2.0 * std::numbers::pi * 997.0 * n / 48000.0));
        samples.insert(samples.end(), {x, x});
    }
    return std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * sizeof(float));
}

// The samples raw, or in a float WAV file (this machine's byte order is the file's).
inline bool writeFile(const std::string& path, const std::string& samples, bool wav) {
    const auto bytes = static_cast<uint32_t>(samples.size());
    const uint32_t header[] = {0x46464952, 36 + bytes, 0x45564157,                 // "RIFF" size "WAVE"
                               0x20746D66, 16,         0x00020003, 48000, 48000 * 8, // "fmt " float, 2 channels
                               0x00200008, 0x61746164, bytes};                     // 8-byte frames, "data"
    std::ofstream f(path, std::ios::binary);
    if (wav) f.write(reinterpret_cast<const char*>(header), sizeof header);
    f << samples;
    return static_cast<bool>(f);
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels; // cairo's words: alpha (or unused), red, green, blue
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

inline std::optional<Picture> readPng(const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    std::optional<Picture> p;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        p.emplace(Picture{cairo_image_surface_get_width(s), cairo_image_surface_get_height(s), {}});
        p->pixels.resize(static_cast<size_t>(p->width * p->height));
        for (int y = 0; y < p->height; ++y)
            std::memcpy(p->pixels.data() + y * p->width,
                        cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s),
                        static_cast<size_t>(p->width) * 4);
    }
    cairo_surface_destroy(s);
    return p;
}

// The raw text of a field of the flat object `measure --json` prints ("-23.0",
// "\"LU\"", "null"); empty when it is missing.
inline std::string field(const std::string& json, const std::string& key) {
    const size_t at = json.find("\"" + key + "\": ");
    if (at == std::string::npos) return {};
    const size_t from = at + key.size() + 4;
    const size_t to = json[from] == '"' ? json.find('"', from + 1) + 1 : json.find_first_of(",}", from);
    return json.substr(from, to - from);
}

} // namespace LiveTesting
