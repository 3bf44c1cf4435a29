#pragma once
// The root of the host's view framework, answered by the host context.

#include "FUnknown.h"

namespace Zel {

class IHostFramework : public FUnknown {
public:
    static constexpr const TUID& iid = IHostFramework_iid;

    // [ui thread] A service (the same object on every call) or a new instance
    // of a class, for the id; *obj carries one reference for the caller.
    // context: the asking host context, may be null. kNoInterface when unknown.
    virtual tresult createInstance(const TUID& id, void** obj, FUnknown* context) = 0;

protected:
    ~IHostFramework() = default;
};

} // namespace Zel
