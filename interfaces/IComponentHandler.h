#pragma once
// Implemented by the host: the controller reports user edits through it.

#include "FUnknown.h"

namespace Zel {

class IComponentHandler : public FUnknown {
public:
    static constexpr const TUID& iid = IComponentHandler_iid;

    // [ui thread] An edit is a beginEdit, performEdit(s), endEdit sequence; the
    // host delivers each performEdit to the processor as an input parameter change.
    virtual tresult beginEdit(int32_t id) = 0;
    virtual tresult performEdit(int32_t id, double normalizedValue) = 0;
    virtual tresult endEdit(int32_t id) = 0;
    virtual tresult restartComponent(int32_t flags) = 0;

protected:
    ~IComponentHandler() = default;
};

// The handler's second interface: dirty state, edit groups, editor requests.
class IComponentHandler2 : public FUnknown {
public:
    static constexpr const TUID& iid = IComponentHandler2_iid;

    // [ui thread]
    virtual tresult setDirty(uint8_t state) = 0;
    virtual tresult requestOpenEditor(const char* name) = 0;
    virtual tresult startGroupEdit() = 0;
    virtual tresult finishGroupEdit() = 0;

protected:
    ~IComponentHandler2() = default;
};

} // namespace Zel
