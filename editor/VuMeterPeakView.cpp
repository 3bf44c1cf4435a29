#include "editor/VuMeterPeakView.h"

#include <cmath>
#include <cstdio>

#include "editor/VuMeterData.h"

namespace Zel {

tresult VuMeterPeakView::draw(IDrawContext* context, const ViewRect*) {
    text_[0] = 0;
    float peak = 0.0f;
    if (!context || !data_->getValue(VuMeterData::kIdPeakValue, peak)) return kResultOk;
    context->setFont(kFontFace, kFontSize, 0, 1.0);
    const double v = peak;
    if (v > 1.0) {
        context->setTextColour(overColour_);
        std::snprintf(text_, sizeof text_, "%2.1f", 20.0 * std::log10(v));
    } else {
        context->setTextColour(normalColour_);
        float floor = 0.0f;
        const bool belowFloor = data_->getValue(VuMeterData::kIdFloorLevel, floor) && floor > peak;
        if (belowFloor || !(v > 0.0)) {
            std::snprintf(text_, sizeof text_, "-oo");
        } else {
            const double d = 20.0 * std::log10(v);
            std::snprintf(text_, sizeof text_, "%2.1f", std::fabs(d) < 0.05 ? 0.0 : d);
        }
    }
    const ViewRect local = localRect();
    context->drawString(text_, &local);
    return kResultOk;
}

tresult VuMeterPeakView::onMouseDown(const ViewPoint*, int32_t) {
    requestPeakReset();
    return kResultOk;
}

} // namespace Zel
