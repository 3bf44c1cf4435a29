#pragma once
// Making a bar meter for a view that a skin names: the controller's view
// builder calls this with what the host handed it.
//
// createMeterView(parent, rect, data, peakHold, skin)
//   parent:   the object the host passed in IViewBuilder::createView's *view
//             (asked for IViewDescription; may be null: defaults apply).
//   rect:     the view's rectangle in its parent, as the host gave it.
//   data:     the meter data the view shows; the view keeps a reference and
//             watches it; its owner hears 5006 now and 5007 when the view goes.
//   peakHold: a vertical meter draws peak-hold strips and maximum lines
//             (VuMeterPhVertiView) when true, plain bars (VuMeterVertiView)
//             when false. Horizontal meters are always VuMeterHorizView.
//   skin:     where named bitmaps come from (may be null).
// Orientation: horizontal only when "meter-orientation" is exactly
// "horizontal". Bitmaps: from the host's meter-bitmap service when the data
// uses the host's level scale and the service exists; otherwise from the skin
// by name: "bmDuravIrorMeterFore" / "bmDuravIrorMeterBack", replaced by the
// "meter-name-fore" / "meter-name-back" properties when present, and by
// "bmDuravIrorMeterHorizFore" / "bmDuravIrorMeterHorizBack" when the view is
// wider than tall.
// Returns the host view object carrying the laid-out view, with one reference
// for the caller (ready to go into *view); the host view keeps the view alive.
// Null, and no view made, when either bitmap is missing or the framework
// makes no host view.

#include "interfaces/IHostView.h"
#include "interfaces/ISkinResource.h"
#include "interfaces/ViewTypes.h"

namespace Zel {

class VuMeterData;

inline constexpr const char* kMeterForeBitmap = "bmDuravIrorMeterFore";
inline constexpr const char* kMeterBackBitmap = "bmDuravIrorMeterBack";
inline constexpr const char* kMeterHorizForeBitmap = "bmDuravIrorMeterHorizFore";
inline constexpr const char* kMeterHorizBackBitmap = "bmDuravIrorMeterHorizBack";

IHostView* createMeterView(FUnknown* parent, const ViewRect& rect, VuMeterData* data, bool peakHold,
                           ISkinResource* skin);

} // namespace Zel
