#pragma once
// Implemented by a module view that the host draws.

#include "FUnknown.h"
#include "ViewTypes.h"

namespace Zel {

class IDrawContext;

class IHostViewClient : public FUnknown {
public:
    static constexpr const TUID& iid = IHostViewClient_iid;

    // [ui thread] Draw into context, in view coordinates; dirty: the part to redraw.
    virtual tresult draw(IDrawContext* context, const ViewRect* dirty) = 0;
    // [ui thread] The host changed the view's rectangle.
    virtual tresult sizeChanged(const ViewRect* rect) = 0;

protected:
    ~IHostViewClient() = default;
};

} // namespace Zel
