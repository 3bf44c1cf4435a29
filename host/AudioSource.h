#pragma once
// Where `measure` gets its audio: a sound file (anything libsndfile reads; not
// on Windows), raw samples (a file or a pipe), or the built-in test programme.
// Samples come interleaved as 32-bit floats.

#include <cstdint>
#include <memory>
#include <string>

namespace NivoloHost {

class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual double sampleRate() const = 0;
    virtual int32_t channels() const = 0;
    static constexpr int64_t kUnknownLength = -1;

    // Frames in the source; kUnknownLength when only reading to its end tells (a pipe).
    virtual int64_t frames() const = 0;
    // Up to count frames into interleaved; returns the frames read (0 at the end).
    virtual int64_t read(float* interleaved, int64_t count) = 0;
    virtual std::string name() const = 0;

    // Null with a one-line reason when the file cannot be read as audio.
    static std::unique_ptr<AudioSource> openFile(const std::string& path, std::string& error);
    // Raw interleaved 32-bit float samples in the machine's byte order, from path
    // ("-": standard input), at the given rate and channel count. A frame cut
    // short at the end is left out. Null with a one-line reason.
    static std::unique_ptr<AudioSource> openRaw(const std::string& path, double sampleRate, int32_t channels,
                                                std::string& error);
    // About 30 s of stereo at 48 kHz: 1 kHz at -26 dBFS for 10 s, -20 dBFS for 10 s, -23 dBFS for 10 s.
    static std::unique_ptr<AudioSource> builtInProgramme();
};

} // namespace NivoloHost
