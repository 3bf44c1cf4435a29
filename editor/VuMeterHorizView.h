#pragma once
// A bar meter whose bars grow to the right from the left edge, one row per
// channel, the rows stacked downwards.

#include "editor/VuMeterView.h"

namespace Zel {

class VuMeterHorizView : public VuMeterView {
public:
    ZEL_FOBJECT_CLASS(VuMeterHorizView, VuMeterView)

    VuMeterHorizView(const ViewRect& rect, CurveData* data, FUnknown* fore, FUnknown* back)
        : VuMeterView(rect, data, fore, back, false) {}

    void layout() override;
    tresult draw(IDrawContext* context, const ViewRect* dirty) override;
};

} // namespace Zel
