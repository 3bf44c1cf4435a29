#pragma once
// What processor and controller share: the host context and the connection to
// the peer, with the text messages that travel over it.

#include "base/FObject.h"
#include "interfaces/IConnectionPoint.h"
#include "interfaces/IPluginBase.h"
#include "interfaces/IPtr.h"

namespace Zel {

class ComponentBase : public FObject, public IPluginBase, public IConnectionPoint {
public:
    ZEL_FOBJECT_CLASS(ComponentBase, FObject)

    static constexpr const char* kTextMessageId = "TextMessage";
    static constexpr const char* kTextAttribute = "Text";

    tresult QueryInterface(const TUID& iid, void** obj) override;
    ZEL_DELEGATE_REFCOUNT(FObject)

    // IPluginBase
    tresult initialize(FUnknown* context) override;
    tresult terminate() override;

    // IConnectionPoint
    tresult connect(IConnectionPoint* other) override;
    tresult disconnect(IConnectionPoint* other) override;
    tresult notify(IMessageObject* message) override;

    FUnknown* hostContext() const { return hostContext_.get(); }
    IConnectionPoint* peerConnection() const { return peerConnection_.get(); }

protected:
    // The text of a "TextMessage"; the base ignores it.
    virtual tresult receiveText(const char* text);
    // A new message from the host (one reference for the caller), or null.
    IMessageObject* allocateMessage();
    // kResultFalse without a message or a peer; otherwise the peer's answer.
    tresult sendMessage(IMessageObject* message);

private:
    IPtr<FUnknown> hostContext_;
    IPtr<IConnectionPoint> peerConnection_;
};

} // namespace Zel
