#include "processor/PluginZelVu.h"

#include <cstring>

#include "interfaces/IAttributeSet.h"
#include "interfaces/IMessageObject.h"
#include "interfaces/IPtr.h"
#include "interfaces/TextUtf16.h"

namespace Zel {

namespace {
int64_t channelsOfBus(AudioBus* bus) { return bus ? channelCountOf(bus->arrangement()) : 0; }
} // namespace

tresult PluginZelVu::setActive(uint8_t state) {
    const tresult result = PluginZel::setActive(state);
    if (!state) applyPendingPeakClears(); // no block will come to carry them out
    if (IPtr<IMessageObject> message = IPtr<IMessageObject>::adopt(allocateMessage())) {
        if (IAttributeSet* attributes = message->attributeSet()) {
            message->assignMessageId(MeterMessages::kChannels);
            attributes->setInt(MeterMessages::kChannelsIn, channelsOfBus(getAudioBus(kInput, 0)));
            attributes->setInt(MeterMessages::kChannelsOut, channelsOfBus(getAudioBus(kOutput, 0)));
            sendMessage(message.get());
        }
    }
    sendIntMessage(MeterMessages::kMetersProcessing, state ? 1 : 0);
    return result;
}

void PluginZelVu::sendIntMessage(const char* id, int64_t value) {
    IPtr<IMessageObject> message = IPtr<IMessageObject>::adopt(allocateMessage());
    if (!message) return;
    IAttributeSet* attributes = message->attributeSet();
    if (!attributes) return;
    message->assignMessageId(id);
    attributes->setInt(id, value);
    sendMessage(message.get());
}

void PluginZelVu::sendTextMessage(const char* id, const char* text) {
    IPtr<IMessageObject> message = IPtr<IMessageObject>::adopt(allocateMessage());
    if (!message) return;
    IAttributeSet* attributes = message->attributeSet();
    if (!attributes) return;
    char16_t wide[64];
    utf8ToUtf16(text, wide, 64);
    message->assignMessageId(id);
    attributes->setString(id, wide);
    sendMessage(message.get());
}

tresult PluginZelVu::notify(IMessageObject* message) {
    if (!message) return kInvalidArgument;
    const char* id = message->messageId();
    if (!id) return kResultOk;
    IAttributeSet* attributes = message->attributeSet();
    int64_t unused = 0;
    if (std::strcmp(id, MeterMessages::kDataRequest) == 0) {
        dataRequested_.store(true, std::memory_order_release);
    } else if (std::strcmp(id, MeterMessages::kResetMaxLevelIn) == 0) {
        if (attributes && attributes->getInt(MeterMessages::kResetMaxLevelIn, unused) == kResultOk) requestPeakClear(kClearInputPeak);
    } else if (std::strcmp(id, MeterMessages::kResetMaxLevelOut) == 0) {
        if (attributes && attributes->getInt(MeterMessages::kResetMaxLevelOut, unused) == kResultOk)
            requestPeakClear(kClearOutputPeak);
    }
    return kResultOk;
}

void PluginZelVu::requestPeakClear(uint32_t which) {
    if (isProcessingActive()) {
        pendingPeakClears_.fetch_or(which, std::memory_order_acq_rel);
        return;
    }
    clearPeaks(which);
}

void PluginZelVu::clearPeaks(uint32_t which) {
    DSP::AlgoAccessorVu* vu = vuAccessor();
    if (!vu) return;
    if (which & kClearInputPeak) vu->clearInputPeak();
    if (which & kClearOutputPeak) vu->clearOutputPeak();
}

void PluginZelVu::applyPendingPeakClears() {
    if (pendingPeakClears_.load(std::memory_order_relaxed) == 0) return;
    clearPeaks(pendingPeakClears_.exchange(0, std::memory_order_acq_rel));
}

void PluginZelVu::afterParameterChanges(ProcessBlock& block) {
    applyPendingPeakClears();
    if (block.outputChanges && isDataRequested() && bypass_ == 0)
        writeOutputParameters(block.outputChanges, block.numSamples);
}

} // namespace Zel
