#pragma once
// Host-side editing of parameters outside the editor; this plug-in declines.

#include "FUnknown.h"

namespace Zel {

class IEditControllerHostEditing : public FUnknown {
public:
    static constexpr const TUID& iid = IEditControllerHostEditing_iid;

    // [ui thread]
    virtual tresult beginEditFromHost(int32_t id) = 0;
    virtual tresult endEditFromHost(int32_t id) = 0;

protected:
    ~IEditControllerHostEditing() = default;
};

} // namespace Zel
