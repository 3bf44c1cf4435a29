#pragma once
// Mouse input the host forwards to a module view (view coordinates).

#include "FUnknown.h"
#include "ViewTypes.h"

namespace Zel {

class IHostViewMouseEvent : public FUnknown {
public:
    static constexpr const TUID& iid = IHostViewMouseEvent_iid;

    // [ui thread] kResultOk: handled.
    virtual tresult onMouseDown(const ViewPoint* where, int32_t buttons) = 0;
    virtual tresult onMouseUp(const ViewPoint* where, int32_t buttons) = 0;
    virtual tresult onMouseMoved(const ViewPoint* where, int32_t buttons) = 0;

protected:
    ~IHostViewMouseEvent() = default;
};

} // namespace Zel
