#include "host/view/ViewFramework.h"

#include <new>

#include "host/view/ContinuousControl.h"
#include "host/view/HostViewObject.h"
#include "host/view/IntegerControl.h"
#include "host/view/SwitchControl.h"
#include "host/view/TextControl.h"
#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

namespace {

template <class T>
IPtr<T> make() {
    return IPtr<T>::adopt(new T);
}

// Hands out service (as interface I) with a reference for the caller.
template <class I, class T>
tresult giveService(T* service, void** obj) {
    I* itf = static_cast<I*>(service);
    itf->AddRef();
    *obj = itf;
    return kResultOk;
}

template <class T>
tresult giveControl(void** obj) {
    auto* control = new (std::nothrow) T;
    if (!control) return kResultFailed;
    *obj = control->asControl(); // the creation reference goes to the caller
    return kResultOk;
}

} // namespace

ViewFramework::ViewFramework()
    : required_{make<PlainService>(), make<PlainService>(), make<PlainService>(), make<PlainService>()},
      optional_(make<PlainService>()), time_(make<TimeService>()), updates_(make<HostUpdateHandler>()),
      skins_(make<SkinService>()), idle_(make<IdleService>()) {}

tresult ViewFramework::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IHostFramework>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult ViewFramework::createInstance(const TUID& id, void** obj, FUnknown*) {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    const TUID* requiredIds[4] = {&RequiredService1_cid, &RequiredService2_cid, &RequiredService3_cid,
                                  &RequiredService4_cid};
    for (int i = 0; i < 4; ++i)
        if (id == *requiredIds[i]) return giveService<FUnknown>(required_[i].get(), obj);
    if (id == OptionalService_cid) return giveService<FUnknown>(optional_.get(), obj);
    if (id == ITimeService_iid) return giveService<ITimeService>(time_.get(), obj);
    if (id == IUpdateHandler_iid) return giveService<IUpdateHandler>(updates_.get(), obj);
    if (id == ISkinResource_iid) return giveService<ISkinResource>(skins_.get(), obj);
    if (id == IIdleService_iid) return giveService<IIdleService>(idle_.get(), obj);

    if (id == IntegerControl_cid) return giveControl<IntegerControl>(obj);
    if (id == ContinuousControl_cid) return giveControl<ContinuousControl>(obj);
    if (id == SwitchControl_cid) return giveControl<SwitchControl>(obj);
    if (id == TextControl_cid) return giveControl<TextControl>(obj);
    if (id == IHostView_iid) {
        auto* view = new (std::nothrow) HostViewObject;
        if (!view) return kResultFailed;
        *obj = static_cast<IHostView*>(view);
        return kResultOk;
    }
    return kNoInterface;
}

void ViewFramework::tick() {
    idle_->tick();
    updates_->flushDeferred(nullptr);
}

} // namespace NivoloHost
