#pragma once
// A skin description as read from its XML: named bitmaps and sections, the
// colour scheme, and the templates as element trees that the editor is built
// from.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "interfaces/ViewTypes.h"

namespace NivoloHost {

// Style words of texts, switches and sliders, joined by "|" in the skin.
enum SkinStyle : uint32_t {
    kStyleTransparent = 1u << 0, // text without background
    kStyleNoDraw = 1u << 1,      // switch without its own picture
    kStyleOnOff = 1u << 2,       // switch toggles between 0 and 1
    kStylePush = 1u << 3,        // momentary switch
    kStyleImmediate = 1u << 4,   // value sent at once
    kStyleToggle = 1u << 5,
    kStyleVertical = 1u << 6,    // slider orientation
};

struct SkinElement {
    std::string tag;
    std::vector<std::pair<std::string, std::string>> attributes; // document order
    bool hasRect = false;
    Zel::ViewRect rect; // from "size", relative to the template
    std::vector<SkinElement> children;

    // Null when the element has no such attribute.
    const std::string* attribute(std::string_view key) const;
    std::string attributeOr(std::string_view key, std::string_view fallback = {}) const;
};

struct SkinBitmap {
    std::string name;
    std::string path; // entry of the resource file, matched without regard to case
    uint8_t alpha = 255;
};

struct SkinSection {
    std::string name;
    std::string source; // the bitmap (or section) it is cut from
    Zel::ViewRect rect;
};

struct SkinColour {
    std::string name;
    Zel::ColourArgb value = 0;
};

struct SkinModel {
    std::vector<SkinBitmap> bitmaps;
    std::vector<SkinSection> sections;
    std::vector<SkinColour> colours;
    std::vector<SkinElement> templates; // tag "template", with a "name"

    const SkinElement* findTemplate(std::string_view name) const;
    bool findColour(std::string_view name, Zel::ColourArgb& out) const;
};

} // namespace NivoloHost
