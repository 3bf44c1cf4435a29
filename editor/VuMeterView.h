#pragma once
// The base of the bar meters: one column (or row) per channel, each showing
// the "fore" bitmap up to the channel's position over the "back" bitmap.
// Bitmaps come from the skin, or from the host's meter-bitmap service when the
// data object uses the host's scale; such views register with the host so it
// can tell them when its bitmaps change.

#include <vector>

#include "editor/DataView.h"
#include "interfaces/IMeterBitmaps.h"
#include "interfaces/IPtr.h"

namespace Zel {

class VuMeterView : public DataView<double> {
public:
    ZEL_FOBJECT_CLASS(VuMeterView, DataView<double>)

    // Update message of the host's meter-bitmap service: its bitmaps changed.
    static constexpr int32_t kMsgHostBitmapsChanged = 1;

    // fore, back: host bitmaps (referenced here); back may be null.
    VuMeterView(const ViewRect& rect, CurveData* data, FUnknown* fore, FUnknown* back, bool vertical);
    ~VuMeterView() override;

    // Computes the column rectangles from the column count and the bitmaps.
    virtual void layout() = 0;
    virtual int32_t meterType() const;

    void update(FUnknown* changedObject, int32_t message) override;
    // A click clears the shown peak.
    tresult onMouseDown(const ViewPoint* where, int32_t buttons) override;

    int32_t columnCount() const { return columnCount_; }
    int32_t columnWidth() const { return columnWidth_; }
    int32_t bitmapHeight() const { return bitmapHeight_; }
    const std::vector<ViewRect>& columns() const { return columns_; }
    FUnknown* foreBitmap() const { return fore_.get(); }
    FUnknown* backBitmap() const { return back_.get(); }
    bool isVertical() const { return vertical_ != 0; }
    bool usesHostBitmaps() const { return meterBitmaps_ != nullptr; }

    // A host bitmap's size in pixels; false when it tells none.
    static bool bitmapSize(FUnknown* bitmap, int32_t& width, int32_t& height);

protected:
    // The column count the data object asks for; false when it does not say.
    bool requestedColumns(int32_t& count) const;
    // The bar's cross extent, as the host's meter-bitmap service takes it.
    int32_t barThickness() const;
    // Places count bars across span pixels for a fore bitmap bitmapCross
    // pixels across: sets columnWidth_ and returns each bar's start.
    std::vector<int32_t> placeBars(int32_t count, int32_t span, int32_t bitmapCross);

    int32_t columnCount_ = 0;
    int32_t columnWidth_ = 0;
    int32_t bitmapHeight_ = 0; // the bitmap's extent along the bar
    std::vector<ViewRect> columns_;
    IPtr<FUnknown> fore_;
    IPtr<FUnknown> back_;
    uint8_t vertical_;
    IMeterBitmaps* meterBitmaps_ = nullptr; // one reference while registered

private:
    void refetchHostForeBitmap();
};

} // namespace Zel
