#include "host/AudioSource.h"

#include <cmath>

namespace NivoloHost {

namespace {

class ProgrammeSource : public AudioSource {
public:
    static constexpr double kRate = 48000.0;
    static constexpr int64_t kSegment = 10 * 48000;

    double sampleRate() const override { return kRate; }
    int32_t channels() const override { return 2; }
    int64_t frames() const override { return 3 * kSegment; }
    std::string name() const override { return "built-in programme"; }

    int64_t read(float* interleaved, int64_t count) override {
        int64_t n = 0;
        for (; n < count && position_ < frames(); ++n, ++position_) {
            static const double levels[3] = {-26.0, -20.0, -23.0};
            const double amplitude = std::pow(10.0, levels[position_ / kSegment] / 20.0);
            const auto sample = static_cast<float>(amplitude * std::sin(2.0 * M_PI * 1000.0 * position_ / kRate));
            interleaved[2 * n] = interleaved[2 * n + 1] = sample;
        }
        return n;
    }

private:
    int64_t position_ = 0;
};

} // namespace

std::unique_ptr<AudioSource> AudioSource::builtInProgramme() { return std::make_unique<ProgrammeSource>(); }

} // namespace NivoloHost
