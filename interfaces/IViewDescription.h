#pragma once
// The skin's description of a view being built: its attributes and properties.

#include "FUnknown.h"
#include "ViewTypes.h"

namespace Zel {

class IViewDescription : public FUnknown {
public:
    static constexpr const TUID& iid = IViewDescription_iid;

    // [ui thread] Copies the attribute or property (properties win) named key,
    // zero-terminated; kResultFalse when the description has none.
    virtual tresult getAttribute(const char* key, char* buffer, int32_t size) = 0;
    // [ui thread] The view's rectangle in its parent.
    virtual tresult getRect(ViewRect* rect) = 0;

protected:
    ~IViewDescription() = default;
};

} // namespace Zel
