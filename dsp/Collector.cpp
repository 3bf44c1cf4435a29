#include "dsp/Collector.h"

#include "dsp/AlignedBuffer.h"
#include "dsp/VectorOps.h"

namespace DSP {

Collector::Collector(int32_t windowLength, int32_t channelCount) : channelCount_(channelCount) {
    maxSamplesPerCall = static_cast<uint32_t>(windowLength);
}

Collector::~Collector() { terminate(); }

int32_t Collector::initialize() {
    if (!channelSums_) channelSums_ = allocateAligned<float>(static_cast<size_t>(channelCount_));
    for (int32_t c = 0; c < channelCount_; ++c) channelSums_[c] = 0.0f;
    if (!weights_) weights_ = allocateAligned<float>(static_cast<size_t>(channelCount_));
    for (int32_t c = 0; c < channelCount_; ++c) weights_[c] = 1.0f;
    initialized_ = true;
    return 0;
}

int32_t Collector::terminate() {
    freeAligned(channelSums_);
    freeAligned(weights_);
    terminated_ = true;
    return 0;
}

void Collector::reset() {
    if (channelSums_)
        for (int32_t c = 0; c < channelCount_; ++c) channelSums_[c] = 0.0f;
    meanSquare_ = 0.0f;
}

bool Collector::setWeights(const float* weights, int32_t count) {
    if (!weights_ || count > channelCount_) return false;
    for (int32_t c = 0; c < count; ++c) weights_[c] = weights[c];
    return true;
}

void Collector::sumWindow(float** frame, int32_t length) {
    const int32_t window = static_cast<int32_t>(maxSamplesPerCall);
    if (length < window) return;
    const VectorOps& ops = vectorOps();
    float z = 0.0f;
    for (int32_t c = 0; c < channelCount_; ++c) {
        channelSums_[c] = ops.sumExtended(frame[c], length);
        z += channelSums_[c] * weights_[c];
    }
    meanSquare_ = z / static_cast<float>(window);
}

float blockLoudness(float meanSquare) {
    return 10.0f * vectorOps().log10(meanSquare) - 0.691f;
}

} // namespace DSP
