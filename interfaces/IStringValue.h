#pragma once
// A text holder the host hands out to receive a value's text.

#include "FUnknown.h"

namespace Zel {

class IStringValue : public FUnknown {
public:
    static constexpr const TUID& iid = IStringValue_iid;

    // [ui thread] Copies at most size units, zero-terminated.
    virtual tresult getText(char16_t* buffer, int32_t size) = 0;
    // [ui thread] The holder copies the text.
    virtual tresult setText(const char16_t* text) = 0;

protected:
    ~IStringValue() = default;
};

} // namespace Zel
