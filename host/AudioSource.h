#pragma once
// Where `measure` gets its audio: a media file or standard input (anything
// FFmpeg decodes), raw samples (a file or a pipe), or the built-in test
// programme. Samples come interleaved as 32-bit floats, channels in the order
// of the speaker arrangement.

#include <cstdint>
#include <memory>
#include <string>

#include "interfaces/SpeakerArrangement.h"

namespace NivoloHost {

class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual double sampleRate() const = 0;
    virtual int32_t channels() const = 0;
    // The speakers the channels feed (0: the host's usual arrangement for the count).
    virtual Zel::SpeakerArrangement arrangement() const { return 0; }
    // Frames in the source as far as its container tells (0: unknown): for a
    // progress bar only. The length is what read() delivers.
    virtual int64_t frames() const = 0;
    // Up to count frames into interleaved; returns the frames read (0 at the end).
    virtual int64_t read(float* interleaved, int64_t count) = 0;
    virtual std::string name() const = 0;
    // Once read() has returned 0: one line on audio that could not be decoded
    // (the readings are of what was), or empty.
    virtual std::string warning() const { return {}; }

    // A path, or "-" for standard input; stream counts the audio streams from 0.
    // Null with a one-line reason when nothing of it decodes as audio;
    // notAudio (when given) then tells whether it is no audio at all (a format
    // FFmpeg does not know, or no audio stream) rather than audio that fails.
    static std::unique_ptr<AudioSource> openFile(const std::string& path, int stream, std::string& error,
                                                 bool* notAudio = nullptr);
    // The decoding libraries' versions, on one line.
    static std::string libraryVersions();
    // Raw interleaved 32-bit float samples in the machine's byte order, from path
    // ("-": standard input), at the given rate and channel count. A frame cut
    // short at the end is left out. Null with a one-line reason.
    static std::unique_ptr<AudioSource> openRaw(const std::string& path, double sampleRate, int32_t channels,
                                                std::string& error);
    // About 30 s of stereo at 48 kHz: 1 kHz at -26 dBFS for 10 s, -20 dBFS for 10 s, -23 dBFS for 10 s.
    static std::unique_ptr<AudioSource> builtInProgramme();
};

} // namespace NivoloHost
