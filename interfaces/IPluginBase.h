#pragma once
// The first and last calls a host makes on a plug-in object.

#include "FUnknown.h"

namespace Zel {

class IPluginBase : public FUnknown {
public:
    static constexpr const TUID& iid = IPluginBase_iid;

    // [ui thread] context: the host's context object; the plug-in keeps its own
    // reference while initialised. kResultFalse when already initialised.
    virtual tresult initialize(FUnknown* context) = 0;
    // [ui thread] Releases everything initialize acquired.
    virtual tresult terminate() = 0;

protected:
    ~IPluginBase() = default;
};

} // namespace Zel
