#pragma once
// Reads a skin's XML into a SkinModel, and the value forms its attributes use.

#include <string>
#include <string_view>

#include "host/view/SkinModel.h"

namespace NivoloHost {

class SkinParser {
public:
    // Elements nest at most this deep below a template (the plug-in's skin uses
    // four levels); deeper descriptions are refused rather than followed down
    // the stack, by the parser here and by the builders of the tree later.
    static constexpr int kMaxDepth = 64;

    // On failure error is one line naming the element and value at fault.
    static bool parse(std::string_view xml, SkinModel& out, std::string& error);

    // "x,y,width,height" in pixels; blanks around the numbers are allowed, the
    // width and height may not be negative.
    static bool parseRect(std::string_view text, Zel::ViewRect& out);
    // "#RRGGBB", or "$hue,saturation,value" (degrees, percent, percent);
    // opaque 0xAARRGGBB.
    static bool parseColour(std::string_view text, Zel::ColourArgb& out);
    // "#AA"; a missing alpha is opaque.
    static bool parseAlpha(std::string_view text, uint8_t& out);
    // Words joined by "|"; words the framework does not know are ignored.
    static uint32_t parseStyle(std::string_view text);

    // A value from the skin as error messages show it: in double quotes, with
    // control characters as \xNN, so that a message stays on one line.
    static std::string quoted(std::string_view text);
};

} // namespace NivoloHost
