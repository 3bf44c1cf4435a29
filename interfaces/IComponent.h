#pragma once
// The host's view of a processing component: buses, activation, state.

#include "BusDescription.h"
#include "IPluginBase.h"

namespace Zel {

class IByteStream;

class IComponent : public IPluginBase {
public:
    static constexpr const TUID& iid = IComponent_iid;

    // [ui thread] The class id of the matching controller; kResultFalse when none.
    virtual tresult reportControllerClass(TUID& classId) = 0;
    // [ui thread, inactive]
    virtual tresult selectIoMode(int32_t mode) = 0;
    // [ui thread]
    virtual int32_t busCount(int32_t mediaType, int32_t direction) = 0;
    // [ui thread] kResultFalse for a missing bus.
    virtual tresult describeBus(int32_t mediaType, int32_t direction, int32_t index, BusDescription& bus) = 0;
    // [ui thread]
    virtual tresult describeRouting(RoutingInfo& in, RoutingInfo& out) = 0;
    // [ui thread, inactive]
    virtual tresult setBusActive(int32_t mediaType, int32_t direction, int32_t index, uint8_t state) = 0;
    // [ui thread]
    virtual tresult setActive(uint8_t state) = 0;
    // [ui thread] The stream stays owned by the host; read or written from its position.
    virtual tresult setState(IByteStream* state) = 0;
    virtual tresult getState(IByteStream* state) = 0;

protected:
    ~IComponent() = default;
};

} // namespace Zel
