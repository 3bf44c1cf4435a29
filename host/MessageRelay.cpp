#include "host/MessageRelay.h"

#include "interfaces/IMessageObject.h"
#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

MessageRelay::~MessageRelay() {
    for (IMessageObject* message = nullptr; queue_.pop(message);) message->Release();
}

tresult MessageRelay::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IConnectionPoint>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult MessageRelay::connect(IConnectionPoint* other) {
    if (!other) return kInvalidArgument;
    if (source_) return kResultFalse;
    source_ = other;
    return kResultOk;
}

tresult MessageRelay::disconnect(IConnectionPoint* other) {
    if (!other || other != source_) return kResultFalse;
    source_ = nullptr;
    return kResultOk;
}

tresult MessageRelay::notify(IMessageObject* message) {
    if (!message) return kInvalidArgument;
    // A reference count is an atomic add: the sender's release then leaves the
    // message alive for the UI thread.
    message->AddRef();
    if (queue_.push(message)) return kResultOk;
    message->Release();
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return kResultFalse;
}

int MessageRelay::deliver(IConnectionPoint* to) {
    int delivered = 0;
    for (IMessageObject* message = nullptr; queue_.pop(message); ++delivered) {
        if (to) to->notify(message);
        message->Release();
    }
    return delivered;
}

} // namespace NivoloHost
