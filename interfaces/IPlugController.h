#pragma once
// Implemented by the controller for the host's view framework: controls by
// name, user changes, gestures.

#include "FUnknown.h"

namespace Zel {

class IControl;

class IPlugController : public FUnknown {
public:
    static constexpr const TUID& iid = IPlugController_iid;

    // [ui thread] kResultOk and *control with one reference for the caller, or
    // kResultFalse (no such name; names are case-sensitive).
    virtual tresult findControl(const char* name, IControl** control) = 0;
    // [ui thread] The user changed control (tag is its tag).
    virtual tresult controlChanged(IControl* control, int32_t tag) = 0;

protected:
    ~IPlugController() = default;
};

class IPlugController2 : public FUnknown {
public:
    static constexpr const TUID& iid = IPlugController2_iid;
    // [ui thread] Not implemented by this plug-in.
    virtual tresult controlPopup(IControl* control, FUnknown* menu) = 0;

protected:
    ~IPlugController2() = default;
};

class IPlugController3 : public FUnknown {
public:
    static constexpr const TUID& iid = IPlugController3_iid;
    // [ui thread] Not implemented by this plug-in.
    virtual tresult controlContext(IControl* control, FUnknown* context) = 0;

protected:
    ~IPlugController3() = default;
};

class IPlugController4 : public FUnknown {
public:
    static constexpr const TUID& iid = IPlugController4_iid;
    // [ui thread] The user starts and ends dragging control.
    virtual tresult beginGesture(IControl* control) = 0;
    virtual tresult endGesture(IControl* control) = 0;

protected:
    ~IPlugController4() = default;
};

} // namespace Zel
