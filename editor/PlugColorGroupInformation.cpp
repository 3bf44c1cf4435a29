#include "editor/PlugColorGroupInformation.h"

#include "interfaces/InterfaceQuery.h"

namespace Zel {

namespace {
// Releases the shared instance at module unload.
struct SharedInstance {
    PlugColorGroupInformation* object = nullptr;
    ~SharedInstance() {
        if (object) object->Release();
    }
};
SharedInstance gShared;
} // namespace

PlugColorGroupInformation* PlugColorGroupInformation::shared() {
    if (!gShared.object) gShared.object = new PlugColorGroupInformation;
    return gShared.object;
}

PlugColorGroupInformation::~PlugColorGroupInformation() {
    for (FUnknown* transform : transforms_) transform->Release();
}

tresult PlugColorGroupInformation::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IColorGroupInformation>(asked, this, obj)) return kResultOk;
    return FObject::QueryInterface(asked, obj);
}

tresult PlugColorGroupInformation::assign(IColorGroupInformation*) { return kResultFalse; }

tresult PlugColorGroupInformation::groupCount(int32_t* count) {
    if (!count) return kInvalidArgument;
    *count = static_cast<int32_t>(transforms_.size());
    return *count == 0 ? kResultFalse : kResultOk;
}

tresult PlugColorGroupInformation::groupAt(int32_t index, FUnknown** transform) {
    if (!transform) return kInvalidArgument;
    *transform = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= transforms_.size()) return kResultFalse;
    *transform = transforms_[static_cast<size_t>(index)];
    (*transform)->AddRef();
    return kResultOk;
}

void PlugColorGroupInformation::addGroup(FUnknown* transform) {
    if (!transform) return;
    if (transforms_.size() == transforms_.capacity()) transforms_.reserve(transforms_.size() + kGrowth);
    transform->AddRef();
    transforms_.push_back(transform);
}

} // namespace Zel
