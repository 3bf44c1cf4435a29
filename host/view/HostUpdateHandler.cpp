#include "host/view/HostUpdateHandler.h"

#include <algorithm>

#include "interfaces/IDependent.h"
#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

tresult HostUpdateHandler::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IUpdateHandler>(asked, this, obj) || answerInterface<IUpdateManager>(asked, this, obj) ||
        answerInterface<FUnknown>(asked, static_cast<IUpdateHandler*>(this), obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult HostUpdateHandler::addDependent(FUnknown* object, IDependent* dependent) {
    FUnknown* identity = identityOf(object);
    if (!identity || !dependent) return kResultFalse;
    std::lock_guard<std::mutex> guard(lock_);
    registrations_.push_back(Registration{identity, dependent});
    return kResultOk;
}

tresult HostUpdateHandler::removeDependent(FUnknown* object, IDependent* dependent) {
    FUnknown* identity = identityOf(object);
    if (!identity && !dependent) return kResultFalse;
    std::lock_guard<std::mutex> guard(lock_);
    std::erase_if(registrations_, [&](const Registration& r) {
        return (!identity || r.identity == identity) && (!dependent || r.dependent == dependent);
    });
    return kResultOk;
}

bool HostUpdateHandler::isRegistered(FUnknown* identity, IDependent* dependent) {
    std::lock_guard<std::mutex> guard(lock_);
    return std::any_of(registrations_.begin(), registrations_.end(), [&](const Registration& r) {
        return r.identity == identity && r.dependent == dependent;
    });
}

bool HostUpdateHandler::deliver(FUnknown* identity, FUnknown* object, int32_t message) {
    std::vector<IDependent*> dependents;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const Registration& r : registrations_)
            if (r.identity == identity) dependents.push_back(r.dependent);
    }
    for (IDependent* dependent : dependents)
        if (isRegistered(identity, dependent)) dependent->update(object, message);
    return !dependents.empty();
}

tresult HostUpdateHandler::notifyNow(FUnknown* object, int32_t message) {
    FUnknown* identity = identityOf(object);
    if (!identity) return kResultFalse;
    return deliver(identity, object, message) ? kResultOk : kResultFalse;
}

tresult HostUpdateHandler::notifyLater(FUnknown* object, int32_t message) {
    FUnknown* identity = identityOf(object);
    if (!identity) return kResultFalse;
    std::lock_guard<std::mutex> guard(lock_);
    // No reference is kept: a queued change of an object that has lost all its
    // dependents by flush time is dropped without touching the object.
    bool queued = std::any_of(pending_.begin(), pending_.end(),
                              [&](const Pending& p) { return p.identity == identity && p.message == message; });
    if (!queued) pending_.push_back(Pending{identity, message});
    return kResultOk;
}

tresult HostUpdateHandler::cancelDeferred(FUnknown* object) {
    FUnknown* identity = identityOf(object);
    if (!identity) return kResultFalse;
    std::lock_guard<std::mutex> guard(lock_);
    std::erase_if(pending_, [&](const Pending& p) { return p.identity == identity; });
    return kResultOk;
}

tresult HostUpdateHandler::flushDeferred(FUnknown* object) {
    FUnknown* identity = object ? identityOf(object) : nullptr;
    if (object && !identity) return kResultFalse;
    for (;;) {
        Pending next{};
        {
            std::lock_guard<std::mutex> guard(lock_);
            auto it = std::find_if(pending_.begin(), pending_.end(),
                                   [&](const Pending& p) { return !identity || p.identity == identity; });
            if (it == pending_.end()) break;
            next = *it;
            pending_.erase(it);
        }
        deliver(next.identity, next.identity, next.message);
    }
    return kResultOk;
}

size_t HostUpdateHandler::pendingCount() {
    std::lock_guard<std::mutex> guard(lock_);
    return pending_.size();
}

size_t HostUpdateHandler::dependentCount(FUnknown* object) {
    FUnknown* identity = identityOf(object);
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<size_t>(std::count_if(registrations_.begin(), registrations_.end(), [&](const Registration& r) {
        return !identity || r.identity == identity;
    }));
}

} // namespace NivoloHost
