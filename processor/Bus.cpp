#include "processor/Bus.h"

#include <algorithm>

namespace Zel {

Bus::Bus(const char16_t* name, int32_t busType, uint32_t flags)
    : name_(name ? name : u""), busType_(busType), flags_(flags) {}

void Bus::describe(BusDescription& info) const {
    constexpr size_t kCapacity = sizeof info.name / sizeof info.name[0];
    size_t length = std::min(name_.size(), kCapacity - 1);
    std::copy_n(name_.data(), length, info.name);
    std::fill(info.name + length, info.name + kCapacity, u'\0');
    info.busType = busType_;
    info.flags = flags_;
}

void AudioBus::describe(BusDescription& info) const {
    Bus::describe(info);
    info.channelCount = channelCountOf(arrangement_);
}

} // namespace Zel
