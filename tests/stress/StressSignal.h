#pragma once
// Multichannel blocks for stress runs: a phase-continuous sine at any rate,
// noise, and the hostile contents a host can pass on (NaN, infinities,
// denormals, full-scale squares, DC). The buffers are sized once for the
// largest block.

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace NivoloStress {

class StressSignal {
public:
    enum class Kind { Sine, Noise, NaN, PlusInfinity, MinusInfinity, Denormal, Square, Dc };

    StressSignal() = default;
    StressSignal(int32_t channels, int32_t maxBlock) { resize(channels, maxBlock); }

    void resize(int32_t channels, int32_t maxBlock) {
        channels_ = channels;
        buffers_.assign(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(maxBlock)));
        pointers_.resize(static_cast<size_t>(channels));
        for (size_t c = 0; c < buffers_.size(); ++c) pointers_[c] = buffers_[c].data();
    }

    // amplitude: the sine's peak, the noise's largest magnitude, the square's and DC's level.
    void set(Kind kind, double amplitude, double sampleRate, double frequency = 1000.0) {
        kind_ = kind;
        amplitude_ = amplitude;
        sampleRate_ = sampleRate;
        frequency_ = frequency;
    }

    // Every later block starts with this sample on every channel (0: no click).
    void setClick(float value) { click_ = value; }

    float* const* next(int32_t n) {
        for (int32_t c = 0; c < channels_; ++c) {
            float* x = buffers_[static_cast<size_t>(c)].data();
            for (int32_t i = 0; i < n; ++i) x[i] = sample(position_ + i);
            if (click_ != 0.0f && n > 0) x[0] = click_;
        }
        position_ += n;
        return pointers_.data();
    }

    float* const* pointers() { return pointers_.data(); }
    int32_t channels() const { return channels_; }

private:
    float sample(int64_t index) {
        const double phase = static_cast<double>(index) * frequency_ / sampleRate_;
        switch (kind_) {
        case Kind::Sine: return static_cast<float>(amplitude_ * std::sin(2.0 * M_PI * phase));
        case Kind::Noise: return static_cast<float>(amplitude_ * (2.0 * nextRandom() - 1.0));
        case Kind::NaN: return std::numeric_limits<float>::quiet_NaN();
        case Kind::PlusInfinity: return std::numeric_limits<float>::infinity();
        case Kind::MinusInfinity: return -std::numeric_limits<float>::infinity();
        case Kind::Denormal:
            // Alternating signs, every magnitude below the smallest normal float.
            return static_cast<float>((index & 1) ? -1.0 : 1.0) * std::numeric_limits<float>::denorm_min() *
                   static_cast<float>(1 + index % 4000000);
        case Kind::Square:
            return static_cast<float>(phase - std::floor(phase) < 0.5 ? amplitude_ : -amplitude_);
        case Kind::Dc: return static_cast<float>(amplitude_);
        }
        return 0.0f;
    }
    double nextRandom() {
        seed_ = seed_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(seed_ >> 11) / 9007199254740992.0;
    }

    int32_t channels_ = 0;
    std::vector<std::vector<float>> buffers_;
    std::vector<float*> pointers_;
    Kind kind_ = Kind::Sine;
    double amplitude_ = 0.0;
    double sampleRate_ = 48000.0;
    double frequency_ = 1000.0;
    int64_t position_ = 0;
    float click_ = 0.0f;
    uint64_t seed_ = 0x2545F4914F6CDD1Dull;
};

inline double dbToAmplitude(double db) { return std::pow(10.0, db / 20.0); }

} // namespace NivoloStress
