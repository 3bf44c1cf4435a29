#pragma once
// The records of the processing call, as the host lays them out (64-bit,
// little-endian).

#include <cstddef>
#include <cstdint>

namespace Zel {

class IParamChanges;

enum ProcessMode : int32_t { kRealtime = 0, kPrefetch = 1, kOffline = 2 };
enum SampleSize : int32_t { kSample32 = 0, kSample64 = 1 };

struct ProcessSetupInfo {
    int32_t processMode;
    int32_t sampleSizeCode;
    int32_t maxBlockSamples;
    double sampleRate;
};

struct AudioBufferSet {
    int32_t numChannels;
    uint64_t silenceFlags; // bit n set: channel n is silent
    float** channelBuffers;
};

struct TransportContext {
    static constexpr uint32_t kPlaying = 1 << 1;
    static constexpr uint32_t kPositionValid = 1 << 9;
    static constexpr uint32_t kTempoValid = 1 << 10;
    static constexpr uint32_t kCycleValid = 1 << 12;

    uint32_t state;
    double sampleRate;
    int64_t projectTimeSamples;
    int64_t systemTimeNanoseconds;
    int64_t continuousTimeSamples;
    double positionQuarters;
    double barPositionQuarters;
    double cycleStartQuarters;
    double cycleEndQuarters;
    double tempo; // quarter notes per minute
    int32_t timeSignatureNumerator;
    int32_t timeSignatureDenominator;
};

struct ProcessBlock {
    int32_t processMode;
    int32_t sampleSizeCode;
    int32_t numSamples;
    int32_t numInputs;
    int32_t numOutputs;
    AudioBufferSet* inputs;  // one per input bus
    AudioBufferSet* outputs; // one per output bus
    IParamChanges* inputChanges;  // may be null
    IParamChanges* outputChanges; // may be null
    void* inputEvents;
    void* outputEvents;
    TransportContext* transport; // may be null
};

static_assert(sizeof(ProcessSetupInfo) == 24);
static_assert(offsetof(ProcessSetupInfo, processMode) == 0);
static_assert(offsetof(ProcessSetupInfo, sampleSizeCode) == 4);
static_assert(offsetof(ProcessSetupInfo, maxBlockSamples) == 8);
static_assert(offsetof(ProcessSetupInfo, sampleRate) == 16);

static_assert(sizeof(AudioBufferSet) == 24);
static_assert(offsetof(AudioBufferSet, numChannels) == 0);
static_assert(offsetof(AudioBufferSet, silenceFlags) == 8);
static_assert(offsetof(AudioBufferSet, channelBuffers) == 16);

static_assert(offsetof(TransportContext, state) == 0);
static_assert(offsetof(TransportContext, sampleRate) == 8);
static_assert(offsetof(TransportContext, positionQuarters) == 40);
static_assert(offsetof(TransportContext, cycleStartQuarters) == 56);
static_assert(offsetof(TransportContext, tempo) == 72);

static_assert(sizeof(ProcessBlock) == 80);
static_assert(offsetof(ProcessBlock, processMode) == 0);
static_assert(offsetof(ProcessBlock, sampleSizeCode) == 4);
static_assert(offsetof(ProcessBlock, numSamples) == 8);
static_assert(offsetof(ProcessBlock, numInputs) == 12);
static_assert(offsetof(ProcessBlock, numOutputs) == 16);
static_assert(offsetof(ProcessBlock, inputs) == 24);
static_assert(offsetof(ProcessBlock, outputs) == 32);
static_assert(offsetof(ProcessBlock, inputChanges) == 40);
static_assert(offsetof(ProcessBlock, outputChanges) == 48);
static_assert(offsetof(ProcessBlock, inputEvents) == 56);
static_assert(offsetof(ProcessBlock, outputEvents) == 64);
static_assert(offsetof(ProcessBlock, transport) == 72);

} // namespace Zel
