#include "dsp/Ols.h"

#include <cstring>

#include "dsp/AlignedBuffer.h"

namespace DSP {

Ols::Ols(float rate, int32_t channels, uint32_t maxSamples, int32_t frameLength, int32_t historyLength)
    : SampleCollector(rate, channels, maxSamples, frameLength - historyLength, kCollectBlocks),
      history(historyLength),
      hop(frameLength - historyLength) {
    latency = static_cast<uint32_t>(hop);
}

Ols::~Ols() { releaseFrames(); }

void Ols::releaseFrames() {
    freeChannels(historyBuffers, channelCount);
    freeChannels(frameBuffers, channelCount);
}

void Ols::allocateFrames() {
    releaseFrames();
    if (!frameBuffersNeeded()) return;
    historyBuffers = allocateChannels<float>(channelCount, static_cast<size_t>(history));
    frameBuffers = allocateChannels<float>(channelCount, static_cast<size_t>(history + hop));
}

int32_t Ols::initialize() {
    SampleCollector::initialize();
    allocateFrames();
    setFrameBypass(0);
    olsInitialized = true;
    return 0;
}

int32_t Ols::terminate() {
    releaseFrames();
    SampleCollector::terminate();
    olsTerminated = true;
    return 0;
}

void Ols::freeBuffers() {
    releaseFrames();
    SampleCollector::freeBuffers();
}

void Ols::allocateBuffers() {
    allocateFrames();
    SampleCollector::allocateBuffers();
}

void Ols::clearAll() {
    clearBlocks();
    if (historyBuffers && frameBuffers) {
        for (int32_t c = 0; c < channelCount; ++c) {
            std::memset(historyBuffers[c], 0, sizeof(float) * static_cast<size_t>(history));
            std::memset(frameBuffers[c], 0, sizeof(float) * static_cast<size_t>(history + hop));
        }
    }
}

void Ols::reset() { clearAll(); }

void Ols::setActive(bool state) {
    active = state;
    if (!state) clearAll();
}

void Ols::processBlock(float** blockIn, float** blockOut, int32_t n) {
    if (frameBypass) {
        for (int32_t c = 0; c < channelCount; ++c)
            std::memcpy(blockOut[c], blockIn[c], sizeof(float) * static_cast<size_t>(n));
        return;
    }
    const size_t historyBytes = sizeof(float) * static_cast<size_t>(history);
    const size_t hopBytes = sizeof(float) * static_cast<size_t>(hop);
    for (int32_t c = 0; c < channelCount; ++c) {
        std::memcpy(frameBuffers[c], historyBuffers[c], historyBytes);
        std::memcpy(frameBuffers[c] + history, blockIn[c], hopBytes);
        std::memcpy(historyBuffers[c], blockIn[c] + (hop - history), historyBytes);
    }
    processFrame(frameBuffers, history + hop);
    for (int32_t c = 0; c < channelCount; ++c) std::memcpy(blockOut[c], frameBuffers[c] + history, hopBytes);
}

} // namespace DSP
