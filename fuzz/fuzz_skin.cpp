// The host's skin reading, fed what a module's resource could hold: the input
// as the skin description (parsed alone, then registered as the skin.xml of a
// resource file whose bitmaps exist, and every template built for a controller
// that resolves nothing), and the input as a bitmap.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "host/view/BmpDecoder.h"
#include "host/view/ImageDecoder.h"
#include "host/view/Skin.h"
#include "host/view/SkinParser.h"
#include "host/view/SkinService.h"
#include "host/view/TemplateBuilder.h"
#include "interfaces/IPlugController.h"
#include "interfaces/IPlugView.h"
#include "interfaces/IPtr.h"
#include "interfaces/IViewBuilder.h"
#include "interfaces/IViewDescription.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/RefCount.h"
#include "tools/hrf/HrfFile.h"

namespace {

using namespace Zel;
using NivoloHost::Skin;
using NivoloHost::SkinElement;
using NivoloHost::SkinModel;
using NivoloHost::SkinParser;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool oneLine(const std::string& error) { return !error.empty() && error.find('\n') == std::string::npos; }

// Knows no control and makes no view, but reads what a view builder reads.
class NothingController final : public IPlugController, public IViewBuilder {
public:
    NothingController() = default;
    virtual ~NothingController() = default;

    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (!obj) return kInvalidArgument;
        if (answerInterface<IPlugController>(asked, this, obj) || answerInterface<IViewBuilder>(asked, this, obj) ||
            answerInterface<FUnknown>(asked, static_cast<IPlugController*>(this), obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult findControl(const char*, IControl** control) override {
        if (control) *control = nullptr;
        return kResultFalse;
    }
    tresult controlChanged(IControl*, int32_t) override { return kResultOk; }
    tresult createView(const char*, const ViewRect*, FUnknown** view) override {
        if (IPtr<IViewDescription> description = queryInterface<IViewDescription>(view ? *view : nullptr)) {
            char text[128];
            for (const char* key : {"meter-name-fore", "meter-name-back", "meter-orientation", "name", "size"})
                if (description->getAttribute(key, text, sizeof text) == kResultOk) require(std::memchr(text, 0, sizeof text));
            ViewRect rect;
            description->getRect(&rect);
        }
        return kResultOk; // *view left as it was: no view made
    }

private:
    RefCount refCount_;
};

// A bottom-up 24-bit BMP of one colour.
std::vector<uint8_t> bmp(int32_t width, int32_t height) {
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t pixels = stride * static_cast<uint32_t>(height);
    std::vector<uint8_t> out(54 + pixels, 0x40);
    auto put = [&](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    out[0] = 'B', out[1] = 'M';
    put(2, static_cast<uint32_t>(out.size()), 4);
    put(6, 0, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(30, 0, 4);
    put(34, pixels, 4);
    for (size_t at = 38; at < 54; ++at) out[at] = 0;
    return out;
}

// The entries the plug-in's skin names, as small pictures (sections cut from
// the background and the button still fit), so a description that reads
// reaches the template build.
std::vector<Hrf::PackItem> pictures() {
    const struct {
        const char* name;
        int32_t width, height;
    } kEntries[] = {
        {"duravirormeterback.png", 19, 230}, {"duravirormeterfore.png", 19, 230}, {"background.png", 64, 256},
        {"Button.bmp", 57, 40},              {"LU.png", 18, 12},                   {"LUFS.png", 36, 12},
        {"sliderhandler.png", 8, 16},        {"Nivolo About.bmp", 8, 8},
    };
    std::vector<Hrf::PackItem> items;
    for (const auto& e : kEntries) items.push_back({e.name, bmp(e.width, e.height), false});
    return items;
}

void parseDescription(std::string_view xml) {
    SkinModel model;
    std::string error;
    if (!SkinParser::parse(xml, model, error)) require(oneLine(error));
}

void buildTemplates(const uint8_t* data, size_t size) {
    static const std::vector<Hrf::PackItem> kPictures = pictures();
    std::vector<Hrf::PackItem> items = kPictures;
    items.push_back({std::string(Skin::kDescriptionEntry), std::vector<uint8_t>(data, data + size), false});
    std::vector<uint8_t> file;
    std::string error;
    require(Hrf::pack(items, "00112233445566778899AABBCCDDEEFF", file, error));

    auto service = IPtr<NivoloHost::SkinService>::adopt(new NivoloHost::SkinService);
    int key = 0;
    if (!service->registerSkinData(&key, file.data(), file.size())) {
        require(oneLine(service->lastError()));
        return;
    }
    std::shared_ptr<Skin> skin = Skin::load(file.data(), file.size(), error);
    require(skin != nullptr);
    auto controller = IPtr<NothingController>::adopt(new NothingController);
    for (const SkinElement& templ : skin->model().templates) {
        Skin::templateSize(templ);
        NivoloHost::TemplateBuilder builder(*skin, controller.get());
        builder.build(templ);
        // With a controller that knows nothing, every bound name stays unresolved.
        for (const std::string& name : builder.unresolved()) require(!name.empty());
    }
    // The service's own path: by name, through the skin it registered.
    char name[256];
    for (int32_t i = 0; i < service->templateCount(); ++i) {
        if (service->templateName(i, name, sizeof name) != kResultOk) continue;
        IPlugView* view = nullptr;
        if (service->createView(name, controller.get(), &view) == kResultOk && view) view->Release();
    }
    require(service->unregisterSkin(&key) == kResultOk);
}

void decodeBitmap(const uint8_t* data, size_t size) {
    NivoloHost::BmpDecoder::Image image;
    std::string error;
    if (NivoloHost::BmpDecoder::decode(data, size, image, error))
        require(image.width > 0 && image.height > 0 &&
                image.pixels.size() == static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
    else
        require(oneLine(error) && image.pixels.empty());
    // The same bytes as any picture a skin may carry.
    if (cairo_surface_t* surface = NivoloHost::ImageDecoder::decode(data, size, error)) {
        require(cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS);
        cairo_surface_destroy(surface);
    } else {
        require(oneLine(error));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    parseDescription(std::string_view(reinterpret_cast<const char*>(data), size));
    buildTemplates(data, size);
    decodeBitmap(data, size);
    return 0;
}
