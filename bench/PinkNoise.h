#pragma once
// Stereo pink noise (independent channels, about -20 dBFS RMS) at 48 kHz as a
// 32-bit float WAV: what a mastering engineer measures most often is broadband
// programme, and a float file costs the reader next to nothing.

#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace Bench {

inline constexpr int kPinkRate = 48000;

inline bool writePinkNoise(const std::string& path, int seconds, unsigned seed = 7) {
    std::ofstream file(path, std::ios::binary);
    auto u16 = [&](uint32_t v) { file.put(static_cast<char>(v)).put(static_cast<char>(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    const uint32_t dataBytes = 2u * 4u * kPinkRate * static_cast<uint32_t>(seconds);
    file << "RIFF", u32(36 + dataBytes), file << "WAVEfmt ", u32(16), u16(3), u16(2), u32(kPinkRate), u32(8 * kPinkRate);
    u16(8), u16(32), file << "data", u32(dataBytes);
    std::mt19937 random(seed);
    std::normal_distribution<double> white(0.0, 1.0);
    // A sum of first-order sections with poles spread over the audio band: -3 dB per octave.
    double b[2][7] = {};
    std::vector<float> block(2 * static_cast<size_t>(kPinkRate));
    for (int second = 0; second < seconds; ++second) {
        for (int i = 0; i < kPinkRate; ++i) {
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

} // namespace Bench
