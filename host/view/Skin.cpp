#include "host/view/Skin.h"

#include <algorithm>

#include "host/view/ImageDecoder.h"
#include "host/view/SkinParser.h"
#include "tools/hrf/HrfFile.h"

namespace NivoloHost {

using namespace Zel;

namespace {

bool fail(std::string& error, std::string message) {
    error = std::move(message);
    return false;
}

bool unpack(const uint8_t* data, size_t size, const Hrf::Directory& directory, std::string_view name,
            std::vector<uint8_t>& out, std::string& error) {
    const Hrf::Entry* entry = Hrf::findEntry(directory, name);
    if (!entry) return fail(error, "the resource file has no entry " + SkinParser::quoted(name));
    std::string reason;
    if (!Hrf::unpackEntry(data, size, *entry, out, reason))
        return fail(error, "entry " + SkinParser::quoted(entry->name) + ": " + reason);
    return true;
}

void extend(const SkinElement& element, ViewRect& extent) {
    if (element.hasRect) {
        extent.right = std::max(extent.right, element.rect.right);
        extent.bottom = std::max(extent.bottom, element.rect.bottom);
    }
    for (const SkinElement& child : element.children) extend(child, extent);
}

} // namespace

std::shared_ptr<Skin> Skin::load(const uint8_t* data, size_t size, std::string& error) {
    auto skin = std::make_shared<Skin>();
    Hrf::Directory directory;
    std::string reason;
    if (!Hrf::readDirectory(data, size, directory, reason)) {
        error = "resource file: " + reason;
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    if (!unpack(data, size, directory, kDescriptionEntry, bytes, error)) return nullptr;
    std::string_view xml(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!SkinParser::parse(xml, skin->model_, error)) return nullptr;

    for (const SkinBitmap& def : skin->model_.bitmaps) {
        if (skin->bitmap(def.name)) {
            error = "skin: bitmap " + SkinParser::quoted(def.name) + " is named twice";
            return nullptr;
        }
        if (!unpack(data, size, directory, def.path, bytes, error)) return nullptr;
        cairo_surface_t* surface = ImageDecoder::decode(bytes.data(), bytes.size(), reason);
        if (!surface) {
            error = "bitmap " + SkinParser::quoted(def.name) + " (" + SkinParser::quoted(def.path) + "): " + reason;
            return nullptr;
        }
        skin->bitmaps_.push_back(IPtr<Bitmap>::adopt(new Bitmap(def.name, surface, def.alpha)));
    }
    for (const SkinSection& def : skin->model_.sections) {
        const Bitmap* source = skin->bitmap(def.source);
        if (!source) {
            error = "section " + SkinParser::quoted(def.name) + ": no bitmap " + SkinParser::quoted(def.source);
            return nullptr;
        }
        if (skin->bitmap(def.name)) {
            error = "skin: bitmap " + SkinParser::quoted(def.name) + " is named twice";
            return nullptr;
        }
        const ViewRect& r = def.rect;
        if (r.left < 0 || r.top < 0 || r.right > source->width() || r.bottom > source->height()) {
            error = "section " + SkinParser::quoted(def.name) + " reaches outside " + SkinParser::quoted(def.source) + " (" +
                    std::to_string(source->width()) + " x " + std::to_string(source->height()) + ")";
            return nullptr;
        }
        skin->bitmaps_.push_back(IPtr<Bitmap>::adopt(new Bitmap(def.name, *source, r)));
    }
    return skin;
}

Bitmap* Skin::bitmap(std::string_view name) const {
    for (const IPtr<Bitmap>& b : bitmaps_)
        if (b->name() == name) return b.get();
    return nullptr;
}

ViewRect Skin::templateSize(const SkinElement& templ) {
    if (templ.hasRect) return ViewRect{0, 0, templ.rect.width(), templ.rect.height()};
    ViewRect extent;
    extend(templ, extent);
    return extent;
}

} // namespace NivoloHost
