#pragma once
// How hard the stress suite pushes: NIVOLO_STRESS_SCALE multiplies every cycle
// count and duration (1 by default: the whole suite in seconds; make check runs
// it larger). Random runs use a fixed seed, printed with every failure;
// NIVOLO_STRESS_SEED picks another.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace NivoloStress {

inline int stressScale() {
    const char* text = std::getenv("NIVOLO_STRESS_SCALE");
    const int scale = text ? std::atoi(text) : 1;
    return scale >= 1 ? scale : 1;
}

// base at scale 1, times the scale.
inline int64_t scaled(int64_t base) { return base * stressScale(); }

// Sanitized builds run many times slower: their waits get longer, their counts smaller.
#ifdef NIVOLO_SANITIZED
inline constexpr double kSlowdown = 10.0;
inline constexpr int64_t kSanitizerDivisor = 20;
#else
inline constexpr double kSlowdown = 1.0;
inline constexpr int64_t kSanitizerDivisor = 1;
#endif

// A cycle count: base at scale 1, reduced under a sanitizer, never below 1.
inline int64_t cycles(int64_t base) {
    const int64_t n = scaled(base) / kSanitizerDivisor;
    return n >= 1 ? n : 1;
}

inline constexpr uint64_t kDefaultStressSeed = 20261206;

inline uint64_t stressSeed() {
    const char* text = std::getenv("NIVOLO_STRESS_SEED");
    const uint64_t seed = text ? std::strtoull(text, nullptr, 0) : kDefaultStressSeed;
    std::printf("stress: seed %llu\n", static_cast<unsigned long long>(seed));
    return seed;
}

inline std::string seedNote(uint64_t seed) {
    return "seed " + std::to_string(seed) + " (replay with NIVOLO_STRESS_SEED=" + std::to_string(seed) + ")";
}

// A small, fast generator (splitmix64) so that a seed replays the same run everywhere.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [low, high].
    int64_t between(int64_t low, int64_t high) {
        return low + static_cast<int64_t>(next() % static_cast<uint64_t>(high - low + 1));
    }
    // Uniform in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
    bool chance(double probability) { return unit() < probability; }
    template <typename T, size_t N>
    const T& pick(const T (&choices)[N]) {
        return choices[next() % N];
    }

private:
    uint64_t state_;
};

} // namespace NivoloStress
