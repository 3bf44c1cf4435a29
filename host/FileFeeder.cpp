#include "host/FileFeeder.h"

#include <chrono>
#include <vector>

namespace NivoloHost {

namespace {
constexpr size_t kChunkFrames = 4096;
constexpr auto kPause = std::chrono::milliseconds(5); // while the ring is full
} // namespace

FileFeeder::FileFeeder(std::unique_ptr<AudioSource> source, double seconds)
    : source_(std::move(source)), channels_(static_cast<size_t>(source_->channels())),
      ring_(static_cast<size_t>(seconds * source_->sampleRate()) * channels_ + kChunkFrames * channels_) {}

FileFeeder::~FileFeeder() {
    stop_.store(true);
    if (reader_.joinable()) reader_.join();
}

void FileFeeder::start() {
    reader_ = std::thread([this] { readAhead(); });
    while (!readToEnd_.load() && ring_.space() >= kChunkFrames * channels_) std::this_thread::sleep_for(kPause);
}

void FileFeeder::readAhead() {
    std::vector<float> chunk(kChunkFrames * channels_);
    while (!stop_.load()) {
        // Whole frames only, so the audio thread always takes whole frames.
        if (ring_.space() < chunk.size()) {
            std::this_thread::sleep_for(kPause);
            continue;
        }
        const int64_t got = source_->read(chunk.data(), static_cast<int64_t>(kChunkFrames));
        if (got <= 0) break;
        ring_.push(chunk.data(), static_cast<size_t>(got) * channels_);
    }
    readToEnd_.store(true, std::memory_order_release);
}

size_t FileFeeder::take(float* interleaved, size_t frames) {
    const size_t whole = ring_.available() / channels_;
    return ring_.pop(interleaved, std::min(frames, whole) * channels_) / channels_;
}

bool FileFeeder::exhausted() const {
    // Read first: once the reader is done, everything it pushed is visible.
    return readToEnd_.load(std::memory_order_acquire) && ring_.available() == 0;
}

} // namespace NivoloHost
