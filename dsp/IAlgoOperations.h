#pragma once
// The operations an algorithm and its accessor share, in the same first
// fourteen slots, so the processor drives either the same way. Samples are
// 32-bit floats in per-channel buffers; values and rates are of type T.
// Results: 0 success, 1 refused or not handled, 0x80004001 not implemented.

#include <cstdint>

namespace DSP {

template <typename T>
class IAlgoOperations {
public:
    // [audio thread or ui thread] A parameter value or a command, by value id.
    virtual void setValue(int32_t id, T value) = 0;
    virtual void setActive(bool state) = 0;
    // [ui thread] The most samples any one processing call carries; buffers are sized by it.
    virtual void setMaxSamplesPerCall(uint32_t samples) = 0;
    virtual int32_t setSampleRate(T rate) = 0;
    virtual int32_t setChannels(int32_t inputs, int32_t outputs, int32_t aux) = 0;
    virtual int32_t setChannelsAndArrangement(int32_t inputs, int32_t outputs, int32_t aux,
                                              uint64_t arrangement) = 0;
    virtual int32_t setArrangements(uint64_t input, uint64_t output, uint64_t aux) = 0;
    virtual bool isActive() = 0;
    // [audio thread] No allocation, no waiting.
    virtual void processWithAux(float** in, float** out, float** aux, int32_t count) = 0;
    virtual void process(float** in, float** out, int32_t count) = 0;
    virtual void processSilence(int32_t count) = 0;
    virtual int32_t getLatency() = 0;
    // [audio thread or ui thread] A reading or a stored value, by value id.
    virtual T getValue(int32_t id) = 0;
    virtual int32_t reservedQuery() = 0;

protected:
    ~IAlgoOperations() = default; // owners delete through IAlgo or IAlgoAccessor
};

} // namespace DSP
