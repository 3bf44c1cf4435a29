#pragma once
// Where `measure` gets its audio: a sound file (anything libsndfile reads) or
// the built-in test programme. Samples come interleaved as 32-bit floats.

#include <cstdint>
#include <memory>
#include <string>

namespace NivoloHost {

class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual double sampleRate() const = 0;
    virtual int32_t channels() const = 0;
    // Frames in the source.
    virtual int64_t frames() const = 0;
    // Up to count frames into interleaved; returns the frames read (0 at the end).
    virtual int64_t read(float* interleaved, int64_t count) = 0;
    virtual std::string name() const = 0;

    // Null with a one-line reason when the file cannot be read as audio.
    static std::unique_ptr<AudioSource> openFile(const std::string& path, std::string& error);
    // About 30 s of stereo at 48 kHz: 1 kHz at -26 dBFS for 10 s, -20 dBFS for 10 s, -23 dBFS for 10 s.
    static std::unique_ptr<AudioSource> builtInProgramme();
};

} // namespace NivoloHost
