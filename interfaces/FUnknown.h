#pragma once
// The root interface of every object that crosses the module boundary.
// Slot order follows the component-object standard: QueryInterface, AddRef, Release.

#include "InterfaceIds.h"
#include "ResultCodes.h"

namespace Zel {

class FUnknown {
public:
    static constexpr const TUID& iid = FUnknown_iid;

    // [any thread] On success *obj holds the requested interface with one added
    // reference, owned by the caller; otherwise *obj = nullptr and kNoInterface.
    virtual tresult QueryInterface(const TUID& iid, void** obj) = 0;
    // [any thread] Atomic; returns the new count.
    virtual uint32_t AddRef() = 0;
    // [any thread] Atomic; the object destroys itself when the last reference goes.
    virtual uint32_t Release() = 0;

protected:
    ~FUnknown() = default; // lifetime is governed by Release, never by delete
};

} // namespace Zel
