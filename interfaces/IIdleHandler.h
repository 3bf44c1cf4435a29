#pragma once
// Implemented by whoever wants a regular tick on the editor thread.

#include "FUnknown.h"

namespace Zel {

class IIdleHandler : public FUnknown {
public:
    static constexpr const TUID& iid = IIdleHandler_iid;

    // [ui thread]
    virtual tresult onIdle() = 0;

protected:
    ~IIdleHandler() = default;
};

} // namespace Zel
