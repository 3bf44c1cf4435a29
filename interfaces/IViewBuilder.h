#pragma once
// Implemented by the controller: the custom views a skin names.

#include "FUnknown.h"
#include "ViewTypes.h"

namespace Zel {

class IViewBuilder : public FUnknown {
public:
    static constexpr const TUID& iid = IViewBuilder_iid;

    // [ui thread] On entry *view holds the host's parent object (it answers
    // IViewDescription), not referenced for the callee. A builder that makes a
    // view replaces *view by the host view object wrapping it, with one
    // reference for the caller; otherwise *view is left as it was.
    virtual tresult createView(const char* name, const ViewRect* rect, FUnknown** view) = 0;

protected:
    ~IViewBuilder() = default;
};

} // namespace Zel
