#include "dsp/Overlap.h"

#include <algorithm>
#include <cstring>

namespace DSP {

Overlap::Overlap(float rate, int32_t channels, uint32_t maxSamples, int32_t frameLength, int32_t historyLength)
    : Ols(rate, channels, maxSamples, frameLength, historyLength),
      keepCount(std::max(history - hop, 0)),
      appendCount(std::min(hop, history)),
      appendOffset(std::max(hop - history, 0)) {
    latency = static_cast<uint32_t>(hop + history);
}

void Overlap::reset() {
    validHistory = 0;
    frameHandler = &Overlap::warmUpFrame;
    Ols::reset();
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

} // namespace DSP
