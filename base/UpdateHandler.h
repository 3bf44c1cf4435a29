#pragma once
// The module's own change-notification service, and the process-wide pointer
// to the active one (the host's, when the view framework supplies it).

#include <deque>
#include <vector>

#include "base/FLock.h"
#include "base/FObject.h"
#include "interfaces/IUpdateHandler.h"
#include "interfaces/IUpdateManager.h"

namespace Zel {

// [any thread] The handler changed/deferChange go through; null when none.
IUpdateHandler* activeUpdateHandler();
// Installs handler as the active one (no reference is held); null clears it.
void setActiveUpdateHandler(IUpdateHandler* handler);

// Forward to the active handler; nothing happens without one.
void addDependent(FUnknown* object, IDependent* dependent);
void removeDependent(FUnknown* object, IDependent* dependent);

class UpdateHandler : public FObject, public IUpdateHandler, public IUpdateManager {
public:
    ZEL_FOBJECT_CLASS(UpdateHandler, FObject)

    // Most dependents one notification reaches; the rest wait for the next.
    static constexpr size_t kMaxDependentsPerNotification = 10240;

    // Installs itself as the active handler when none is.
    UpdateHandler();
    // Clears the active handler if it is this one.
    ~UpdateHandler() override;

    tresult QueryInterface(const TUID& iid, void** obj) override;
    ZEL_DELEGATE_REFCOUNT(FObject)

    // IUpdateHandler
    tresult addDependent(FUnknown* object, IDependent* dependent) override;
    tresult removeDependent(FUnknown* object, IDependent* dependent) override;
    tresult notifyNow(FUnknown* object, int32_t message) override;
    tresult notifyLater(FUnknown* object, int32_t message) override;

    // IUpdateManager
    tresult cancelDeferred(FUnknown* object) override;
    tresult flushDeferred(FUnknown* object) override;

    // Number of (object, dependent) registrations of object (all objects when null).
    size_t countDependents(FUnknown* object = nullptr);

private:
    struct Registration {
        FUnknown* identity;
        IDependent* dependent;
    };
    struct Deferred {
        FUnknown* identity;
        int32_t message;
    };
    // A notification under way: its copy of the dependents, which removals null out.
    struct InFlight {
        FUnknown* identity;
        std::vector<IDependent*>* dependents;
    };

    static constexpr size_t kBucketCount = 256;
    static size_t bucketOf(FUnknown* identity);

    bool hasDependents(FUnknown* identity) const; // lock held

    FLock lock_;
    std::vector<Registration> table_[kBucketCount]; // each ordered by identity
    std::deque<Deferred> deferred_;
    std::vector<InFlight*> inFlight_;
};

} // namespace Zel
