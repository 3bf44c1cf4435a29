#include "host/view/FontFaces.h"

#include <algorithm>
#include <utility>

namespace NivoloHost {

namespace {
bool sameFace(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}
} // namespace

std::string FontFaces::resolve(std::string_view face) {
    static constexpr std::pair<std::string_view, std::string_view> kCounterparts[] = {
        {"Arial", "Liberation Sans"},
        {"Helvetica", "Liberation Sans"},
        {"Arial Narrow", "Liberation Sans Narrow"},
        {"Times New Roman", "Liberation Serif"},
        {"Courier New", "Liberation Mono"},
    };
    if (face.empty()) return std::string(kDefaultFace);
    for (const auto& [name, counterpart] : kCounterparts)
        if (sameFace(face, name)) return std::string(counterpart);
    return std::string(face);
}

} // namespace NivoloHost
