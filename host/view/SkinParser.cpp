#include "host/view/SkinParser.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace NivoloHost {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Splits at every comma; fields are trimmed.
std::vector<std::string_view> fields(std::string_view text) {
    std::vector<std::string_view> out;
    for (;;) {
        size_t comma = text.find(',');
        out.push_back(trim(text.substr(0, comma)));
        if (comma == std::string_view::npos) return out;
        text.remove_prefix(comma + 1);
    }
}

bool parseInt(std::string_view text, int32_t& out) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool parseNumber(std::string_view text, double& out) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

bool parseHex(std::string_view text, uint32_t& out) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out, 16);
    return ec == std::errc() && end == text.data() + text.size();
}

uint32_t channel(double unit) { return static_cast<uint32_t>(std::lround(std::clamp(unit, 0.0, 1.0) * 255.0)); }

// Hue in degrees, saturation and value from 0 to 1.
Zel::ColourArgb fromHsv(double hue, double saturation, double value) {
    hue = std::fmod(hue, 360.0);
    if (hue < 0) hue += 360.0;
    const double chroma = value * saturation;
    const double sector = hue / 60.0;
    const double x = chroma * (1.0 - std::fabs(std::fmod(sector, 2.0) - 1.0));
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(sector)) {
    case 0: r = chroma, g = x; break;
    case 1: r = x, g = chroma; break;
    case 2: g = chroma, b = x; break;
    case 3: g = x, b = chroma; break;
    case 4: r = x, b = chroma; break;
    default: r = chroma, b = x; break;
    }
    const double m = value - chroma;
    return 0xFF000000u | channel(r + m) << 16 | channel(g + m) << 8 | channel(b + m);
}

std::string describe(const pugi::xml_node& node) {
    std::string text = "<" + std::string(node.name());
    if (pugi::xml_attribute name = node.attribute("name")) text += " name=" + SkinParser::quoted(name.value());
    return text + ">";
}

bool fail(std::string& error, std::string message) {
    error = "skin: " + std::move(message);
    return false;
}

bool required(const pugi::xml_node& node, const char* key, std::string& out, std::string& error) {
    pugi::xml_attribute a = node.attribute(key);
    if (!a || !*a.value()) return fail(error, describe(node) + " has no " + key);
    out = a.value();
    return true;
}

bool readElement(const pugi::xml_node& node, SkinElement& out, std::string& error, int depth = 0) {
    if (depth > SkinParser::kMaxDepth)
        return fail(error, describe(node) + " nests deeper than " + std::to_string(SkinParser::kMaxDepth) + " levels");
    out.tag = node.name();
    for (pugi::xml_attribute a : node.attributes()) out.attributes.emplace_back(a.name(), a.value());
    // A font's size is its height in pixels; everywhere else it is a rectangle.
    if (const std::string* size = out.attribute("size"); size && out.tag != "font") {
        if (!SkinParser::parseRect(*size, out.rect))
            return fail(error, describe(node) + ": size " + SkinParser::quoted(*size) + " is not x,y,width,height");
        out.hasRect = true;
    }
    for (pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element) continue;
        out.children.emplace_back();
        if (!readElement(child, out.children.back(), error, depth + 1)) return false;
    }
    return true;
}

bool readResources(const pugi::xml_node& resources, SkinModel& out, std::string& error) {
    for (pugi::xml_node node : resources.children()) {
        const std::string tag = node.name();
        if (tag == "bitmap") {
            SkinBitmap bitmap;
            if (!required(node, "name", bitmap.name, error) || !required(node, "path", bitmap.path, error)) return false;
            if (pugi::xml_attribute alpha = node.attribute("alpha"); alpha && !SkinParser::parseAlpha(alpha.value(), bitmap.alpha))
                return fail(error, describe(node) + ": alpha " + SkinParser::quoted(alpha.value()) + " is not #AA");
            out.bitmaps.push_back(std::move(bitmap));
        } else if (tag == "section") {
            SkinSection section;
            std::string size;
            if (!required(node, "name", section.name, error) || !required(node, "path", section.source, error) ||
                !required(node, "size", size, error))
                return false;
            if (!SkinParser::parseRect(size, section.rect))
                return fail(error, describe(node) + ": size " + SkinParser::quoted(size) + " is not x,y,width,height");
            out.sections.push_back(std::move(section));
        }
    }
    return true;
}

