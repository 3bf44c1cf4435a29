#include "editor/VuMeterVertiView.h"

#include <algorithm>
#include <cmath>

namespace Zel {

void VuMeterVertiView::layout() {
    int32_t count = 0;
    if (!requestedColumns(count)) return;
    int32_t bitmapWidth = 0;
    int32_t bitmapHeight = 0;
    bitmapSize(fore_.get(), bitmapWidth, bitmapHeight);
    bitmapHeight_ = bitmapHeight;
    columnCount_ = std::max(count, 0);
    const std::vector<int32_t> starts = placeBars(columnCount_, rect_.width(), bitmapWidth);
    columns_.clear();
    for (int32_t left : starts) columns_.push_back(ViewRect{left, 0, left + columnWidth_, bitmapHeight_});
}

int32_t VuMeterVertiView::drawHeight() const { return std::min(bitmapHeight_, rect_.height()); }

int32_t VuMeterVertiView::rowOf(float position, int32_t height) {
    const auto row = static_cast<int32_t>(std::trunc((1.0f - position) * static_cast<float>(height) + 0.5f));
    return std::clamp(row, 0, height);
}

size_t VuMeterVertiView::drawnColumns() const { return std::min<size_t>(columns_.size(), data_->getEntryCount()); }

tresult VuMeterVertiView::draw(IDrawContext* context, const ViewRect*) {
    if (!context) return kResultOk;
    const int32_t width = rect_.width();
    const int32_t h = drawHeight();
    if (back_) {
        const ViewRect section{0, 0, width, h};
        context->drawBitmapSection(back_.get(), &section, &section);
    }
    if (!fore_) return kResultOk;
    const float* positions = data_->getValues();
    for (size_t c = 0; c < drawnColumns(); ++c) {
        const ViewRect& column = columns_[c];
        const int32_t y = rowOf(positions[c], h);
        const ViewRect source{0, y, columnWidth_, column.bottom};
        const ViewRect destination{column.left, column.top + y, column.right, column.bottom};
        context->drawBitmapSection(fore_.get(), &source, &destination);
    }
    return kResultOk;
}

} // namespace Zel
