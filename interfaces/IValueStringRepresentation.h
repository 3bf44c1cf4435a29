#pragma once
// Implemented by the controller: the texts of control values, and back.

#include "FUnknown.h"

namespace Zel {

class IControl;
class IStringValue;

class IValueStringRepresentation : public FUnknown {
public:
    static constexpr const TUID& iid = IValueStringRepresentation_iid;

    // [ui thread] Writes the text of control's current value into text.
    virtual tresult valueToText(IControl* control, IStringValue* text) = 0;
    // [ui thread] Sets control (with notification) to the value the text names.
    virtual tresult textToValue(IControl* control, const char16_t* text) = 0;

protected:
    ~IValueStringRepresentation() = default;
};

} // namespace Zel
