#pragma once
// What a component tells the host about one of its buses.

#include <cstddef>
#include <cstdint>

namespace Zel {

enum MediaType : int32_t { kAudio = 0, kEvent = 1 };
enum BusDirection : int32_t { kInput = 0, kOutput = 1 };
enum BusType : int32_t { kMain = 0, kAux = 1 };

struct BusDescription {
    static constexpr uint32_t kDefaultActive = 1 << 0;

    int32_t mediaType;
    int32_t direction;
    int32_t channelCount;
    char16_t name[128];
    int32_t busType;
    uint32_t flags;
};

static_assert(sizeof(BusDescription) == 276);
static_assert(offsetof(BusDescription, mediaType) == 0);
static_assert(offsetof(BusDescription, direction) == 4);
static_assert(offsetof(BusDescription, channelCount) == 8);
static_assert(offsetof(BusDescription, name) == 12);
static_assert(offsetof(BusDescription, busType) == 268);
static_assert(offsetof(BusDescription, flags) == 272);

// A routing question the host may ask; this module answers none.
struct RoutingInfo {
    int32_t mediaType;
    int32_t busIndex;
    int32_t channel;
};

} // namespace Zel
