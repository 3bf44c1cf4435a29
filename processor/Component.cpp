#include "processor/Component.h"

#include "interfaces/InterfaceQuery.h"

namespace Zel {

Component::Component() = default;

tresult Component::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IComponent>(asked, this, obj)) return kResultOk;
    return ComponentBase::QueryInterface(asked, obj);
}

tresult Component::terminate() {
    audioInputs_.clear();
    audioOutputs_.clear();
    eventInputs_.clear();
    eventOutputs_.clear();
    return ComponentBase::terminate();
}

tresult Component::reportControllerClass(TUID& classId) {
    static const TUID none{};
    if (iidEqual(controllerClass_, none)) return kResultFalse;
    classId = controllerClass_;
    return kResultOk;
}

tresult Component::selectIoMode(int32_t) { return kNotImplemented; }

BusList* Component::getBusList(int32_t mediaType, int32_t direction) {
    if (mediaType == kAudio) return direction == kInput ? &audioInputs_ : direction == kOutput ? &audioOutputs_ : nullptr;
    if (mediaType == kEvent) return direction == kInput ? &eventInputs_ : direction == kOutput ? &eventOutputs_ : nullptr;
    return nullptr;
}

Bus* Component::getBus(int32_t mediaType, int32_t direction, int32_t index) {
    BusList* list = getBusList(mediaType, direction);
    return list ? list->at(index) : nullptr;
}

int32_t Component::busCount(int32_t mediaType, int32_t direction) {
    BusList* list = getBusList(mediaType, direction);
    return list ? list->size() : 0;
}

tresult Component::describeBus(int32_t mediaType, int32_t direction, int32_t index, BusDescription& info) {
    Bus* bus = getBus(mediaType, direction, index);
    if (!bus) return kResultFalse;
    info.mediaType = mediaType;
    info.direction = direction;
    bus->describe(info);
    return kResultOk;
}

tresult Component::describeRouting(RoutingInfo&, RoutingInfo&) { return kNotImplemented; }

tresult Component::setBusActive(int32_t mediaType, int32_t direction, int32_t index, uint8_t state) {
    Bus* bus = getBus(mediaType, direction, index);
    if (!bus) return kResultFalse;
    bus->setActive(state != 0);
    return kResultOk;
}

tresult Component::setActive(uint8_t) { return kResultOk; }
tresult Component::setState(IByteStream*) { return kNotImplemented; }
tresult Component::getState(IByteStream*) { return kNotImplemented; }

AudioBus* Component::addAudioInput(const char16_t* name, SpeakerArrangement arrangement, int32_t busType,
                                   uint32_t flags) {
    auto* bus = new AudioBus(name, busType, flags, arrangement);
    audioInputs_.append(bus);
    return bus;
}

AudioBus* Component::addAudioOutput(const char16_t* name, SpeakerArrangement arrangement, int32_t busType,
                                    uint32_t flags) {
    auto* bus = new AudioBus(name, busType, flags, arrangement);
    audioOutputs_.append(bus);
    return bus;
}

} // namespace Zel
