#include "host/view/SkinService.h"

#include <algorithm>
#include <cstring>

#include "host/view/EditorView.h"
#include "host/view/FontFaces.h"
#include "host/view/ModuleResourceReader.h"
#include "host/view/TemplateBuilder.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/TextUtf16.h"

namespace NivoloHost {

using namespace Zel;

namespace {
tresult copyText(const std::string& text, char* buffer, int32_t size) {
    if (!buffer || size < 1) return kInvalidArgument;
    size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return kResultOk;
}
} // namespace

tresult SkinService::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<ISkinResource>(asked, this, obj) || answerInterface<IColorGroupInformation>(asked, this, obj) ||
        answerInterface<FUnknown>(asked, static_cast<ISkinResource*>(this), obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

void SkinService::store(void* handle, std::string fileName, std::shared_ptr<const Skin> skin) {
    lastRegistered_ = handle;
    for (Registration& r : skins_)
        if (r.handle == handle) {
            r.fileName = std::move(fileName);
            r.skin = std::move(skin);
            return;
        }
    skins_.push_back(Registration{handle, std::move(fileName), std::move(skin)});
}

std::shared_ptr<const Skin> SkinService::readModuleSkin(void* handle, const std::string& fileName) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ModuleResourceReader::read(handle, fileName, kResourceType, bytes, error)) {
        lastError_ = error;
        return nullptr;
    }
    std::shared_ptr<const Skin> skin = Skin::load(bytes.data(), bytes.size(), error);
    if (!skin) lastError_ = fileName + ": " + error;
    return skin;
}

tresult SkinService::registerSkin(void* moduleHandle, const char16_t* fileName) {
    if (!moduleHandle || !fileName || !*fileName) return kInvalidArgument;
    char name[512];
    utf16ToUtf8(fileName, utf16Length(fileName, 511), name, sizeof name);
    std::shared_ptr<const Skin> skin = readModuleSkin(moduleHandle, name);
    if (!skin) return kResultFalse;
    store(moduleHandle, name, std::move(skin));
    lastError_.clear();
    return kResultOk;
}

bool SkinService::registerSkinData(void* key, const uint8_t* data, size_t size) {
    std::string error;
    std::shared_ptr<const Skin> skin = Skin::load(data, size, error);
    if (!skin) {
        lastError_ = error;
        return false;
    }
    store(key, {}, std::move(skin));
    lastError_.clear();
    return true;
}

tresult SkinService::unregisterSkin(void* moduleHandle) {
    size_t removed = std::erase_if(skins_, [&](const Registration& r) { return r.handle == moduleHandle; });
    if (!removed) return kResultFalse;
    if (groupsOwner_ == moduleHandle) {
        groups_.reset();
        groupsOwner_ = nullptr;
    }
    if (lastRegistered_ == moduleHandle) lastRegistered_ = nullptr;
    return kResultOk;
}

tresult SkinService::reload() {
    bool all = true;
    for (Registration& r : skins_) {
        if (r.fileName.empty()) continue; // nothing to read again
        if (std::shared_ptr<const Skin> skin = readModuleSkin(r.handle, r.fileName))
            r.skin = std::move(skin);
        else
            all = false;
    }
    return all ? kResultOk : kResultFalse;
}

tresult SkinService::getBitmap(const char* name, FUnknown** bitmap) {
    if (!name || !bitmap) return kInvalidArgument;
    *bitmap = nullptr;
    for (const Registration& r : skins_)
        if (Bitmap* found = r.skin->bitmap(name)) {
            found->AddRef();
            *bitmap = static_cast<IBitmapSize*>(found);
            return kResultOk;
        }
    return kResultFalse;
}

tresult SkinService::getColour(const char* name, ColourArgb* colour) {
    if (!name || !colour) return kInvalidArgument;
    for (const Registration& r : skins_)
        if (r.skin->colour(name, *colour)) return kResultOk;
    return kResultFalse;
}

int32_t SkinService::templateCount() {
    size_t count = 0;
    for (const Registration& r : skins_) count += r.skin->model().templates.size();
    return static_cast<int32_t>(count);
}

tresult SkinService::templateName(int32_t index, char* buffer, int32_t size) {
    if (index < 0) return kInvalidArgument;
    for (const Registration& r : skins_) {
        const auto& templates = r.skin->model().templates;
        if (static_cast<size_t>(index) < templates.size())
            return copyText(templates[static_cast<size_t>(index)].attributeOr("name"), buffer, size);
        index -= static_cast<int32_t>(templates.size());
    }
    return kResultFalse;
}

const SkinElement* SkinService::findTemplate(const char* name, std::shared_ptr<const Skin>* skin) const {
    if (!name) return nullptr;
    for (const Registration& r : skins_)
        if (const SkinElement* templ = r.skin->model().findTemplate(name)) {
            if (skin) *skin = r.skin;
            return templ;
        }
    return nullptr;
}

tresult SkinService::hasTemplate(const char* name) { return findTemplate(name) ? kResultTrue : kResultFalse; }

tresult SkinService::templateSize(const char* name, ViewRect* size) {
    if (!size) return kInvalidArgument;
    const SkinElement* templ = findTemplate(name);
    if (!templ) return kResultFalse;
    *size = Skin::templateSize(*templ);
    return kResultOk;
}

tresult SkinService::getFontFace(const char* name, char* buffer, int32_t size) {
    return copyText(FontFaces::resolve(name ? name : ""), buffer, size);
}

tresult SkinService::createView(const char* templateName, IPlugController* controller, IPlugView** view) {
    if (!templateName || !view) return kInvalidArgument;
    *view = nullptr;
    std::shared_ptr<const Skin> skin;
    const SkinElement* templ = findTemplate(templateName, &skin);
    if (!templ) {
        lastError_ = "no registered skin has a template \"" + std::string(templateName) + "\"";
        return kResultFalse;
    }
    TemplateBuilder builder(*skin, controller);
    EditorElement root = builder.build(*templ);
    *view = new EditorView(skin, templateName, controller, std::move(root), builder.unresolved());
    return kResultOk;
}

tresult SkinService::assign(IColorGroupInformation* groups) {
    // Taking our own groups would keep this service alive for ever.
    if (identityOf(groups) == identityOf(static_cast<ISkinResource*>(this))) return kInvalidArgument;
    groups_ = groups;
    groupsOwner_ = groups ? lastRegistered_ : nullptr;
    return kResultOk;
}

tresult SkinService::groupCount(int32_t* count) {
    if (!count) return kInvalidArgument;
    *count = 0;
    if (groups_) groups_->groupCount(count);
    return *count > 0 ? kResultOk : kResultFalse;
}

tresult SkinService::groupAt(int32_t index, FUnknown** transform) {
    if (!transform) return kInvalidArgument;
    *transform = nullptr;
    return groups_ ? groups_->groupAt(index, transform) : kResultFalse;
}

} // namespace NivoloHost
