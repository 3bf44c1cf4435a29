#pragma once
// A component that processes audio: arrangements, set-up and the block call.

#include "interfaces/IAudioProcessor.h"
#include "processor/Component.h"

namespace Zel {

class AudioEffect : public Component, public IAudioProcessor {
public:
    ZEL_FOBJECT_CLASS(AudioEffect, Component)

    AudioEffect();

    tresult QueryInterface(const TUID& iid, void** obj) override;
    ZEL_DELEGATE_REFCOUNT(Component)

    // IAudioProcessor
    tresult offerArrangements(SpeakerArrangement* inputs, int32_t numIns, SpeakerArrangement* outputs,
                              int32_t numOuts) override;
    tresult busArrangement(int32_t direction, int32_t index, SpeakerArrangement& arrangement) override;
    tresult supportsSampleSize(int32_t sampleSizeCode) override;
    uint32_t latencySamples() override;
    tresult prepareProcessing(ProcessSetupInfo& setup) override;
    tresult setProcessingState(uint8_t state) override;
    tresult process(ProcessBlock& block) override;
    uint32_t tailSamples() override;

    const ProcessSetupInfo& processSetup() const { return setup_; }

protected:
    AudioBus* getAudioBus(int32_t direction, int32_t index);

    ProcessSetupInfo setup_;
};

} // namespace Zel
