#include "processor/ComponentBase.h"

#include <cstring>

#include "interfaces/IAttributeSet.h"
#include "interfaces/IHostApp.h"
#include "interfaces/IMessageObject.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/TextUtf16.h"

namespace Zel {

tresult ComponentBase::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IPluginBase>(asked, this, obj) || answerInterface<IConnectionPoint>(asked, this, obj))
        return kResultOk;
    return FObject::QueryInterface(asked, obj);
}

tresult ComponentBase::initialize(FUnknown* context) {
    if (hostContext_) return kResultFalse;
    hostContext_ = context;
    return kResultOk;
}

tresult ComponentBase::terminate() {
    hostContext_.reset();
    if (peerConnection_) {
        IPtr<IConnectionPoint> peer = std::move(peerConnection_);
        peer->disconnect(this);
    }
    return kResultOk;
}

tresult ComponentBase::connect(IConnectionPoint* other) {
    if (!other) return kInvalidArgument;
    if (peerConnection_) return kResultFalse;
    peerConnection_ = other;
    return kResultOk;
}

tresult ComponentBase::disconnect(IConnectionPoint* other) {
    if (!other || other != peerConnection_.get()) return kResultFalse;
    peerConnection_.reset();
    return kResultOk;
}

tresult ComponentBase::notify(IMessageObject* message) {
    if (!message) return kInvalidArgument;
    const char* id = message->messageId();
    if (!id || std::strcmp(id, kTextMessageId) != 0) return kResultFalse;
    IAttributeSet* attributes = message->attributeSet();
    char16_t wide[128];
    if (!attributes || attributes->getString(kTextAttribute, wide, sizeof wide) != kResultOk) return kResultFalse;
    char text[256];
    utf16ToUtf8(wide, 128, text, sizeof text);
    return receiveText(text);
}

tresult ComponentBase::receiveText(const char*) { return kResultOk; }

IMessageObject* ComponentBase::allocateMessage() {
    IPtr<IHostApp> host = queryInterface<IHostApp>(hostContext_.get());
    if (!host) return nullptr;
    void* message = nullptr;
    if (host->createInstance(IMessageObject_iid, IMessageObject_iid, &message) != kResultOk) return nullptr;
    return static_cast<IMessageObject*>(message);
}

tresult ComponentBase::sendMessage(IMessageObject* message) {
    if (!message || !peerConnection_) return kResultFalse;
    return peerConnection_->notify(message);
}

} // namespace Zel
