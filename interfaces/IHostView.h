#pragma once
// The host's view object that carries a module's custom view.

#include "FUnknown.h"
#include "ViewTypes.h"

namespace Zel {

class IHostViewClient;

class IHostView : public FUnknown {
public:
    static constexpr const TUID& iid = IHostView_iid;

    // [ui thread] client: referenced by the host view for its whole life.
    virtual tresult setClient(IHostViewClient* client) = 0;     // 4
    virtual tresult getRect(ViewRect* rect) = 0;                // 5
    // Schedules a redraw of rect (view coordinates); null: the whole view.
    virtual tresult invalidate(const ViewRect* rect) = 0;       // 6
    virtual tresult getVisible(int32_t* visible) = 0;           // 7
    virtual tresult getScale(double* x, double* y) = 0;         // 8

protected:
    ~IHostView() = default;
};

} // namespace Zel
