#pragma once
// Lets a control ask the controller for the texts of its values.

#include "FUnknown.h"

namespace Zel {

class IValueStringRepresentation;

class IControlValueTextHook : public FUnknown {
public:
    static constexpr const TUID& iid = IControlValueTextHook_iid;

    // [ui thread] representation: kept without a reference; null removes it.
    virtual tresult setValueStringRepresentation(IValueStringRepresentation* representation) = 0;

protected:
    ~IControlValueTextHook() = default;
};

} // namespace Zel
