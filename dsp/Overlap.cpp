#include "dsp/Overlap.h"

#include <algorithm>
#include <cstring>

#include "dsp/AlignedBuffer.h"

namespace DSP {

Overlap::Overlap(float rate, int32_t channels, uint32_t maxSamples, int32_t frameLength, int32_t historyLength)
    : Ols(rate, channels, maxSamples, frameLength, historyLength),
      keepCount(std::max(history - hop, 0)),
      appendCount(std::min(hop, history)),
      appendOffset(std::max(hop - history, 0)) {
    latency = static_cast<uint32_t>(hop + history);
}

int32_t Overlap::initialize() {
    Ols::initialize();
    allocateWindow();
    return 0;
}

int32_t Overlap::terminate() {
    releaseWindow();
    return Ols::terminate();
}

void Overlap::freeBuffers() {
    releaseWindow();
    Ols::freeBuffers();
}

void Overlap::allocateBuffers() {
    Ols::allocateBuffers();
    allocateWindow();
}

void Overlap::allocateWindow() {
    releaseWindow();
    if (!readsFramesOnly()) return;
    windowCapacity_ = history + hop * (1 + kSpareHops);
    window_ = allocateChannels<float>(channelCount, static_cast<size_t>(windowCapacity_));
    views_ = allocatePointerArray<float>(channelCount);
    clearWindow();
}

void Overlap::releaseWindow() {
    freeChannels(window_, channelCount);
    freePointerArray(views_);
    windowCapacity_ = windowEnd_ = 0;
}

void Overlap::clearWindow() {
    // Only the history part is read before it is written again.
    windowEnd_ = history;
    if (window_)
        for (int32_t c = 0; c < channelCount; ++c)
            std::memset(window_[c], 0, sizeof(float) * static_cast<size_t>(history));
}

const float* Overlap::historyOf(int32_t channel) const {
    return window_ ? window_[channel] + (windowEnd_ - history) : Ols::historyOf(channel);
}

void Overlap::reset() {
    validHistory = 0;
    frameHandler = &Overlap::warmUpFrame;
    Ols::reset();
    clearWindow();
}

void Overlap::setActive(bool state) {
    Ols::setActive(state);
    if (!state) clearWindow();
}

void Overlap::applyMode(int32_t) {
    SampleCollector::applyMode(kCollectBlocks);
    latency = static_cast<uint32_t>(hop + history);
}

void Overlap::processBlockInput(float** blockIn, int32_t) {
    if (!frameBypass) (this->*frameHandler)(blockIn);
}

void Overlap::processBlock(float** blockIn, float**, int32_t) {
    if (!frameBypass) (this->*frameHandler)(blockIn);
}

void Overlap::warmUpFrame(float** blockIn) {
    frameStep(blockIn, validHistory + hop);
    validHistory += appendCount;
    if (validHistory >= history) frameHandler = &Overlap::steadyFrame;
}

void Overlap::steadyFrame(float** blockIn) { frameStep(blockIn, history + hop); }

void Overlap::frameStep(float** blockIn, int32_t length) {
    if (window_) {
        slideStep(blockIn, length);
        return;
    }
    const size_t historyBytes = sizeof(float) * static_cast<size_t>(history);
    const size_t hopBytes = sizeof(float) * static_cast<size_t>(hop);
    for (int32_t c = 0; c < channelCount; ++c) {
        std::memcpy(frameBuffers[c], historyBuffers[c], historyBytes);
        std::memcpy(frameBuffers[c] + history, blockIn[c], hopBytes);
    }
    processFrame(frameBuffers, length);
    for (int32_t c = 0; c < channelCount; ++c) {
        if (keepCount > 0)
            std::memmove(historyBuffers[c], historyBuffers[c] + hop, sizeof(float) * static_cast<size_t>(keepCount));
        std::memcpy(historyBuffers[c] + keepCount, blockIn[c] + appendOffset,
                    sizeof(float) * static_cast<size_t>(appendCount));
    }
}

void Overlap::slideStep(float** blockIn, int32_t length) {
    if (blockIn)
        for (int32_t c = 0; c < channelCount; ++c)
            std::memcpy(window_[c] + windowEnd_, blockIn[c], sizeof(float) * static_cast<size_t>(hop));
    for (int32_t c = 0; c < channelCount; ++c) views_[c] = window_[c] + (windowEnd_ - history);
    windowEnd_ += hop;
    processFrame(views_, length);
    if (windowEnd_ + hop > windowCapacity_) {
        // No room for the next hop: the last M samples go to the front, the rest is free again.
        for (int32_t c = 0; c < channelCount; ++c)
            std::memmove(window_[c], window_[c] + (windowEnd_ - history), sizeof(float) * static_cast<size_t>(history));
        windowEnd_ = history;
    }
}

void Overlap::collectInput(float** in, int32_t count) {
    if (!window_) {
        SampleCollector::collectInput(in, count);
        return;
    }
    for (int32_t c = 0; c < channelCount; ++c) inputCursors[c] = in[c];
    if (count <= 0 || blockSize <= 0) return;
    while (count > 0) {
        const int32_t take = blockSize - fillCount < count ? blockSize - fillCount : count;
        for (int32_t c = 0; c < channelCount; ++c) {
            std::memcpy(window_[c] + windowEnd_ + fillCount, inputCursors[c], sizeof(float) * static_cast<size_t>(take));
            inputCursors[c] += take;
        }
        fillCount += take;
        count -= take;
        if (fillCount == blockSize) {
            fillCount = 0;
            if (!frameBypass) (this->*frameHandler)(nullptr);
        }
    }
}

} // namespace DSP
