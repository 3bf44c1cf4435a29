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
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "host/AudioSource.h"

namespace {

constexpr int kRate = 48000;
constexpr int kSeconds = 600;

// Ten minutes of stereo pink noise (independent channels, about -20 dBFS RMS)
// as a 32-bit float WAV: what a mastering engineer measures most often is
// broadband programme, and a float file costs the reader next to nothing.
bool writePinkNoise(const std::string& path) {
    std::ofstream file(path, std::ios::binary);
    auto u16 = [&](uint32_t v) { file.put(static_cast<char>(v)).put(static_cast<char>(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    const uint32_t dataBytes = 2u * 4u * kRate * kSeconds;
    file << "RIFF", u32(36 + dataBytes), file << "WAVEfmt ", u32(16), u16(3), u16(2), u32(kRate), u32(8 * kRate);
    u16(8), u16(32), file << "data", u32(dataBytes);
    std::mt19937 random(7);
    std::normal_distribution<double> white(0.0, 1.0);
    // A sum of first-order sections with poles spread over the audio band: -3 dB per octave.
    double b[2][7] = {};
    std::vector<float> block(2 * static_cast<size_t>(kRate));
    for (int second = 0; second < kSeconds; ++second) {
        for (int i = 0; i < kRate; ++i) {
            for (int c = 0; c < 2; ++c) {
                const double w = white(random);
                double* s = b[c];
                s[0] = 0.99886 * s[0] + w * 0.0555179;
                s[1] = 0.99332 * s[1] + w * 0.0750759;
                s[2] = 0.96900 * s[2] + w * 0.1538520;
                s[3] = 0.86650 * s[3] + w * 0.3104856;
                s[4] = 0.55000 * s[4] + w * 0.5329522;
                s[5] = -0.7616 * s[5] - w * 0.0168980;
                const double pink = s[0] + s[1] + s[2] + s[3] + s[4] + s[5] + s[6] + w * 0.5362;
                s[6] = w * 0.115926;
                block[2 * static_cast<size_t>(i) + static_cast<size_t>(c)] = static_cast<float>(pink * 0.02);
            }
        }
        file.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(sizeof(float) * block.size()));
    }
    return static_cast<bool>(file);
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "/tmp/nivolo-bench-pink-10min.wav";
    std::string error;
    if (!std::filesystem::exists(path) && !writePinkNoise(path)) {
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
