#include "dsp/SampleCollector.h"

#include <cstring>

#include "dsp/AlignedBuffer.h"

namespace DSP {

SampleCollector::SampleCollector(float rate, int32_t channels, uint32_t maxSamples, int32_t block, int32_t mode)
    : collectMode(mode), channelCount(channels), blockSize(block) {
    sampleRate = static_cast<double>(rate);
    maxSamplesPerCall = maxSamples;
}

// Owners terminate first; this only catches what a missing terminate would leak.
SampleCollector::~SampleCollector() { releaseAll(); }

void SampleCollector::releaseAll() {
    freeChannels(blockInputs, channelCount);
    freeChannels(blockOutputs, channelCount);
    freePointerArray(inputCursors);
    freePointerArray(outputCursors);
}

int32_t SampleCollector::initialize() {
    SampleCollector::freeBuffers();
    SampleCollector::allocateBuffers();
    applyMode(collectMode);
    collectorInitialized = true;
    return 0;
}

int32_t SampleCollector::terminate() {
    SampleCollector::freeBuffers();
    collectorTerminated = true;
    return 0;
}

void SampleCollector::freeBuffers() { releaseAll(); }

void SampleCollector::allocateBuffers() {
    allocateBlockBuffers();
    inputCursors = allocatePointerArray<float>(channelCount);
    outputCursors = allocatePointerArray<float>(channelCount);
}

void SampleCollector::freeBlockBuffers() {
    freeChannels(blockInputs, channelCount);
    freeChannels(blockOutputs, channelCount);
}

void SampleCollector::allocateBlockBuffers() {
    freeBlockBuffers();
    blockInputs = allocateChannels<float>(channelCount, static_cast<size_t>(blockSize));
    blockOutputs = allocateChannels<float>(channelCount, static_cast<size_t>(blockSize));
}

void SampleCollector::clearBlocks() {
    if (blockInputs && blockOutputs) {
        for (int32_t c = 0; c < channelCount; ++c) {
            std::memset(blockInputs[c], 0, sizeof(float) * static_cast<size_t>(blockSize));
            std::memset(blockOutputs[c], 0, sizeof(float) * static_cast<size_t>(blockSize));
        }
    }
    fillCount = 0;
}

void SampleCollector::reset() { clearBlocks(); }

void SampleCollector::setActive(bool state) {
    active = state;
    if (!state) clearBlocks();
}

int32_t SampleCollector::setChannels(int32_t inputs, int32_t outputs, int32_t) {
    if (inputs != outputs) return 1;
    if (inputs == channelCount) return 0;
    freeBuffers();
    channelCount = inputs;
    allocateBuffers();
    return 0;
}

void SampleCollector::applyMode(int32_t mode) {
    collectMode = mode;
    if (mode == kCollectBlocks) {
        ioRoutine = &SampleCollector::collect;
        inputRoutine = &SampleCollector::collectInput;
        latency = static_cast<uint32_t>(blockSize);
    } else {
        ioRoutine = &SampleCollector::processDirect;
        inputRoutine = &SampleCollector::processInputDirect;
        latency = 0;
    }
}

void SampleCollector::process(float** in, float** out, int32_t count) { (this->*ioRoutine)(in, out, count); }

void SampleCollector::processInput(float** in, int32_t count) { (this->*inputRoutine)(in, count); }

void SampleCollector::collect(float** in, float** out, int32_t count) {
    for (int32_t c = 0; c < channelCount; ++c) {
        inputCursors[c] = in[c];
        outputCursors[c] = out[c];
    }
    if (count <= 0) return;
    if (blockSize <= 0) {
        // A block of no samples (a window shorter than one sample at a very low
        // rate) frames nothing: the input passes with the latency of 0 samples.
        for (int32_t c = 0; c < channelCount; ++c)
            if (out[c] != in[c]) std::memmove(out[c], in[c], sizeof(float) * static_cast<size_t>(count));
        return;
    }
    while (fillCount + count >= blockSize) {
        const int32_t take = blockSize - fillCount;
        const size_t bytes = sizeof(float) * static_cast<size_t>(take);
        for (int32_t c = 0; c < channelCount; ++c) {
            std::memcpy(blockInputs[c] + fillCount, inputCursors[c], bytes);
            std::memcpy(outputCursors[c], blockOutputs[c] + fillCount, bytes);
        }
        processBlock(blockInputs, blockOutputs, blockSize);
        for (int32_t c = 0; c < channelCount; ++c) {
            inputCursors[c] += take;
            outputCursors[c] += take;
        }
        fillCount = 0;
        count -= take;
        if (count == 0) return;
    }
    const size_t bytes = sizeof(float) * static_cast<size_t>(count);
    for (int32_t c = 0; c < channelCount; ++c) {
        std::memcpy(blockInputs[c] + fillCount, inputCursors[c], bytes);
        std::memcpy(outputCursors[c], blockOutputs[c] + fillCount, bytes);
    }
    fillCount += count;
}

void SampleCollector::collectInput(float** in, int32_t count) {
    for (int32_t c = 0; c < channelCount; ++c) inputCursors[c] = in[c];
    if (count <= 0 || blockSize <= 0) return; // no samples make a block of none
    while (fillCount + count >= blockSize) {
        const int32_t take = blockSize - fillCount;
        const size_t bytes = sizeof(float) * static_cast<size_t>(take);
        for (int32_t c = 0; c < channelCount; ++c) std::memcpy(blockInputs[c] + fillCount, inputCursors[c], bytes);
        processBlockInput(blockInputs, blockSize);
        for (int32_t c = 0; c < channelCount; ++c) inputCursors[c] += take;
        fillCount = 0;
        count -= take;
        if (count == 0) return;
    }
    const size_t bytes = sizeof(float) * static_cast<size_t>(count);
    for (int32_t c = 0; c < channelCount; ++c) std::memcpy(blockInputs[c] + fillCount, inputCursors[c], bytes);
    fillCount += count;
}

} // namespace DSP
