#pragma once
// Reads a source ahead on a thread of its own, as a workstation's disk thread
// does: decoding and de-interleaving run beside the processing, which takes
// blocks of planar samples that are ready and waits only when it outruns the
// reader. Chunks of many blocks cross between the two threads, so handing one
// over costs nothing next to the audio it carries.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "host/AudioSource.h"

namespace NivoloHost {

class SourcePrefetcher {
public:
    // Reads at most limit frames (all of them when negative) in blocks of
    // blockSize; the source must outlive the prefetcher and is read only by it.
    SourcePrefetcher(AudioSource& source, int32_t blockSize, int64_t limit);
    ~SourcePrefetcher();
    SourcePrefetcher(const SourcePrefetcher&) = delete;
    SourcePrefetcher& operator=(const SourcePrefetcher&) = delete;

    // The next block: its frame count (0 at the end of the source) and one
    // pointer per channel, valid until the next call.
    int32_t next(float* const*& planar);

private:
    struct Chunk {
        std::vector<float> samples;   // channel after channel, chunkFrames_ each
        std::vector<float*> channels; // into samples, moved along as blocks are taken
        int64_t frames = 0;           // read into this chunk; 0 marks the end
    };

    void readAhead();

    AudioSource& source_;
    const int32_t channels_;
    const int32_t blockSize_;
    const int64_t limit_;
    int64_t chunkFrames_ = 0;
    std::vector<Chunk> chunks_;
    std::vector<float> interleaved_; // the reader's
    std::vector<float*> blockPointers_;

    std::mutex mutex_;
    std::condition_variable changed_;
    size_t filled_ = 0;   // chunks ready for the consumer (guarded)
    bool stopping_ = false;
    size_t readIndex_ = 0; // the consumer's chunk
    int64_t readOffset_ = 0;
    std::thread reader_;
};

} // namespace NivoloHost
