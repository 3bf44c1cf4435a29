#pragma once
// The root of the host's view framework, which the host context hands to
// plug-ins: its services (clock, change notification, skins, idle ticks and
// the ones a plug-in only checks for), and the classes it makes (controls and
// host views). The host drives it with tick() from its editor loop.

#include "host/view/HostUpdateHandler.h"
#include "host/view/IdleService.h"
#include "host/view/PlainService.h"
#include "host/view/SkinService.h"
#include "host/view/TimeService.h"
#include "interfaces/IHostFramework.h"
#include "interfaces/IPtr.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class ViewFramework : public Zel::IHostFramework {
public:
    ViewFramework();
    virtual ~ViewFramework() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // Services come back as the same object every time; control classes and
    // IHostView_iid make a new object. The meter services and colour groups are
    // left out (kNoInterface), as is every other id.
    Zel::tresult createInstance(const Zel::TUID& id, void** obj, Zel::FUnknown* context) override;

    // [ui thread] One idle tick: every idle handler, then every change deferred
    // until now (including those the handlers deferred).
    void tick();

    SkinService& skins() { return *skins_; }
    TimeService& clock() { return *time_; }
    IdleService& idle() { return *idle_; }
    HostUpdateHandler& updates() { return *updates_; }

private:
    Zel::RefCount refCount_;
    Zel::IPtr<PlainService> required_[4];
    Zel::IPtr<PlainService> optional_;
    Zel::IPtr<TimeService> time_;
    Zel::IPtr<HostUpdateHandler> updates_;
    Zel::IPtr<SkinService> skins_;
    Zel::IPtr<IdleService> idle_;
};

} // namespace NivoloHost
