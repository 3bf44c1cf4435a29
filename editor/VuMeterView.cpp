#include "editor/VuMeterView.h"

#include <cmath>

#include "editor/HostFramework.h"
#include "editor/VuMeterData.h"
#include "interfaces/IBitmapSize.h"
#include "interfaces/InterfaceQuery.h"

namespace Zel {

namespace {
bool dataUsesHostMapping(CurveData* data) {
    VuMeterData* meter = FCast<VuMeterData>(data);
    return meter && meter->usesHostMapping();
}
} // namespace

VuMeterView::VuMeterView(const ViewRect& rect, CurveData* data, FUnknown* fore, FUnknown* back, bool vertical)
    : DataView<double>(rect, data), fore_(fore), back_(back), vertical_(vertical ? 1 : 0) {
    IMeterBitmaps* service = HostFramework::createAs<IMeterBitmaps>(IMeterBitmaps_iid);
    if (!service) return;
    if (!dataUsesHostMapping(data)) {
        service->Release();
        return;
    }
    meterBitmaps_ = service;
    if (IPtr<IMeterViewRegistry> registry =
            IPtr<IMeterViewRegistry>::adopt(HostFramework::createAs<IMeterViewRegistry>(IMeterViewRegistry_iid)))
        registry->addMeterView(meterBitmaps_, unknownCast());
}

VuMeterView::~VuMeterView() {
    if (!meterBitmaps_) return;
    if (IPtr<IMeterViewRegistry> registry =
            IPtr<IMeterViewRegistry>::adopt(HostFramework::createAs<IMeterViewRegistry>(IMeterViewRegistry_iid)))
        registry->removeMeterView(meterBitmaps_, unknownCast());
    meterBitmaps_->Release();
}

int32_t VuMeterView::meterType() const { return VuMeterData::kMeterType; }

void VuMeterView::update(FUnknown* changedObject, int32_t message) {
    if (!changedObject) return;
    FUnknown* identity = identityOf(changedObject);
    if (meterBitmaps_ && message == kMsgHostBitmapsChanged && identity == identityOf(meterBitmaps_)) {
        refetchHostForeBitmap();
        invalidate();
        return;
    }
    if (identity != data_->unknownCast()) return;
    if (message == VuMeterData::kIdColumnCount) layout();
    invalidate();
}

tresult VuMeterView::onMouseDown(const ViewPoint*, int32_t) {
    requestPeakReset();
    return kResultOk;
}

bool VuMeterView::bitmapSize(FUnknown* bitmap, int32_t& width, int32_t& height) {
    if (IPtr<IBitmapSize> size = queryInterface<IBitmapSize>(bitmap)) {
        double w = 0.0;
        double h = 0.0;
        if (size->getSize(&w, &h) == kResultOk) {
            width = static_cast<int32_t>(std::lround(w));
            height = static_cast<int32_t>(std::lround(h));
            return true;
        }
    }
    if (IPtr<IBitmapRectService> rects = queryInterface<IBitmapRectService>(bitmap)) {
        ViewRect r;
        if (rects->getRect(&r) == kResultOk) {
            width = r.width();
            height = r.height();
            return true;
        }
    }
    return false;
}

bool VuMeterView::requestedColumns(int32_t& count) const {
    float value = 0.0f;
    if (!data_->getValue(VuMeterData::kIdColumnCount, value)) return false;
    count = static_cast<int32_t>(std::trunc(value));
    return true;
}

int32_t VuMeterView::barThickness() const { return vertical_ ? rect_.width() : rect_.height(); }

// Bars as wide as the span allows, one pixel apart; when the bitmap is
// narrower than a bar the bars take its width and the rest is split into
// equal margins.
std::vector<int32_t> VuMeterView::placeBars(int32_t count, int32_t span, int32_t bitmapCross) {
    std::vector<int32_t> starts;
    if (count <= 0) {
        columnWidth_ = 0;
        return starts;
    }
    int32_t width = span / count;
    int32_t gap = 0;
    if (count >= 2) {
        gap = 1;
        width -= 1;
    }
    int32_t margin;
    if (width <= bitmapCross) {
        int32_t spare = span - count * width - (count - 1) * gap;
        if (spare >= count) {
            width += 1;
            spare -= count;
        }
        margin = spare / 2;
        if (margin == 0 && count >= 2 && (span - count - count * width + 1) / (count - 1) >= 1) gap += 1;
    } else {
        margin = ((width - bitmapCross) * count) / 2;
        width = bitmapCross;
    }
    columnWidth_ = width;
    starts.reserve(static_cast<size_t>(count));
    for (int32_t k = 0; k < count; ++k) starts.push_back(margin + k * (width + gap));
    return starts;
}

void VuMeterView::refetchHostForeBitmap() {
    const ViewRect local = localRect();
    if (FUnknown* bitmap = meterBitmaps_->foreBitmap(&local, meterType(), barThickness(), vertical_ ? 0 : 1))
        fore_ = IPtr<FUnknown>::adopt(bitmap);
}

} // namespace Zel
