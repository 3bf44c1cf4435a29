#include "host/AudioSource.h"

#include <cmath>
#include <cstdio>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

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

class RawSource : public AudioSource {
public:
    RawSource(std::FILE* file, bool owned, std::string name, double rate, int32_t channels)
        : file_(file), owned_(owned), name_(std::move(name)), rate_(rate), channels_(channels) {}
    ~RawSource() override {
        if (owned_) std::fclose(file_);
    }

    double sampleRate() const override { return rate_; }
    int32_t channels() const override { return channels_; }
    int64_t frames() const override { return 0; } // a pipe tells its length only by ending
    std::string name() const override { return name_; }

    int64_t read(float* interleaved, int64_t count) override {
        if (count <= 0 || channels_ <= 0) return 0;
        const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels_);
        auto* bytes = reinterpret_cast<unsigned char*>(interleaved);
        // A pipe hands over what it has: keep reading until the block is full or the input ends.
        size_t have = 0, want = frameBytes * static_cast<size_t>(count);
        while (have < want) {
            const size_t got = std::fread(bytes + have, 1, want - have, file_);
            if (got == 0) break;
            have += got;
        }
        return static_cast<int64_t>(have / frameBytes);
    }

private:
    std::FILE* file_;
    bool owned_;
    std::string name_;
    double rate_;
    int32_t channels_;
};

} // namespace

std::unique_ptr<AudioSource> AudioSource::openRaw(const std::string& path, double sampleRate, int32_t channels,
                                                  std::string& error) {
    if (path == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY); // samples, not text: no line-end translation
#endif
        return std::make_unique<RawSource>(stdin, false, "standard input", sampleRate, channels);
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot read '" + path + "'";
        return nullptr;
    }
    return std::make_unique<RawSource>(file, true, path, sampleRate, channels);
}

std::unique_ptr<AudioSource> AudioSource::builtInProgramme() { return std::make_unique<ProgrammeSource>(); }

} // namespace NivoloHost
