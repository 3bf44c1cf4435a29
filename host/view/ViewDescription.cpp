#include "host/view/ViewDescription.h"

#include <algorithm>
#include <cstring>

#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

namespace {
const std::string* lookUp(const std::vector<std::pair<std::string, std::string>>& list, const char* key) {
    for (const auto& [name, value] : list)
        if (name == key) return &value;
    return nullptr;
}
} // namespace

ViewDescription::ViewDescription(const SkinElement& element) : attributes_(element.attributes), rect_(element.rect) {
    for (const SkinElement& child : element.children)
        if (child.tag == "property")
            if (const std::string* name = child.attribute("name"))
                properties_.emplace_back(*name, child.attributeOr("value"));
}

tresult ViewDescription::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IViewDescription>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult ViewDescription::getAttribute(const char* key, char* buffer, int32_t size) {
    if (!key || !buffer || size < 1) return kInvalidArgument;
    const std::string* value = lookUp(properties_, key);
    if (!value) value = lookUp(attributes_, key);
    if (!value) {
        buffer[0] = 0;
        return kResultFalse;
    }
    size_t n = std::min(value->size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, value->data(), n);
    buffer[n] = 0;
    return kResultOk;
}

tresult ViewDescription::getRect(ViewRect* rect) {
    if (!rect) return kInvalidArgument;
    *rect = rect_;
    return kResultOk;
}

} // namespace NivoloHost
