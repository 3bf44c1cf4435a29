#include "host/SourcePrefetcher.h"

#include <algorithm>

namespace NivoloHost {

namespace {
// About a second and a half of stereo at 48 kHz per chunk: large enough that
// handing chunks over costs nothing, small enough to stay in the caches' reach.
constexpr int64_t kChunkFrames = 65536;
} // namespace

SourcePrefetcher::SourcePrefetcher(AudioSource& source, int32_t blockSize, int64_t limit)
    : source_(source), channels_(source.channels()), blockSize_(blockSize), limit_(limit) {
    // Whole blocks per chunk; a block longer than a chunk is a chunk of its own.
    chunkFrames_ = std::max<int64_t>(1, kChunkFrames / blockSize_) * blockSize_;
    const size_t chunkCount = chunkFrames_ > kChunkFrames ? 2 : 3;
    chunks_.resize(chunkCount);
    for (Chunk& chunk : chunks_) {
        chunk.samples.resize(static_cast<size_t>(chunkFrames_) * static_cast<size_t>(channels_));
        chunk.channels.resize(static_cast<size_t>(channels_));
    }
    interleaved_.resize(static_cast<size_t>(chunkFrames_) * static_cast<size_t>(channels_));
    blockPointers_.resize(static_cast<size_t>(channels_));
    reader_ = std::thread([this] { readAhead(); });
}

SourcePrefetcher::~SourcePrefetcher() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

void SourcePrefetcher::readAhead() {
    int64_t total = 0;
    for (size_t index = 0;; index = (index + 1) % chunks_.size()) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || filled_ < chunks_.size(); });
            if (stopping_) return;
        }
        // The chunk is the reader's until it is counted as filled.
        Chunk& chunk = chunks_[index];
        int64_t wanted = chunkFrames_;
        if (limit_ >= 0) wanted = std::min(wanted, limit_ - total);
        int64_t got = 0;
        while (got < wanted) {
            const int64_t n = source_.read(interleaved_.data() + got * channels_, wanted - got);
            if (n <= 0) break;
            got += n;
        }
        for (int32_t c = 0; c < channels_; ++c) {
            float* to = chunk.samples.data() + static_cast<size_t>(c) * static_cast<size_t>(chunkFrames_);
            const float* from = interleaved_.data() + c;
            if (channels_ == 2) {
                for (int64_t i = 0; i < got; ++i) to[i] = from[2 * i];
            } else {
                for (int64_t i = 0; i < got; ++i) to[i] = from[i * channels_];
            }
            chunk.channels[static_cast<size_t>(c)] = to;
        }
        chunk.frames = got;
        total += got;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++filled_;
        }
        changed_.notify_all();
        if (got < wanted || (limit_ >= 0 && total >= limit_)) {
            if (got == 0) return; // the empty chunk just filled marks the end
            // One more, empty, chunk marks the end.
            index = (index + 1) % chunks_.size();
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || filled_ < chunks_.size(); });
            if (stopping_) return;
            chunks_[index].frames = 0;
            ++filled_;
            lock.unlock();
            changed_.notify_all();
            return;
        }
    }
}

int32_t SourcePrefetcher::next(float* const*& planar) {
    Chunk* chunk = &chunks_[readIndex_];
    if (readOffset_ > 0 && readOffset_ >= chunk->frames) {
        // This chunk is done: give it back to the reader.
        {
            std::lock_guard<std::mutex> lock(mutex_);
            --filled_;
        }
        changed_.notify_all();
        readIndex_ = (readIndex_ + 1) % chunks_.size();
        readOffset_ = 0;
        chunk = &chunks_[readIndex_];
    }
    if (readOffset_ == 0) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return filled_ > 0; });
    }
    if (chunk->frames == 0) return 0; // the end; the chunk stays counted, nothing follows
    const int64_t frames = std::min<int64_t>(blockSize_, chunk->frames - readOffset_);
    for (int32_t c = 0; c < channels_; ++c)
        blockPointers_[static_cast<size_t>(c)] = chunk->channels[static_cast<size_t>(c)] + readOffset_;
    readOffset_ += frames;
    planar = blockPointers_.data();
    return static_cast<int32_t>(frames);
}

} // namespace NivoloHost
