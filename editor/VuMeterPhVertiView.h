#pragma once
// A vertical bar meter that also shows, per column, the maximum since reset
// as a grey line and the peak-hold level as a one-pixel strip of the bar.

#include "editor/VuMeterVertiView.h"

namespace Zel {

class VuMeterPhVertiView : public VuMeterVertiView {
public:
    ZEL_FOBJECT_CLASS(VuMeterPhVertiView, VuMeterVertiView)

    static constexpr ColourArgb kMaximumColour = 0xFF6E6E6E;

    using VuMeterVertiView::VuMeterVertiView;

    tresult draw(IDrawContext* context, const ViewRect* dirty) override;
};

} // namespace Zel
