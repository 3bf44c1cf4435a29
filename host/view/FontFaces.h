#pragma once
// Font faces a skin names, mapped to faces this system has: the common
// proprietary faces become their metric-compatible free counterparts, so that
// texts keep the widths the skin was laid out for.

#include <string>
#include <string_view>

namespace NivoloHost {

class FontFaces {
public:
    static constexpr std::string_view kDefaultFace = "Liberation Sans";

    // The face to ask the font system for; faces without a counterpart pass
    // unchanged, an empty face becomes kDefaultFace.
    static std::string resolve(std::string_view face);
};

} // namespace NivoloHost
