#pragma once
// A bar meter whose bars grow upwards from the bottom, one column per channel.

#include "editor/VuMeterView.h"

namespace Zel {

class VuMeterVertiView : public VuMeterView {
public:
    ZEL_FOBJECT_CLASS(VuMeterVertiView, VuMeterView)

    VuMeterVertiView(const ViewRect& rect, CurveData* data, FUnknown* fore, FUnknown* back)
        : VuMeterView(rect, data, fore, back, true) {}

    void layout() override;
    tresult draw(IDrawContext* context, const ViewRect* dirty) override;

protected:
    // The height the bars are drawn over: the bitmap's, at most the view's.
    int32_t drawHeight() const;
    // The row, from the top, where a bar at position starts.
    static int32_t rowOf(float position, int32_t height);
    // How many columns draw: laid out and fed by the data object.
    size_t drawnColumns() const;
};

} // namespace Zel
