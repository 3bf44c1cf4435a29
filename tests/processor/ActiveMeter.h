#pragma once
// One meter processor, set up and active at 48 kHz, driven as a host drives it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/AlgoAccessorVu.h"
#include "dsp/VazEzaru.h"
#include "host/HostContext.h"
#include "host/ParameterChanges.h"
#include "interfaces/IAttributeSet.h"
#include "interfaces/IMessageObject.h"
#include "interfaces/IPtr.h"
#include "processor/VazEzaruZel.h"

namespace ProcessorTesting {

using namespace Zel;

constexpr int32_t kBlock = 512;

class ActiveMeter {
public:
    explicit ActiveMeter(int32_t channels = 2, int32_t mode = kRealtime) : channels_(channels), mode_(mode) {
        meter = IPtr<VazEzaruZel>::adopt(new VazEzaruZel);
        host = IPtr<NivoloHost::HostContext>::adopt(new NivoloHost::HostContext);
        meter->initialize(static_cast<IHostApp*>(host.get()));
        SpeakerArrangement arrangement = (SpeakerArrangement{1} << channels) - 1;
        meter->offerArrangements(&arrangement, 1, &arrangement, 1);
        ProcessSetupInfo setup{mode, kSample32, kBlock, 48000.0};
        meter->prepareProcessing(setup);
        meter->setBusActive(kAudio, kInput, 0, 1);
        meter->setBusActive(kAudio, kOutput, 0, 1);
        meter->setActive(1);
        inputs = IPtr<NivoloHost::ParameterChanges>::adopt(new NivoloHost::ParameterChanges);
        outputs = IPtr<NivoloHost::ParameterChanges>::adopt(new NivoloHost::ParameterChanges);
        buffers.assign(static_cast<size_t>(channels), std::vector<float>(kBlock));
        for (auto& b : buffers) pointers.push_back(b.data());
    }
    ~ActiveMeter() {
        meter->setActive(0);
        meter->terminate();
    }

    // One block of a constant level on every channel.
    void process(float level, int32_t n = kBlock) {
        for (auto& b : buffers) std::fill(b.begin(), b.end(), level);
        process(pointers.data(), pointers.data(), n);
    }
    // One block from the caller's buffers.
    void process(float** in, float** out, int32_t n = kBlock) {
        AudioBufferSet inputBus{channels_, 0, in};
        AudioBufferSet outputBus{channels_, 0, out};
        ProcessBlock block{};
        block.processMode = mode_;
        block.numSamples = n;
        block.numInputs = block.numOutputs = 1;
        block.inputs = &inputBus;
        block.outputs = &outputBus;
        block.inputChanges = inputs.get();
        block.outputChanges = outputs.get();
        outputs->clear();
        meter->process(block);
        inputs->clear();
    }
    void requestData() { send("PluginDataGet"); }
    void send(const char* id) {
        void* raw = nullptr;
        ASSERT_EQ(host->createInstance(IMessageObject_iid, IMessageObject_iid, &raw), kResultOk);
        auto message = IPtr<IMessageObject>::adopt(static_cast<IMessageObject*>(raw));
        message->assignMessageId(id);
        message->attributeSet()->setInt(id, 0);
        meter->notify(message.get());
    }
    double reading(ParamID id) {
        double value = std::nan("");
        outputs->lastValue(id, value);
        return value;
    }
    DSP::AlgoAccessorVu* levels() { return dynamic_cast<DSP::AlgoAccessorVu*>(meter->accessor()); }
    DSP::VazEzaru* algorithm() { return dynamic_cast<DSP::VazEzaru*>(meter->accessor()->algorithm()); }

    IPtr<VazEzaruZel> meter;
    IPtr<NivoloHost::HostContext> host;
    IPtr<NivoloHost::ParameterChanges> inputs, outputs;
    std::vector<std::vector<float>> buffers;
    std::vector<float*> pointers;

private:
    int32_t channels_;
    int32_t mode_;
};

} // namespace ProcessorTesting