bool readScheme(const pugi::xml_node& scheme, SkinModel& out, std::string& error) {
    for (pugi::xml_node node : scheme.children("color")) {
        SkinColour colour;
        std::string value;
        if (!required(node, "name", colour.name, error) || !required(node, "value", value, error)) return false;
        if (!SkinParser::parseColour(value, colour.value))
            return fail(error, describe(node) + ": " + SkinParser::quoted(value) + " is neither #RRGGBB nor $hue,saturation,value");
        out.colours.push_back(std::move(colour));
    }
    return true;
}

} // namespace

std::string SkinParser::quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

bool SkinParser::parseRect(std::string_view text, Zel::ViewRect& out) {
    auto parts = fields(text);
    int32_t v[4];
    if (parts.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i)
        if (!parseInt(parts[i], v[i])) return false;
    if (v[2] < 0 || v[3] < 0) return false;
    out = Zel::ViewRect{v[0], v[1], v[0] + v[2], v[1] + v[3]};
    return true;
}

bool SkinParser::parseColour(std::string_view text, Zel::ColourArgb& out) {
    text = trim(text);
    if (text.size() == 7 && text[0] == '#') {
        uint32_t rgb = 0;
        if (!parseHex(text.substr(1), rgb)) return false;
        out = 0xFF000000u | rgb;
        return true;
    }
    if (!text.empty() && text[0] == '$') {
        auto parts = fields(text.substr(1));
        double h, s, v;
        if (parts.size() != 3 || !parseNumber(parts[0], h) || !parseNumber(parts[1], s) || !parseNumber(parts[2], v))
            return false;
        if (s < 0 || s > 100 || v < 0 || v > 100) return false;
        out = fromHsv(h, s / 100.0, v / 100.0);
        return true;
    }
    return false;
}

bool SkinParser::parseAlpha(std::string_view text, uint8_t& out) {
    text = trim(text);
    uint32_t value = 0;
    if (text.size() != 3 || text[0] != '#' || !parseHex(text.substr(1), value)) return false;
    out = static_cast<uint8_t>(value);
    return true;
}

uint32_t SkinParser::parseStyle(std::string_view text) {
    static constexpr std::pair<std::string_view, uint32_t> kWords[] = {
        {"transparent", kStyleTransparent}, {"nodraw", kStyleNoDraw},       {"onoff", kStyleOnOff},
        {"push", kStylePush},               {"immediate", kStyleImmediate}, {"toggle", kStyleToggle},
        {"vertical", kStyleVertical},
    };
    uint32_t style = 0;
    for (;;) {
        size_t bar = text.find('|');
        std::string_view word = trim(text.substr(0, bar));
        for (const auto& [name, flag] : kWords)
            if (word == name) style |= flag;
        if (bar == std::string_view::npos) return style;
        text.remove_prefix(bar + 1);
    }
}

bool SkinParser::parse(std::string_view xml, SkinModel& out, std::string& error) {
    out = SkinModel{};
    pugi::xml_document document;
    pugi::xml_parse_result parsed =
        document.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed)
        return fail(error, std::string("XML: ") + parsed.description() + " at byte " + std::to_string(parsed.offset));
    pugi::xml_node skin = document.child("skin");
    if (!skin) return fail(error, "no <skin> root element");
    for (pugi::xml_node node : skin.children()) {
        const std::string tag = node.name();
        if (tag == "resources" && !readResources(node, out, error)) return false;
        if (tag == "scheme" && !readScheme(node, out, error)) return false;
        if (tag == "template") {
            std::string name;
            if (!required(node, "name", name, error)) return false;
            out.templates.emplace_back();
            if (!readElement(node, out.templates.back(), error)) return false;
        }
    }
    return true;
}

} // namespace NivoloHost
