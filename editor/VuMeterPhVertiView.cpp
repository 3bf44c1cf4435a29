#include "editor/VuMeterPhVertiView.h"

#include "editor/VuMeterPhData.h"

namespace Zel {

tresult VuMeterPhVertiView::draw(IDrawContext* context, const ViewRect* dirty) {
    VuMeterVertiView::draw(context, dirty);
    if (!context || !fore_) return kResultOk;
    const int32_t h = drawHeight();
    for (size_t c = 0; c < drawnColumns(); ++c) {
        const auto channel = static_cast<int32_t>(c);
        float peak = 0.0f;
        float maximum = 0.0f;
        if (!data_->getValue(VuMeterPhData::kIdPeakHold + channel, peak) ||
            !data_->getValue(VuMeterPhData::kIdMaximum + channel, maximum))
            continue;
        const ViewRect& column = columns_[c];
        context->setLineColour(kMaximumColour, 1, 1.0);
        const int32_t yMax = column.top + rowOf(maximum, h);
        context->drawLine(ViewPoint{column.left, yMax}, ViewPoint{column.right, yMax});
        const int32_t yPeak = rowOf(peak, h);
        const ViewRect source{0, yPeak, columnWidth_, yPeak + 1};
        const ViewRect destination{column.left, column.top + yPeak, column.right, column.top + yPeak + 1};
        context->drawBitmapSection(fore_.get(), &source, &destination);
    }
    return kResultOk;
}

} // namespace Zel
