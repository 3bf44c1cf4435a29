// The realtime factor of `nivolo-host measure` on a 10-minute stereo 48 kHz
// file, and in the same run that of a reference loudness library (all its
// measurement modes, true peak included) on the same file, with their ratio
// and both readings side by side.

#include <ebur128.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "PinkNoise.h"
#include "host/AudioSource.h"

namespace {

constexpr int kSeconds = 600;

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "/tmp/nivolo-bench-pink-10min.wav";
    std::string error;
    if (!std::filesystem::exists(path) && !Bench::writePinkNoise(path, kSeconds)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    std::unique_ptr<NivoloHost::AudioSource> file = NivoloHost::AudioSource::openFile(path, 0, error);
    if (!file) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double audioSeconds = static_cast<double>(file->frames()) / file->sampleRate();
    file.reset();

    // Ours: the whole command, file reading included.
    const std::string command = std::string(NIVOLO_HOST_PATH) + " measure '" + path + "' --json";
    auto start = std::chrono::steady_clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    std::string json;
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) json += buffer;
    const int status = pipe ? pclose(pipe) : -1;
    const double ours = seconds(start);
    if (status != 0) {
        std::fprintf(stderr, "nivolo-host measure failed\n");
        return 1;
    }

    // The reference library, reading the same file through the host's reader.
    start = std::chrono::steady_clock::now();
    file = NivoloHost::AudioSource::openFile(path, 0, error);
    if (!file) return 1;
    const auto channels = static_cast<unsigned>(file->channels());
    const auto rate = static_cast<unsigned long>(file->sampleRate());
    ebur128_state* state = ebur128_init(channels, rate,
                                        EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA |
                                            EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_TRUE_PEAK);
    std::vector<float> block(4096 * static_cast<size_t>(channels));
    for (int64_t got; (got = file->read(block.data(), 4096)) > 0;)
        ebur128_add_frames_float(state, block.data(), static_cast<size_t>(got));
    double integrated = 0, range = 0, peak = 0;
    ebur128_loudness_global(state, &integrated);
    ebur128_loudness_range(state, &range);
    for (unsigned c = 0; c < channels; ++c) {
        double p = 0;
        ebur128_true_peak(state, c, &p);
        peak = std::max(peak, p);
    }
    ebur128_destroy(&state);
    file.reset();
    const double reference = seconds(start);

    std::printf("file: %s (%.0f s, %lu Hz, %u channels)\n", path.c_str(), audioSeconds, rate, channels);
    std::printf("nivolo-host measure: %.3f s, %.0fx realtime: %s", ours, audioSeconds / ours, json.c_str());
    std::printf("reference library:   %.3f s, %.0fx realtime: integrated %.1f LUFS, range %.1f LU, true peak %.1f dBTP\n",
                reference, audioSeconds / reference, integrated, range, 20 * std::log10(peak));
    std::printf("speed ratio (nivolo / reference): %.2f\n", reference / ours);
    return 0;
}
