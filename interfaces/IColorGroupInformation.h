#pragma once
// Colour groups (colour transforms) of a skin.

#include "FUnknown.h"

namespace Zel {

class IColorGroupInformation : public FUnknown {
public:
    static constexpr const TUID& iid = IColorGroupInformation_iid;

    // [ui thread] Hands another set of groups to this one (a skin service takes
    // the plug-in's groups this way); referenced while kept.
    virtual tresult assign(IColorGroupInformation* groups) = 0;
    virtual tresult groupCount(int32_t* count) = 0;
    // *transform: a host colour transform, one reference for the caller.
    virtual tresult groupAt(int32_t index, FUnknown** transform) = 0;

protected:
    ~IColorGroupInformation() = default;
};

} // namespace Zel
