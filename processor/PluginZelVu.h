#pragma once
// The processor's side of the conversation with its controller: channel
// counts and activity on setActive, level-peak resets on request, and the
// data handshake: after "PluginDataGet" the next block writes the readings
// into the host's output parameter changes.

#include <atomic>

#include "dsp/AlgoAccessorVu.h"
#include "processor/MeterMessages.h"
#include "processor/PluginZel.h"

namespace Zel {

class IMessageObject;

class PluginZelVu : public PluginZel {
public:
    using PluginZel::PluginZel;

    // [ui thread] Then tells the controller the channel counts and the state.
    tresult setActive(uint8_t state) override;
    // [ui thread] Requests and resets from the controller; everything else is ignored (0).
    tresult notify(IMessageObject* message) override;

    // [audio thread] Writes every reading as one point at offset 0, then clears the request.
    virtual void writeOutputParameters(IParamChanges* changes, int32_t numSamples) = 0;

    bool isDataRequested() const { return dataRequested_.load(std::memory_order_acquire); }

protected:
    // [audio thread] Pending level resets, then the readings when they were asked for.
    void afterParameterChanges(ProcessBlock& block) override;
    DSP::AlgoAccessorVu* vuAccessor() const { return dynamic_cast<DSP::AlgoAccessorVu*>(accessor_.get()); }

    // [any thread; the audio thread sends "time"] Messages of one integer or one
    // text under the message's own id; dropped silently when there is no host,
    // no message or no peer. The message objects are the host's: the one
    // allocation the audio path makes.
    void sendIntMessage(const char* id, int64_t value);
    void sendTextMessage(const char* id, const char* text);
    void clearDataRequest() { dataRequested_.store(false, std::memory_order_release); }

private:
    enum : uint32_t { kClearInputPeak = 1, kClearOutputPeak = 2 };
    // The level peaks are the audio thread's while processing runs: a reset
    // request is then handed to it and carried out before its next block's
    // readings; otherwise it is carried out at once.
    void requestPeakClear(uint32_t which);
    void clearPeaks(uint32_t which);
    // [audio thread]
    void applyPendingPeakClears();

    std::atomic<bool> dataRequested_{false};
    std::atomic<uint32_t> pendingPeakClears_{0};
};

} // namespace Zel
