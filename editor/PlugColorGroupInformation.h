#pragma once
// The plug-in's own colour groups, handed to the skin when the host offers
// none. This plug-in defines no colour transforms, so the set stays empty.

#include <vector>

#include "base/FObject.h"
#include "interfaces/IColorGroupInformation.h"

namespace Zel {

class PlugColorGroupInformation : public FObject, public IColorGroupInformation {
public:
    ZEL_FOBJECT_CLASS(PlugColorGroupInformation, FObject)

    // [ui thread] The one instance, made on first use and destroyed when the
    // module unloads; not referenced for the caller.
    static PlugColorGroupInformation* shared();

    PlugColorGroupInformation() = default;
    ~PlugColorGroupInformation() override;

    tresult QueryInterface(const TUID& iid, void** obj) override;
    ZEL_DELEGATE_REFCOUNT(FObject)

    // IColorGroupInformation: this set takes no groups from others.
    tresult assign(IColorGroupInformation* groups) override;
    tresult groupCount(int32_t* count) override;
    tresult groupAt(int32_t index, FUnknown** transform) override;

    // Keeps a reference on the transform.
    void addGroup(FUnknown* transform);

private:
    static constexpr size_t kGrowth = 10;
    std::vector<FUnknown*> transforms_;
};

} // namespace Zel
