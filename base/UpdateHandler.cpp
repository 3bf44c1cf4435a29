#include "base/UpdateHandler.h"

#include <algorithm>
#include <atomic>
#include <functional>

#include "interfaces/IPtr.h"
#include "interfaces/InterfaceQuery.h"

namespace Zel {

namespace {
std::atomic<IUpdateHandler*> gActiveHandler{nullptr};

bool identityLess(FUnknown* a, FUnknown* b) { return std::less<FUnknown*>()(a, b); }

void callChangeDone(FUnknown* object, int32_t message) {
    if (IPtr<FObject> obj = queryInterface<FObject>(object)) obj->changeDone(message);
}
} // namespace

IUpdateHandler* activeUpdateHandler() { return gActiveHandler.load(std::memory_order_acquire); }

void setActiveUpdateHandler(IUpdateHandler* handler) { gActiveHandler.store(handler, std::memory_order_release); }

void addDependent(FUnknown* object, IDependent* dependent) {
    if (IUpdateHandler* handler = activeUpdateHandler()) handler->addDependent(object, dependent);
}

void removeDependent(FUnknown* object, IDependent* dependent) {
    if (IUpdateHandler* handler = activeUpdateHandler()) handler->removeDependent(object, dependent);
}

UpdateHandler::UpdateHandler() {
    IUpdateHandler* expected = nullptr;
    gActiveHandler.compare_exchange_strong(expected, static_cast<IUpdateHandler*>(this));
}

UpdateHandler::~UpdateHandler() {
    IUpdateHandler* expected = static_cast<IUpdateHandler*>(this);
    gActiveHandler.compare_exchange_strong(expected, nullptr);
}

tresult UpdateHandler::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IUpdateHandler>(asked, this, obj) || answerInterface<IUpdateManager>(asked, this, obj))
        return kResultOk;
    return FObject::QueryInterface(asked, obj);
}

size_t UpdateHandler::bucketOf(FUnknown* identity) {
    return (reinterpret_cast<uintptr_t>(identity) >> 12) & (kBucketCount - 1);
}

bool UpdateHandler::hasDependents(FUnknown* identity) const {
    const auto& bucket = table_[bucketOf(identity)];
    auto it = std::lower_bound(bucket.begin(), bucket.end(), identity,
                               [](const Registration& r, FUnknown* id) { return identityLess(r.identity, id); });
    return it != bucket.end() && it->identity == identity;
}

tresult UpdateHandler::addDependent(FUnknown* object, IDependent* dependent) {
    FUnknown* identity = identityOf(object);
    if (!identity || !dependent) return kResultFalse;
    FGuard guard(lock_);
    auto& bucket = table_[bucketOf(identity)];
    // After the identity's existing pairs, so its dependents are told in registration order.
    auto it = std::upper_bound(bucket.begin(), bucket.end(), identity,
                               [](FUnknown* id, const Registration& r) { return identityLess(id, r.identity); });
    bucket.insert(it, Registration{identity, dependent});
    return kResultOk;
}

tresult UpdateHandler::removeDependent(FUnknown* object, IDependent* dependent) {
    FUnknown* identity = identityOf(object);
    if (!identity && !dependent) return kResultFalse;
    FGuard guard(lock_);
    for (InFlight* flight : inFlight_) {
        if (identity && flight->identity != identity) continue;
        std::replace(flight->dependents->begin(), flight->dependents->end(), dependent,
                     static_cast<IDependent*>(nullptr));
    }
    auto matches = [&](const Registration& r) {
        return (!identity || r.identity == identity) && (!dependent || r.dependent == dependent);
    };
    if (identity) {
        auto& bucket = table_[bucketOf(identity)];
        bucket.erase(std::remove_if(bucket.begin(), bucket.end(), matches), bucket.end());
    } else {
        for (auto& bucket : table_) bucket.erase(std::remove_if(bucket.begin(), bucket.end(), matches), bucket.end());
    }
    return kResultOk;
}

tresult UpdateHandler::notifyNow(FUnknown* object, int32_t message) {
    FUnknown* identity = identityOf(object);
    if (!identity) return kResultFalse;

    std::vector<IDependent*> dependents;
    InFlight flight{identity, &dependents};
    {
        FGuard guard(lock_);
        const auto& bucket = table_[bucketOf(identity)];
        auto range = std::equal_range(
            bucket.begin(), bucket.end(), Registration{identity, nullptr},
            [](const Registration& a, const Registration& b) { return identityLess(a.identity, b.identity); });
        size_t count = std::min<size_t>(static_cast<size_t>(range.second - range.first), kMaxDependentsPerNotification);
        dependents.reserve(count);
        for (auto it = range.first; dependents.size() < count; ++it) dependents.push_back(it->dependent);
        if (!dependents.empty()) inFlight_.push_back(&flight);
    }

    // Dependents are called with the lock released; each entry is re-read under
    // the lock because a removal may have cleared it meanwhile.
    for (size_t i = 0; i < dependents.size(); ++i) {
        IDependent* dependent;
        {
            FGuard guard(lock_);
            dependent = dependents[i];
        }
        if (dependent) dependent->update(object, message);
    }

    if (!dependents.empty()) {
        FGuard guard(lock_);
        inFlight_.erase(std::find(inFlight_.begin(), inFlight_.end(), &flight));
    }

    if (message != IDependent::kDestroyed) callChangeDone(object, message);
    return dependents.empty() ? kResultFalse : kResultOk;
}

tresult UpdateHandler::notifyLater(FUnknown* object, int32_t message) {
    FUnknown* identity = identityOf(object);
    if (!identity) return kResultFalse;
    {
        FGuard guard(lock_);
        if (hasDependents(identity)) {
            bool queued = std::any_of(deferred_.begin(), deferred_.end(), [&](const Deferred& d) {
                return d.identity == identity && d.message == message;
            });
            if (!queued) deferred_.push_back(Deferred{identity, message});
            return kResultOk;
        }
    }
    // Nobody to tell: the change is done at once.
    if (message != IDependent::kDestroyed) callChangeDone(object, message);
    return kResultOk;
}

tresult UpdateHandler::flushDeferred(FUnknown* object) {
    FUnknown* identity = identityOf(object);
    for (;;) {
        Deferred next;
        {
            FGuard guard(lock_);
            auto it = std::find_if(deferred_.begin(), deferred_.end(),
                                   [&](const Deferred& d) { return !identity || d.identity == identity; });
            if (it == deferred_.end()) break;
            next = *it;
            deferred_.erase(it);
        }
        notifyNow(next.identity, next.message);
    }
    return kResultOk;
}

tresult UpdateHandler::cancelDeferred(FUnknown* object) {
    FUnknown* identity = identityOf(object);
    if (!identity) return kResultFalse;
    FGuard guard(lock_);
    deferred_.erase(std::remove_if(deferred_.begin(), deferred_.end(),
                                   [&](const Deferred& d) { return d.identity == identity; }),
                    deferred_.end());
    return kResultOk;
}

size_t UpdateHandler::countDependents(FUnknown* object) {
    FUnknown* identity = identityOf(object);
    FGuard guard(lock_);
    size_t count = 0;
    for (const auto& bucket : table_)
        for (const auto& r : bucket)
            if (!identity || r.identity == identity) ++count;
    return count;
}

} // namespace Zel
