#pragma once
// The view framework's idle ticks.

#include "FUnknown.h"

namespace Zel {

class IIdleHandler;

class IIdleService : public FUnknown {
public:
    static constexpr const TUID& iid = IIdleService_iid;

    // [ui thread]
    virtual int32_t intervalMilliseconds() = 0;
    // handler: referenced while registered.
    virtual tresult addIdleHandler(IIdleHandler* handler) = 0;
    virtual tresult removeIdleHandler(IIdleHandler* handler) = 0;

protected:
    ~IIdleService() = default;
};

} // namespace Zel
