// What denormal input costs end to end: `nivolo-host measure` on 30 s of
// denormal-range noise with a -60 dBFS click every 32 samples (so that no block
// counts as silence and every filter state sees it), against the same with
// -20 dBFS noise. Best of three runs each; exits 1 when the denormal file takes
// more than twice as long (make check runs it).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kSeconds = 30;
constexpr double kAllowedRatio = 2.0;

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// A stereo 32-bit float WAV of `scale` times uniform noise, with `click` at every 32nd sample.
bool writeNoise(const std::string& path, float scale, float click) {
    const uint32_t frames = kRate * kSeconds;
    const uint32_t bytes = frames * 2 * 4;
    std::vector<uint8_t> header;
    header.insert(header.end(), {'R', 'I', 'F', 'F'});
    put32(header, 36 + bytes);
    header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(header, 16);
    put16(header, 3); // IEEE float
    put16(header, 2);
    put32(header, kRate);
    put32(header, kRate * 8);
    put16(header, 8);
    put16(header, 32);
    header.insert(header.end(), {'d', 'a', 't', 'a'});
    put32(header, bytes);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    std::fwrite(header.data(), 1, header.size(), file);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    std::vector<float> samples(2 * static_cast<size_t>(frames));
    for (uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < 2; ++c)
            samples[2 * static_cast<size_t>(i) + static_cast<size_t>(c)] = i % 32 == 0 ? click : scale * noise(random);
    const bool ok = std::fwrite(samples.data(), sizeof(float), samples.size(), file) == samples.size();
    return std::fclose(file) == 0 && ok;
}

// The fastest of three runs of measure on path, in seconds; negative when it fails.
double timeMeasure(const std::string& path) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const std::string command = std::string(NIVOLO_HOST_PATH) + " measure '" + path + "' --json > /dev/null";
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) return -1.0;
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = t < best ? t : best;
    }
    return best;
}

} // namespace

int main() {
    const std::string normal = "/tmp/nivolo-bench-noise.wav", denormal = "/tmp/nivolo-bench-denormal.wav";
    if (!writeNoise(normal, 0.1f, 0.1f) || !writeNoise(denormal, 1e-40f, 1e-3f)) {
        std::fprintf(stderr, "cannot write the test files in /tmp\n");
        return 1;
    }
    const double normalSeconds = timeMeasure(normal), denormalSeconds = timeMeasure(denormal);
    if (normalSeconds <= 0.0 || denormalSeconds <= 0.0) {
        std::fprintf(stderr, "nivolo-host measure failed\n");
        return 1;
    }
    const double ratio = denormalSeconds / normalSeconds;
    std::printf("denormal cost: %.3f s for %d s of denormal noise, %.3f s for -20 dBFS noise: %.2fx\n", denormalSeconds,
                kSeconds, normalSeconds, ratio);
    return ratio <= kAllowedRatio ? 0 : 1;
}
