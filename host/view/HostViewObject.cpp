#include "host/view/HostViewObject.h"

#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

tresult HostViewObject::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IHostView>(asked, this, obj) || answerInterface<HostViewObject>(asked, this, obj) ||
        answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult HostViewObject::setClient(IHostViewClient* client) {
    // The old client may hold the last reference to something that releases
    // this object's other users; it goes after the new one is in place.
    IPtr<IHostViewClient> previous = std::move(client_);
    client_ = client;
    previous.reset();
    return kResultOk;
}

tresult HostViewObject::getRect(ViewRect* rect) {
    if (!rect) return kInvalidArgument;
    *rect = rect_;
    return kResultOk;
}

tresult HostViewObject::invalidate(const ViewRect*) {
    // The editor renders whole pictures on request; the count tells a host loop
    // (and tests) that the view wants a new one.
    ++invalidations_;
    return kResultOk;
}

tresult HostViewObject::getVisible(int32_t* visible) {
    if (!visible) return kInvalidArgument;
    *visible = visible_ ? 1 : 0;
    return kResultOk;
}

tresult HostViewObject::getScale(double* x, double* y) {
    if (!x || !y) return kInvalidArgument;
    *x = 1.0;
    *y = 1.0;
    return kResultOk;
}

} // namespace NivoloHost
