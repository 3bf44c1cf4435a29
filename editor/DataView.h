#pragma once
// A view over a data object's entries: it watches the object (redrawing on
// every change) and, in this base, draws the entries as a polyline from left
// to right, 0 at the bottom and 1 at the top. The parameter is the type the
// drawing arithmetic uses.

#include "editor/CurveData.h"
#include "editor/View.h"
#include "interfaces/IDrawContext.h"

namespace Zel {

template <class T>
class DataView : public Frame::View {
public:
    ZEL_FOBJECT_CLASS_AS(DataView, Frame::View, "DataView")

    // [ui thread] Keeps a reference on data and watches it; tells the data's
    // owner that a view attached (and, at destruction, detached).
    DataView(const ViewRect& rect, CurveData* data);
    ~DataView() override;

    // A change of the data object redraws the view.
    void update(FUnknown* changedObject, int32_t message) override;
    tresult draw(IDrawContext* context, const ViewRect* dirty) override;

    CurveData* data() const { return data_; }
    void setLineColour(ColourArgb colour) { lineColour_ = colour; }

protected:
    bool isDataObject(FUnknown* object) const;
    // A click's request to forget the shown peak: cleared here, then the data's
    // owner (at once) and its dependents (deferred) are told.
    void requestPeakReset();

    CurveData* data_; // one reference

private:
    ColourArgb lineColour_ = 0xFF000000;
};

extern template class DataView<double>;

} // namespace Zel
