#pragma once
// The default behaviour every concrete algorithm starts from.

#include "dsp/IAlgo.h"
#include "interfaces/ResultCodes.h"

namespace DSP {

template <typename T>
class Algo : public IAlgo<T> {
public:
    Algo() = default;
    Algo(const Algo&) = delete;
    Algo& operator=(const Algo&) = delete;

    void setValue(int32_t, T) override {}
    void setActive(bool state) override { active = state; }
    void setMaxSamplesPerCall(uint32_t samples) override { maxSamplesPerCall = samples; }
    int32_t setSampleRate(T rate) override {
        sampleRate = rate;
        return 0;
    }
    int32_t setChannels(int32_t inputs, int32_t outputs, int32_t aux) override = 0;
    int32_t setChannelsAndArrangement(int32_t, int32_t, int32_t, uint64_t) override { return 1; }
    int32_t setArrangements(uint64_t, uint64_t, uint64_t) override { return Zel::kNotImplemented; }
    bool isActive() override { return active; }
    void processWithAux(float**, float**, float**, int32_t) override {}
    void process(float**, float**, int32_t) override {}
    void processSilence(int32_t) override {}
    int32_t getLatency() override { return 0; }
    T getValue(int32_t) override { return T(0); }
    int32_t reservedQuery() override { return 0; }
    int32_t initialize() override { return 1; }
    int32_t terminate() override { return 1; }
    void reserved18() override {}
    void reserved19() override {}
    int32_t getLatencyAgain() override { return this->getLatency(); }
    T getSampleRate() override { return sampleRate; }
    void reset() override {}

protected:
    T sampleRate = T(0);
    uint32_t maxSamplesPerCall = 0;
    bool active = false;
};

} // namespace DSP
