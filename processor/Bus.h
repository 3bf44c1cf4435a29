#pragma once
// A component's bus: a named input or output with a type, flags and an
// active state; the audio kind adds its speaker arrangement.

#include <string>

#include "base/FObject.h"
#include "interfaces/BusDescription.h"
#include "interfaces/SpeakerArrangement.h"

namespace Zel {

class Bus : public FObject {
public:
    ZEL_FOBJECT_CLASS_AS(Bus, FObject, "Zel::Bus")

    Bus(const char16_t* name, int32_t busType, uint32_t flags);

    // Fills name (cut to 127 units and terminated), busType and flags.
    virtual void describe(BusDescription& info) const;

    const std::u16string& name() const { return name_; }
    int32_t busType() const { return busType_; }
    uint32_t flags() const { return flags_; }
    bool isActive() const { return active_; }
    void setActive(bool state) { active_ = state; }

private:
    std::u16string name_;
    int32_t busType_;
    uint32_t flags_;
    bool active_ = false;
};

class AudioBus : public Bus {
public:
    ZEL_FOBJECT_CLASS_AS(AudioBus, Bus, "Zel::AudioBus")

    AudioBus(const char16_t* name, int32_t busType, uint32_t flags, SpeakerArrangement arrangement)
        : Bus(name, busType, flags), arrangement_(arrangement) {}

    // Adds the channel count: the number of speakers in the arrangement.
    void describe(BusDescription& info) const override;

    SpeakerArrangement arrangement() const { return arrangement_; }
    void setArrangement(SpeakerArrangement arrangement) { arrangement_ = arrangement; }

private:
    SpeakerArrangement arrangement_;
};

} // namespace Zel
