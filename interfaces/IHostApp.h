#pragma once
// The host application, reached through the host context: its name, and the
// objects it creates for plug-ins (message objects).

#include "FUnknown.h"

namespace Zel {

class IHostApp : public FUnknown {
public:
    static constexpr const TUID& iid = IHostApp_iid;

    // [any thread] Writes the host's name, zero-terminated, into 128 UTF-16 units.
    virtual tresult getName(char16_t name[128]) = 0;
    // [any thread; audio thread for messages] On success *obj holds a new object
    // with one reference, owned by the caller.
    virtual tresult createInstance(const TUID& classId, const TUID& iid, void** obj) = 0;

protected:
    ~IHostApp() = default;
};

} // namespace Zel
