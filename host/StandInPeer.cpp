#include "host/StandInPeer.h"

#include <cstring>

#include "host/HostContext.h"
#include "interfaces/IAttributeSet.h"
#include "interfaces/IMessageObject.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/TextUtf16.h"

namespace NivoloHost {

using namespace Zel;

StandInPeer::StandInPeer(HostContext* host) : host_(host) {}

tresult StandInPeer::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IConnectionPoint>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult StandInPeer::connect(IConnectionPoint* other) {
    if (!other) return kInvalidArgument;
    if (peer_) return kResultFalse;
    peer_ = other;
    return kResultOk;
}

tresult StandInPeer::disconnect(IConnectionPoint* other) {
    if (!other || other != peer_.get()) return kResultFalse;
    peer_.reset();
    return kResultOk;
}

tresult StandInPeer::notify(IMessageObject* message) {
    if (!message) return kInvalidArgument;
    const char* id = message->messageId();
    IAttributeSet* attributes = message->attributeSet();
    if (!id || !attributes) return kResultFalse;
    std::lock_guard<std::mutex> guard(mutex_);
    ++messages_;
    if (std::strcmp(id, "time") == 0) {
        char16_t wide[32];
        if (attributes->getString("time", wide, sizeof wide) == kResultOk) {
            char text[96];
            utf16ToUtf8(wide, 32, text, sizeof text);
            timeTexts_.emplace_back(text);
        }
    } else if (std::strcmp(id, "nChannels") == 0) {
        attributes->getInt("nChannelsIn", channelsIn_);
        attributes->getInt("nChannelsOut", channelsOut_);
    } else if (std::strcmp(id, "vuMetersProcessing") == 0) {
        attributes->getInt("vuMetersProcessing", metersProcessing_);
    }
    return kResultOk;
}

bool StandInPeer::sendIntMessage(const char* id, int64_t value) {
    if (!peer_ || !host_) return false;
    void* raw = nullptr;
    if (host_->createInstance(IMessageObject_iid, IMessageObject_iid, &raw) != kResultOk) return false;
    IPtr<IMessageObject> message = IPtr<IMessageObject>::adopt(static_cast<IMessageObject*>(raw));
    message->assignMessageId(id);
    message->attributeSet()->setInt(id, value);
    return peer_->notify(message.get()) == kResultOk;
}

bool StandInPeer::requestData() { return sendIntMessage("PluginDataGet", 0); }

std::string StandInPeer::lastTime() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return timeTexts_.empty() ? std::string() : timeTexts_.back();
}

std::vector<std::string> StandInPeer::timeTexts() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return timeTexts_;
}

int64_t StandInPeer::channelsIn() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return channelsIn_;
}

int64_t StandInPeer::channelsOut() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return channelsOut_;
}

int64_t StandInPeer::metersProcessing() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return metersProcessing_;
}

int StandInPeer::messagesReceived() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return messages_;
}

} // namespace NivoloHost
