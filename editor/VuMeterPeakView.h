#pragma once
// The peak value of a meter as text in decibels: "-oo" below the floor level,
// in the over colour above full scale (0 dB). A click resets the peak.

#include "editor/DataView.h"

namespace Zel {

class VuMeterPeakView : public DataView<double> {
public:
    ZEL_FOBJECT_CLASS(VuMeterPeakView, DataView<double>)

    static constexpr const char* kFontFace = "Arial";
    static constexpr int32_t kFontSize = 9;

    VuMeterPeakView(const ViewRect& rect, CurveData* data, ColourArgb normalColour, ColourArgb overColour)
        : DataView<double>(rect, data), normalColour_(normalColour), overColour_(overColour) {}

    tresult draw(IDrawContext* context, const ViewRect* dirty) override;
    tresult onMouseDown(const ViewPoint* where, int32_t buttons) override;

    // The text the view shows now; empty when the data object has no peak value.
    const char* text() const { return text_; }

private:
    char text_[32] = {};
    ColourArgb normalColour_;
    ColourArgb overColour_;
};

} // namespace Zel
