#pragma once
// A view data object with an owner: whoever made it (the controller) hears at
// once when views attach to it, detach from it or ask for a peak reset.

#include "editor/DataObject.h"

namespace Zel {

class DataObject2 : public Frame::DataObject {
public:
    ZEL_FOBJECT_CLASS(DataObject2, Frame::DataObject)

    // Messages to the owner (and, for the peak reset, to the dependents).
    static constexpr int32_t kMsgPeakReset = 5005;
    static constexpr int32_t kMsgViewAttached = 5006;
    static constexpr int32_t kMsgViewDetached = 5007;

    // owner: not referenced (it owns this object); null: nobody is told.
    void setOwner(IDependent* owner) { owner_ = owner; }
    IDependent* owner() const { return owner_; }
    // [ui thread] Immediate: the owner's update(this, message) runs before this returns.
    void notifyOwner(int32_t message);

private:
    IDependent* owner_ = nullptr;
};

} // namespace Zel
