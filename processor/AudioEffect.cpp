#include "processor/AudioEffect.h"

#include "interfaces/InterfaceQuery.h"

namespace Zel {

AudioEffect::AudioEffect() : setup_{kRealtime, kSample32, 1024, 44100.0} {}

tresult AudioEffect::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IAudioProcessor>(asked, this, obj)) return kResultOk;
    return Component::QueryInterface(asked, obj);
}

AudioBus* AudioEffect::getAudioBus(int32_t direction, int32_t index) {
    return FCast<AudioBus>(getBus(kAudio, direction, index));
}

tresult AudioEffect::offerArrangements(SpeakerArrangement* inputs, int32_t numIns, SpeakerArrangement* outputs,
                                       int32_t numOuts) {
    for (int32_t i = 0; inputs && i < numIns; ++i)
        if (AudioBus* bus = getAudioBus(kInput, i)) bus->setArrangement(inputs[i]);
    for (int32_t i = 0; outputs && i < numOuts; ++i)
        if (AudioBus* bus = getAudioBus(kOutput, i)) bus->setArrangement(outputs[i]);
    return kResultOk;
}

tresult AudioEffect::busArrangement(int32_t direction, int32_t index, SpeakerArrangement& arrangement) {
    AudioBus* bus = getAudioBus(direction, index);
    if (!bus) return kResultFalse;
    arrangement = bus->arrangement();
    return kResultOk;
}

// Blocks are measured in single precision only.
tresult AudioEffect::supportsSampleSize(int32_t sampleSizeCode) {
    return sampleSizeCode == kSample32 ? kResultTrue : kResultFalse;
}

uint32_t AudioEffect::latencySamples() { return 0; }

tresult AudioEffect::prepareProcessing(ProcessSetupInfo& setup) {
    if (supportsSampleSize(setup.sampleSizeCode) != kResultTrue) return kResultFalse;
    setup_ = setup;
    return kResultOk;
}

tresult AudioEffect::setProcessingState(uint8_t) { return kNotImplemented; }
tresult AudioEffect::process(ProcessBlock&) { return kNotImplemented; }
uint32_t AudioEffect::tailSamples() { return 0; }

} // namespace Zel
