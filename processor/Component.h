#pragma once
// A processing component: its bus lists and the class id of its controller.

#include "interfaces/IComponent.h"
#include "processor/BusList.h"
#include "processor/ComponentBase.h"

namespace Zel {

class Component : public ComponentBase, public IComponent {
public:
    ZEL_FOBJECT_CLASS(Component, ComponentBase)

    Component();

    tresult QueryInterface(const TUID& iid, void** obj) override;
    ZEL_DELEGATE_REFCOUNT(ComponentBase)

    // IPluginBase and IComponent share these.
    tresult initialize(FUnknown* context) override { return ComponentBase::initialize(context); }
    // Removes every bus, then lets go of the host.
    tresult terminate() override;

    // IComponent
    tresult reportControllerClass(TUID& classId) override;
    tresult selectIoMode(int32_t mode) override;
    int32_t busCount(int32_t mediaType, int32_t direction) override;
    tresult describeBus(int32_t mediaType, int32_t direction, int32_t index, BusDescription& bus) override;
    tresult describeRouting(RoutingInfo& in, RoutingInfo& out) override;
    tresult setBusActive(int32_t mediaType, int32_t direction, int32_t index, uint8_t state) override;
    tresult setActive(uint8_t state) override;
    tresult setState(IByteStream* state) override;
    tresult getState(IByteStream* state) override;

protected:
    // The new bus belongs to the list; the pointer carries no reference.
    AudioBus* addAudioInput(const char16_t* name, SpeakerArrangement arrangement, int32_t busType = kMain,
                            uint32_t flags = BusDescription::kDefaultActive);
    AudioBus* addAudioOutput(const char16_t* name, SpeakerArrangement arrangement, int32_t busType = kMain,
                             uint32_t flags = BusDescription::kDefaultActive);
    // Null for a media type or direction that has no list.
    BusList* getBusList(int32_t mediaType, int32_t direction);
    Bus* getBus(int32_t mediaType, int32_t direction, int32_t index);
    void setControllerClass(const TUID& classId) { controllerClass_ = classId; }

private:
    TUID controllerClass_{};
    BusList audioInputs_{kAudio, kInput};
    BusList audioOutputs_{kAudio, kOutput};
    BusList eventInputs_{kEvent, kInput};
    BusList eventOutputs_{kEvent, kOutput};
};

} // namespace Zel
