#pragma once
// A processor that drives one algorithm through its accessor: parameter
// changes, bypass with a cross-fade and a latency-aligned dry path, the silence
// short cut, arrangement negotiation with a fallback, set-up that rebuilds the
// accessor (carrying the values over), and the saved state.

#include <atomic>
#include <memory>
#include <vector>

#include "controller/ParameterInfoAccessor.h"
#include "dsp/AlgoAccessor.h"
#include "dsp/CrossFader.h"
#include "dsp/DelayMultiCh.h"
#include "processor/AudioEffect.h"

namespace Zel {

class PluginZel : public AudioEffect {
public:
    // Keeps the class name "AudioEffect" for type tests.
    static constexpr uint32_t kNoBypassParameter = 50000;
    static constexpr float kMaxDryDelayMs = 200.0f;
    static constexpr float kFadeMs = 100.0f;
    static constexpr uint32_t kInfiniteTail = 0xFFFFFFFFu;

    PluginZel(const Param::ParameterRecord* table, int32_t parameterCount);
    ~PluginZel() override;

    // [ui thread] Chooses the vector primitives for this processor first.
    tresult initialize(FUnknown* context) override;
    // [ui thread, inactive]
    tresult terminate() override;
    // [ui thread]
    tresult setActive(uint8_t state) override;
    // [ui thread, inactive]
    tresult setBusActive(int32_t mediaType, int32_t direction, int32_t index, uint8_t state) override;
    // [ui thread, inactive]
    tresult offerArrangements(SpeakerArrangement* inputs, int32_t numIns, SpeakerArrangement* outputs,
                              int32_t numOuts) override;
    // [ui thread, inactive] Rebuilds the accessor for a new block size or rate.
    tresult prepareProcessing(ProcessSetupInfo& setup) override;
    // [audio thread, active] Answers success whatever the routine did (its
    // result is for tests and subclasses); a block longer than the announced
    // maximum is refused unprocessed. No allocation, no lock wait, no I/O.
    tresult process(ProcessBlock& block) override;
    uint32_t latencySamples() override;
    uint32_t tailSamples() override { return kInfiniteTail; }
    // [ui thread] Any time, processing or not: the values of one moment.
    tresult getState(IByteStream* state) override;
    // [ui thread] While processing runs, the audio thread applies it before its next block.
    tresult setState(IByteStream* state) override;

    // Must destroy an existing accessor, create one for the current block size
    // and rate, then applyBusArrangements and resetParametersToDefaults.
    virtual void createAccessor() = 0;
    virtual void destroyAccessor() { accessor_.reset(); }
    virtual void resetParametersToDefaults();
    virtual tresult applyBusArrangements();
    virtual tresult applyArrangements(SpeakerArrangement input, SpeakerArrangement output,
                                      SpeakerArrangement sideChain);
    // [audio thread] A change of state starts a cross-fade.
    virtual void setBypass(double normalized);
    // [audio thread] The last point of every queue, then afterParameterChanges.
    virtual void processParameterChanges(ProcessBlock& block);
    // [audio thread]
    virtual void finishProcess(ProcessBlock&) {}
    virtual void setSideChainSupported(bool state) { sideChainSupported_ = state; }
    // Without a fade (restored state).
    virtual void setBypassState(bool state) { bypass_ = state ? 1u : 0u; }
    // [audio thread]
    virtual void outputParameterHook(IParamChanges*) {}
    // [audio thread, active] The routines process calls, chosen by the active buses.
    virtual tresult processWithoutInput(ProcessBlock& block);
    virtual tresult processMain(ProcessBlock& block);
    // Never reached by the meter (it has no side-chain bus); the slot keeps its place in the table.
    virtual tresult processWithSideChain(ProcessBlock& block);
    virtual tresult processBypassed(ProcessBlock& block);
    virtual void getFallbackArrangements(SpeakerArrangement requested, SpeakerArrangement& input,
                                         SpeakerArrangement& output, SpeakerArrangement& sideChain);

    DSP::AlgoAccessor* accessor() const { return accessor_.get(); }
    bool isBypassed() const { return bypass_ != 0; }
    // Between setActive(true) and setActive(false): the audio thread may be processing.
    bool isProcessingActive() const { return active_.load(std::memory_order_acquire); }
    uint32_t bypassParameterId() const { return bypassParamId_; }

protected:
    // [audio thread] One parameter change: bypass, then the plain value to the accessor.
    virtual void applyParameterChange(uint32_t id, double normalized);
    // After restored values reached the accessor: bypass follows them.
    virtual void stateRestored();
    // [audio thread] After the block's changes: the output hook (or the readings, in subclasses).
    virtual void afterParameterChanges(ProcessBlock& block);
    void selectProcessFunction();

    tresult (PluginZel::*processFunction_)(ProcessBlock&) = &PluginZel::processMain;
    std::unique_ptr<DSP::AlgoAccessor> accessor_;
    Param::ParameterInfoAccessor parameterInfo_;
    uint32_t bypassParamId_ = kNoBypassParameter;
    uint32_t bypass_ = 0;
    int32_t parameterCount_;
    bool sideChainSupported_ = false;
    bool mainInputActive_ = false;
    bool mainOutputActive_ = false;
    bool sideChainActive_ = false;
    std::unique_ptr<DSP::DelayMultiCh> dryDelay_;
    std::unique_ptr<DSP::CrossFader<float>> crossFader_;

private:
    // A state restored while processing runs is handed to the audio thread,
    // which applies it before its next block: the meter is never reset under
    // a running analysis. States: idle, pending (written), applying (audio thread).
    enum : int32_t { kStateIdle = 0, kStatePending = 1, kStateApplying = 2 };
    void applyRestoredValues();
    // [audio thread] A state restored while processing ran.
    void applyPendingState();
    // [audio thread] Brackets every change of the accessor's values while
    // processing runs: the count is odd while they change.
    void beginValueChanges();
    void endValueChanges();
    // [ui thread] The values as of one moment between two blocks' changes, a
    // restored state still waiting for the audio thread included. Retries
    // while the audio thread changes them; the audio thread never waits.
    void copyValuesForSaving(std::vector<DSP::ValueRecord>& values);

    std::atomic<bool> active_{false};
    std::atomic<uint32_t> valueChanges_{0};
    std::atomic<int32_t> stateHandOff_{kStateIdle};
    std::vector<DSP::ValueRecord> restored_; // sized for the table at construction
    int32_t restoredCount_ = 0;
};

} // namespace Zel
