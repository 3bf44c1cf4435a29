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
    if (IPtr<IMessageObject> message = IPtr<IMessageObject>::adopt(allocateMessage())) {
        if (IAttributeSet* attributes = message->attributeSet()) {
            message->assignMessageId(kChannels);
            attributes->setInt(kChannelsIn, channelsOfBus(getAudioBus(kInput, 0)));
            attributes->setInt(kChannelsOut, channelsOfBus(getAudioBus(kOutput, 0)));
            sendMessage(message.get());
        }
    }
    sendIntMessage(kMetersProcessing, state ? 1 : 0);
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
    if (std::strcmp(id, kDataRequest) == 0) {
        dataRequested_.store(true, std::memory_order_release);
    } else if (std::strcmp(id, kResetMaxLevelIn) == 0) {
        if (attributes && attributes->getInt(kResetMaxLevelIn, unused) == kResultOk)
            if (DSP::AlgoAccessorVu* vu = vuAccessor()) vu->clearInputPeak();
    } else if (std::strcmp(id, kResetMaxLevelOut) == 0) {
        if (attributes && attributes->getInt(kResetMaxLevelOut, unused) == kResultOk)
            if (DSP::AlgoAccessorVu* vu = vuAccessor()) vu->clearOutputPeak();
    }
    return kResultOk;
}

void PluginZelVu::afterParameterChanges(ProcessBlock& block) {
    if (block.outputChanges && isDataRequested() && bypass_ == 0)
        writeOutputParameters(block.outputChanges, block.numSamples);
}

} // namespace Zel
