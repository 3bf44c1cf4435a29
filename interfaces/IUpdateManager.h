#pragma once
// Control over the queue of deferred changes.

#include "FUnknown.h"

namespace Zel {

class IUpdateManager : public FUnknown {
public:
    static constexpr const TUID& iid = IUpdateManager_iid;

    // [any thread] Drops the queued changes of object.
    virtual tresult cancelDeferred(FUnknown* object) = 0;
    // [ui thread] Delivers the queued changes of object (all objects when null),
    // including those queued while flushing.
    virtual tresult flushDeferred(FUnknown* object) = 0;

protected:
    ~IUpdateManager() = default;
};

} // namespace Zel
