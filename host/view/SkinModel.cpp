#include "host/view/SkinModel.h"

namespace NivoloHost {

const std::string* SkinElement::attribute(std::string_view key) const {
    for (const auto& [name, value] : attributes)
        if (name == key) return &value;
    return nullptr;
}

std::string SkinElement::attributeOr(std::string_view key, std::string_view fallback) const {
    const std::string* value = attribute(key);
    return value ? *value : std::string(fallback);
}

const SkinElement* SkinModel::findTemplate(std::string_view name) const {
    for (const SkinElement& t : templates)
        if (const std::string* n = t.attribute("name"); n && *n == name) return &t;
    return nullptr;
}

bool SkinModel::findColour(std::string_view name, Zel::ColourArgb& out) const {
    for (const SkinColour& c : colours)
        if (c.name == name) {
            out = c.value;
            return true;
        }
    return false;
}

} // namespace NivoloHost
