#pragma once
// The processing side of a component: arrangements, set-up and the block call.

#include "FUnknown.h"
#include "ProcessRecords.h"
#include "SpeakerArrangement.h"

namespace Zel {

class IAudioProcessor : public FUnknown {
public:
    static constexpr const TUID& iid = IAudioProcessor_iid;

    // [ui thread, inactive] The host proposes one arrangement per bus.
    virtual tresult offerArrangements(SpeakerArrangement* inputs, int32_t numIns, SpeakerArrangement* outputs,
                                      int32_t numOuts) = 0;
    // [ui thread] kResultFalse for a missing audio bus.
    virtual tresult busArrangement(int32_t direction, int32_t index, SpeakerArrangement& arrangement) = 0;
    // [ui thread] kResultTrue when blocks of this sample size can be processed.
    virtual tresult supportsSampleSize(int32_t sampleSizeCode) = 0;
    // [ui thread]
    virtual uint32_t latencySamples() = 0;
    // [ui thread, inactive] The block size and rate every later block keeps to.
    virtual tresult prepareProcessing(ProcessSetupInfo& setup) = 0;
    // [audio thread or ui thread, active]
    virtual tresult setProcessingState(uint8_t state) = 0;
    // [audio thread, active] The block and everything it points to stay the host's.
    virtual tresult process(ProcessBlock& block) = 0;
    // [ui thread]
    virtual uint32_t tailSamples() = 0;

protected:
    ~IAudioProcessor() = default;
};

} // namespace Zel
