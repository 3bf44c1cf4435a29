#pragma once
// Reads a skin's XML into a SkinModel, and the value forms its attributes use.

#include <string>
#include <string_view>

#include "host/view/SkinModel.h"

namespace NivoloHost {

class SkinParser {
public:
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
};

} // namespace NivoloHost
