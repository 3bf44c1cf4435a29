#pragma once
// The change-notification service: who watches whom, and delivery of changes
// now or later. The host may supply its own; the module has one as fallback.

#include "FUnknown.h"

namespace Zel {

class IDependent;

class IUpdateHandler : public FUnknown {
public:
    static constexpr const TUID& iid = IUpdateHandler_iid;

    // [any thread] Registers dependent for object; the handler keeps no reference.
    // kResultFalse when either is null.
    virtual tresult addDependent(FUnknown* object, IDependent* dependent) = 0;
    // [any thread] A null object or dependent acts as a wildcard (not both).
    virtual tresult removeDependent(FUnknown* object, IDependent* dependent) = 0;
    // [any thread] Calls every dependent's update before returning;
    // kResultFalse when the object has none.
    virtual tresult notifyNow(FUnknown* object, int32_t message) = 0;
    // [any thread] Queues the change; equal (object, message) pairs queue once.
    virtual tresult notifyLater(FUnknown* object, int32_t message) = 0;

protected:
    ~IUpdateHandler() = default;
};

} // namespace Zel
