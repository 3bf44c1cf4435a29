#pragma once
// The private message channel between processor and controller.

#include "FUnknown.h"

namespace Zel {

class IMessageObject;

class IConnectionPoint : public FUnknown {
public:
    static constexpr const TUID& iid = IConnectionPoint_iid;

    // [ui thread] Keeps a reference to other while connected.
    virtual tresult connect(IConnectionPoint* other) = 0;
    // [ui thread] Only the connected peer is disconnected.
    virtual tresult disconnect(IConnectionPoint* other) = 0;
    // [ui thread; audio thread for messages the processor sends from there]
    // The message stays owned by the sender.
    virtual tresult notify(IMessageObject* message) = 0;

protected:
    ~IConnectionPoint() = default;
};

} // namespace Zel
