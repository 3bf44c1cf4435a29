#pragma once
// An XML description of the controller for the host; this plug-in has none.

#include "FUnknown.h"

namespace Zel {

class IXmlRepresentationController : public FUnknown {
public:
    static constexpr const TUID& iid = IXmlRepresentationController_iid;

    // [ui thread]
    virtual tresult getXmlRepresentationStream(void* info, FUnknown* stream) = 0;

protected:
    ~IXmlRepresentationController() = default;
};

} // namespace Zel
