#pragma once
// A bus's speaker arrangement: one bit per speaker.

#include <bit>
#include <cstdint>

namespace Zel {

using SpeakerArrangement = uint64_t;

inline constexpr SpeakerArrangement kArrangementEmpty = 0;
inline constexpr SpeakerArrangement kArrangementStereo = 3;     // left and right

inline constexpr int32_t channelCountOf(SpeakerArrangement arrangement) {
    return std::popcount(arrangement);
}

} // namespace Zel
