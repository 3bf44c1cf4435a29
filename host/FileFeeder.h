#pragma once
// Reads a file ahead of the audio thread: a thread of its own decodes the
// source into a lock-free ring of interleaved samples, and the audio callback
// only takes from the ring, so it never touches the file.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "host/AudioSource.h"
#include "host/SpscQueue.h"

namespace NivoloHost {

class FileFeeder {
public:
    // The ring holds about `seconds` of the source's audio.
    FileFeeder(std::unique_ptr<AudioSource> source, double seconds);
    // Stops the reading thread.
    ~FileFeeder();
    FileFeeder(const FileFeeder&) = delete;
    FileFeeder& operator=(const FileFeeder&) = delete;

    const AudioSource& source() const { return *source_; }

    // [ui thread] Starts reading and returns once the ring is full or the
    // whole file is in it, so that playback starts with the ring ahead.
    void start();

    // [audio thread] Up to `frames` interleaved frames; returns how many.
    size_t take(float* interleaved, size_t frames);
    // [audio thread] The file was read to its end and everything was taken.
    bool exhausted() const;

private:
    void readAhead();

    std::unique_ptr<AudioSource> source_;
    const size_t channels_;
    SpscQueue<float> ring_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> readToEnd_{false};
};

} // namespace NivoloHost
