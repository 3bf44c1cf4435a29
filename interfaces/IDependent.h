#pragma once
// Implemented by whoever watches an object for changes.

#include "FUnknown.h"

namespace Zel {

class IDependent : public FUnknown {
public:
    static constexpr const TUID& iid = IDependent_iid;

    // Change code 2: the changed object is being destroyed; a dependent must
    // drop what it holds of it and must not call it back.
    static constexpr int32_t kDestroyed = 2;

    // [ui thread, or whichever thread flushes the change] Called with no lock
    // held; the dependent may add or remove dependents from here.
    virtual void update(FUnknown* changedObject, int32_t message) = 0;

protected:
    ~IDependent() = default;
};

} // namespace Zel
