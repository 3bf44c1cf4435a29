// The speakers a decoded stream's channels feed: whatever order the container
// keeps, the meter gets L R C LFE Ls Rs for 5.1, so that the LFE is left out
// and the surround pair weighted.

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include "host/SpeakerMapping.h"

namespace {

using NivoloHost::SpeakerMapping;

struct Layout {
    const char* name;
    std::vector<int> channels; // FFmpeg's ids in stream order
    uint64_t arrangement;
    std::vector<int32_t> streamChannel; // the stream channel of each meter channel
};

TEST(SpeakerMapping, StreamLayoutsReachTheirSpeakers) {
    enum : int {
        L = AV_CHAN_FRONT_LEFT, R = AV_CHAN_FRONT_RIGHT, C = AV_CHAN_FRONT_CENTER, LFE = AV_CHAN_LOW_FREQUENCY,
        BL = AV_CHAN_BACK_LEFT, BR = AV_CHAN_BACK_RIGHT, SL = AV_CHAN_SIDE_LEFT, SR = AV_CHAN_SIDE_RIGHT,
    };
    const Layout layouts[] = {
        {"mono", {C}, 0x4, {0}},
        {"stereo", {L, R}, 0x3, {0, 1}},
        {"5.1", {L, R, C, LFE, BL, BR}, 0x3F, {0, 1, 2, 3, 4, 5}},
        {"5.1 with side surrounds", {L, R, C, LFE, SL, SR}, 0x3F, {0, 1, 2, 3, 4, 5}},
        {"5.1 centre first, LFE last", {C, L, R, BL, BR, LFE}, 0x3F, {1, 2, 0, 5, 3, 4}},
        {"5.1 surrounds before the fronts", {SL, SR, L, R, C, LFE}, 0x3F, {2, 3, 4, 5, 0, 1}},
        // Beside a back pair the side pair keeps a place of its own, weighted as the fronts.
        {"7.1", {L, R, C, LFE, BL, BR, SL, SR}, 0x63F, {0, 1, 2, 3, 4, 5, 6, 7}},
        {"a second LFE", {L, R, LFE, AV_CHAN_LOW_FREQUENCY_2}, 0x4000B, {0, 1, 2, 3}},
        {"a stereo downmix", {AV_CHAN_STEREO_LEFT, AV_CHAN_STEREO_RIGHT}, 0x3, {0, 1}},
        // No place of their own: free bits past the speakers the meter weighs.
        {"twice the left, an unknown", {L, L, AV_CHAN_UNKNOWN}, 0x180001, {0, 1, 2}},
        {"wide pair", {AV_CHAN_WIDE_LEFT, AV_CHAN_WIDE_RIGHT, LFE}, 0x180008, {2, 0, 1}},
    };
    for (const Layout& layout : layouts) {
        const SpeakerMapping mapping = SpeakerMapping::forChannels(layout.channels);
        EXPECT_EQ(mapping.arrangement, layout.arrangement) << layout.name;
        EXPECT_EQ(mapping.streamChannel, layout.streamChannel) << layout.name;
    }
}

TEST(SpeakerMapping, UnnamedChannelsTakeTheUsualArrangementInStreamOrder) {
    const std::pair<int32_t, uint64_t> counts[] = {{1, 0x4}, {2, 0x3}, {6, 0x3F}, {14, 0x3FFF}, {16, 0}};
    for (const auto& [channels, arrangement] : counts) {
        const SpeakerMapping mapping = SpeakerMapping::unnamed(channels);
        EXPECT_EQ(mapping.arrangement, arrangement) << channels;
        ASSERT_EQ(mapping.streamChannel.size(), static_cast<size_t>(channels));
        for (int32_t c = 0; c < channels; ++c) EXPECT_EQ(mapping.streamChannel[static_cast<size_t>(c)], c);
    }
}

} // namespace
