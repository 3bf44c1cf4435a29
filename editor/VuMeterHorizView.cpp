#include "editor/VuMeterHorizView.h"

#include <algorithm>
#include <cmath>

namespace Zel {

void VuMeterHorizView::layout() {
    int32_t count = 0;
    if (!requestedColumns(count)) return;
    int32_t bitmapWidth = 0;
    int32_t bitmapHeight = 0;
    bitmapSize(fore_.get(), bitmapWidth, bitmapHeight);
    bitmapHeight_ = bitmapWidth; // the length along the bar
    columnCount_ = std::max(count, 0);
    const std::vector<int32_t> starts = placeBars(columnCount_, rect_.height(), bitmapHeight);
    columns_.clear();
    for (int32_t top : starts) columns_.push_back(ViewRect{0, top, bitmapHeight_, top + columnWidth_});
}

tresult VuMeterHorizView::draw(IDrawContext* context, const ViewRect*) {
    if (!context) return kResultOk;
    const int32_t w = std::min(bitmapHeight_, rect_.width());
    const int32_t height = rect_.height();
    if (back_) {
        const ViewRect section{0, 0, w, height};
        context->drawBitmapSection(back_.get(), &section, &section);
    }
    if (!fore_) return kResultOk;
    const float* positions = data_->getValues();
    const size_t rows = std::min<size_t>(columns_.size(), data_->getEntryCount());
    for (size_t r = 0; r < rows; ++r) {
        const ViewRect& row = columns_[r];
        const int32_t x =
            std::clamp(static_cast<int32_t>(std::trunc(positions[r] * static_cast<float>(w) + 0.5f)), 0, w);
        const ViewRect source{0, 0, x, columnWidth_};
        const ViewRect destination{row.left, row.top, row.left + x, row.bottom};
        context->drawBitmapSection(fore_.get(), &source, &destination);
    }
    return kResultOk;
}

} // namespace Zel
