#include "host/SpeakerMapping.h"

#include <libavutil/channel_layout.h>

#include <algorithm>
#include <numeric>

#include "host/ProcessingSession.h"

namespace NivoloHost {

namespace {

// The plug-in's speaker bits for the positions both sides name. FFmpeg's first
// eighteen positions are in the same order as the plug-in's first eighteen.
constexpr int kLeft = 0, kRight = 1, kSurroundLeft = 4, kSurroundRight = 5;
constexpr int kSecondLfe = 18;
constexpr int kFirstFree = 19; // from here on no speaker the meter weighs

} // namespace

SpeakerMapping SpeakerMapping::forChannels(const std::vector<int>& ids) {
    auto has = [&](int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); };
    std::vector<int> bits;
    uint64_t used = 0;
    auto take = [&](int bit) {
        if (bit >= 0 && bit < 64 && !(used & (uint64_t{1} << bit))) {
            used |= uint64_t{1} << bit;
            return bit;
        }
        return -1;
    };
    for (int id : ids) {
        int bit = -1;
        if (id >= AV_CHAN_FRONT_LEFT && id <= AV_CHAN_TOP_BACK_RIGHT) bit = id;
        // A lone side pair is the surround pair of a 5.1 (side) layout; beside a
        // back pair (7.1) it keeps its own place.
        if (id == AV_CHAN_SIDE_LEFT && !has(AV_CHAN_BACK_LEFT)) bit = kSurroundLeft;
        if (id == AV_CHAN_SIDE_RIGHT && !has(AV_CHAN_BACK_RIGHT)) bit = kSurroundRight;
        // A stereo downmix is the left and right of a stream without them.
        if (id == AV_CHAN_STEREO_LEFT && !has(AV_CHAN_FRONT_LEFT)) bit = kLeft;
        if (id == AV_CHAN_STEREO_RIGHT && !has(AV_CHAN_FRONT_RIGHT)) bit = kRight;
        if (id == AV_CHAN_LOW_FREQUENCY_2) bit = kSecondLfe;
        bits.push_back(take(bit));
    }
    // Everything else (twice-named, unknown, ambisonic, positions the plug-in
    // does not name) on the free bits, in stream order.
    int next = kFirstFree;
    for (int& bit : bits) {
        while (bit < 0 && next < 64) bit = take(next++);
        if (bit < 0) return {};
    }
    SpeakerMapping mapping;
    mapping.arrangement = used;
    mapping.streamChannel.resize(ids.size());
    std::iota(mapping.streamChannel.begin(), mapping.streamChannel.end(), 0);
    std::sort(mapping.streamChannel.begin(), mapping.streamChannel.end(),
              [&](int32_t a, int32_t b) { return bits[static_cast<size_t>(a)] < bits[static_cast<size_t>(b)]; });
    return mapping;
}

SpeakerMapping SpeakerMapping::unnamed(int32_t channels) {
    SpeakerMapping mapping;
    mapping.arrangement = ProcessingSession::arrangementFor(channels);
    mapping.streamChannel.resize(static_cast<size_t>(std::max(channels, 0)));
    std::iota(mapping.streamChannel.begin(), mapping.streamChannel.end(), 0);
    return mapping;
}

} // namespace NivoloHost
