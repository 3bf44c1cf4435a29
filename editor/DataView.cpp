#include "editor/DataView.h"

#include <algorithm>
#include <cmath>

#include "base/UpdateHandler.h"
#include "editor/VuMeterData.h"
#include "interfaces/InterfaceQuery.h"

namespace Zel {

template <class T>
DataView<T>::DataView(const ViewRect& rect, CurveData* data) : Frame::View(&rect), data_(data) {
    data_->AddRef();
    addDependent(data_->unknownCast(), this);
    data_->notifyOwner(DataObject2::kMsgViewAttached);
}

template <class T>
DataView<T>::~DataView() {
    removeDependent(data_->unknownCast(), this);
    data_->notifyOwner(DataObject2::kMsgViewDetached);
    data_->Release();
}

template <class T>
bool DataView<T>::isDataObject(FUnknown* object) const {
    return object && identityOf(object) == data_->unknownCast();
}

template <class T>
void DataView<T>::update(FUnknown* changedObject, int32_t) {
    if (isDataObject(changedObject)) invalidate();
}

template <class T>
tresult DataView<T>::draw(IDrawContext* context, const ViewRect*) {
    const uint32_t count = data_->getEntryCount();
    if (!context || count == 0) return kResultOk;
    const float* values = data_->getValues();
    const T width = static_cast<T>(rect_.width() - 1);
    const T height = static_cast<T>(rect_.height() - 1);
    auto pointAt = [&](uint32_t i) {
        const T x = count > 1 ? static_cast<T>(i) * width / static_cast<T>(count - 1) : T(0);
        const T v = std::clamp(static_cast<T>(values[i]), T(0), T(1));
        return ViewPoint{static_cast<int32_t>(std::lround(x)), static_cast<int32_t>(std::lround((T(1) - v) * height))};
    };
    context->setLineColour(lineColour_, 1, 1.0);
    if (count == 1) {
        ViewPoint p = pointAt(0);
        context->drawLine(p, ViewPoint{static_cast<int32_t>(width), p.y});
        return kResultOk;
    }
    ViewPoint previous = pointAt(0);
    for (uint32_t i = 1; i < count; ++i) {
        const ViewPoint next = pointAt(i);
        context->drawLine(previous, next);
        previous = next;
    }
    return kResultOk;
}

template <class T>
void DataView<T>::requestPeakReset() {
    data_->setValue(VuMeterData::kIdPeakValue, 0.0f);
    invalidate();
    data_->notifyOwner(DataObject2::kMsgPeakReset);
    data_->deferChange(DataObject2::kMsgPeakReset);
}

template class DataView<double>;

} // namespace Zel
