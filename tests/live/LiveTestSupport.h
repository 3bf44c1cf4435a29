#pragma once
// What the live tests need around `nivolo-host live`, beside the measure
// tests' scratch files, JSON reader and pictures: a virtual X display of their
// own, SDL's disk audio driver in place of a sound card (a raw file is the
// capture, another receives what is played), the tone as raw samples, runs of
// the host in the background while xdotool clicks and types.

#include <poll.h>
#include <signal.h>

#include <numbers>

#include "tests/measure/MeasureTestSupport.h"

namespace LiveTesting {

using namespace MeasureTesting;

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

// nivolo-host started in the background with the display, SDL's drivers and
// the guard set only as given (whatever the test runs under); finish() waits
// for it. A run that hangs is ended after a minute.
class HostRun {
public:
    HostRun(const std::vector<std::string>& environment, const std::vector<std::string>& args, std::string stderrPath)
        : stderrPath_(std::move(stderrPath)) {
        std::string command = "env -u DISPLAY -u SDL_AUDIODRIVER -u SDL_VIDEODRIVER -u NIVOLO_AUDIO_GUARD"
                              " -u NIVOLO_AUDIO_GUARD_QUIET -u NIVOLO_AUDIO_GUARD_DEADLINE";
        for (const std::string& e : environment) command += " " + MeasureTesting::quoted(e);
        command += " timeout 60 " + hostCommand(args);
        pipe_ = popen((command + " 2>" + MeasureTesting::quoted(stderrPath_) + " </dev/null").c_str(), "r");
    }
    ~HostRun() { finish(); }

    Outcome finish() {
        if (!pipe_) return outcome_;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe_)) > 0;) outcome_.out.append(buffer, n);
        const int wait = pclose(pipe_);
        pipe_ = nullptr;
        outcome_.status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + (WIFSIGNALED(wait) ? WTERMSIG(wait) : 0);
        outcome_.err = readText(stderrPath_);
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

} // namespace LiveTesting
