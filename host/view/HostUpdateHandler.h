#pragma once
// The host's change-notification service. The module installs it in place of
// its own, so changes a plug-in defers (from any thread) reach the views when
// the host flushes them on its idle tick.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "interfaces/IUpdateHandler.h"
#include "interfaces/IUpdateManager.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class HostUpdateHandler : public Zel::IUpdateHandler, public Zel::IUpdateManager {
public:
    HostUpdateHandler() = default;
    virtual ~HostUpdateHandler() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // IUpdateHandler
    Zel::tresult addDependent(Zel::FUnknown* object, Zel::IDependent* dependent) override;
    Zel::tresult removeDependent(Zel::FUnknown* object, Zel::IDependent* dependent) override;
    Zel::tresult notifyNow(Zel::FUnknown* object, int32_t message) override;
    Zel::tresult notifyLater(Zel::FUnknown* object, int32_t message) override;

    // IUpdateManager
    Zel::tresult cancelDeferred(Zel::FUnknown* object) override;
    Zel::tresult flushDeferred(Zel::FUnknown* object) override;

    size_t pendingCount();
    size_t dependentCount(Zel::FUnknown* object = nullptr);

private:
    struct Registration {
        Zel::FUnknown* identity;
        Zel::IDependent* dependent;
    };
    struct Pending {
        Zel::FUnknown* identity;
        int32_t message;
    };

    // Tells the identity's dependents that object changed; each is checked
    // again just before its call because an earlier one may have removed it
    // (views close each other).
    bool deliver(Zel::FUnknown* identity, Zel::FUnknown* object, int32_t message);
    bool isRegistered(Zel::FUnknown* identity, Zel::IDependent* dependent);

    Zel::RefCount refCount_;
    std::mutex lock_;
    std::vector<Registration> registrations_; // in registration order
    std::deque<Pending> pending_;
};

} // namespace NivoloHost
