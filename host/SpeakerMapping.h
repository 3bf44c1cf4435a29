#pragma once
// Which speaker each channel of a decoded stream feeds: the plug-in's speaker
// arrangement (one bit per speaker, channels in bit order) built from the
// stream's channel layout, and the stream channel behind each meter channel.
// The meter weighs channels by speaker (the LFE not at all, the surround pair
// more), so a 5.1 stream must reach it as L R C LFE Ls Rs whatever order its
// container keeps.

#include <cstdint>
#include <vector>

#include "interfaces/SpeakerArrangement.h"

namespace NivoloHost {

struct SpeakerMapping {
    Zel::SpeakerArrangement arrangement = 0;
    // Meter channel i takes the stream's channel streamChannel[i].
    std::vector<int32_t> streamChannel;

    // From FFmpeg's channel ids (enum AVChannel), in stream order. Speakers the
    // plug-in has no place for take free bits past its named ones (counted
    // at weight 1). More channels than the mask has bits: an empty arrangement.
    static SpeakerMapping forChannels(const std::vector<int>& channelIds);
    // A stream that names no speakers: the host's usual arrangement for the
    // count, in stream order.
    static SpeakerMapping unnamed(int32_t channels);
};

} // namespace NivoloHost
