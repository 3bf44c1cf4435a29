#pragma once
// Shared by the view framework's tests: the module's skin file and handle,
// skin bitmaps, a stand-in controller that binds the skin's names to framework
// controls, a stand-in module view, and pixel arithmetic for checking renders.

#include <cairo.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/view/Bitmap.h"
#include "host/view/SkinService.h"
#include "host/view/ViewFramework.h"
#include "interfaces/IControl.h"
#include "interfaces/IControlValueTextHook.h"
#include "interfaces/IDrawContext.h"
#include "interfaces/IHostView.h"
#include "interfaces/IHostViewClient.h"
#include "interfaces/IHostViewMouseEvent.h"
#include "interfaces/IPlugController.h"
#include "interfaces/IPtr.h"
#include "interfaces/IValueStringRepresentation.h"
#include "interfaces/IStringValue.h"
#include "interfaces/IViewBuilder.h"
#include "interfaces/IViewDescription.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/RefCount.h"
#include "tools/hrf/HrfFile.h"

namespace HostViewTest {

using namespace Zel;

// The packed skin the build links into the module, beside it.
inline std::string skinFilePath() {
    std::string module = NIVOLO_MODULE_PATH;
    return module.substr(0, module.rfind('/')) + "/nivolo.hrf";
}

inline std::vector<uint8_t> readSkinFile() {
    std::vector<uint8_t> bytes;
    std::string error;
    Hrf::loadFile(skinFilePath(), bytes, error);
    return bytes;
}

// One entry of the skin file, unpacked by the resource file reader.
inline std::vector<uint8_t> skinEntry(const std::string& name) {
    std::vector<uint8_t> file = readSkinFile(), out;
    Hrf::Directory directory;
    std::string error;
    if (!Hrf::readDirectory(file.data(), file.size(), directory, error)) return out;
    if (const Hrf::Entry* entry = Hrf::findEntry(directory, name)) Hrf::unpackEntry(file.data(), file.size(), *entry, out, error);
    return out;
}

// An object's reference count as seen through its own AddRef/Release.
inline uint32_t references(FUnknown* object) {
    object->AddRef();
    return object->Release();
}

// A bitmap of the registered skins; null when there is none of that name.
inline IPtr<NivoloHost::Bitmap> bitmapOf(NivoloHost::SkinService& skins, const char* name) {
    FUnknown* out = nullptr;
    if (skins.getBitmap(name, &out) != kResultOk) return {};
    auto held = IPtr<FUnknown>::adopt(out);
    return queryInterface<NivoloHost::Bitmap>(out);
}

// The module, loaded but not initialised: its handle is its load base.
class LoadedModule {
public:
    LoadedModule() {
        library_ = dlopen(NIVOLO_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!library_) return;
        Dl_info info{};
        if (void* entry = dlsym(library_, "GetPluginFactory"); entry && dladdr(entry, &info)) handle_ = info.dli_fbase;
    }
    ~LoadedModule() {
        if (library_) dlclose(library_);
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    void* handle() const { return handle_; }

private:
    void* library_ = nullptr;
    void* handle_ = nullptr;
};

// ---- pixels ----------------------------------------------------------------------

inline uint32_t pixelAt(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    uint32_t value;
    std::memcpy(&value,
                cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface) + x * 4,
                sizeof value);
    return value;
}

inline int channelOf(uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); }

// Premultiplied "source over destination", per channel.
inline uint32_t over(uint32_t source, uint32_t destination) {
    const int inverse = 255 - channelOf(source, 24);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int value = channelOf(source, shift) + (channelOf(destination, shift) * inverse + 127) / 255;
        out |= static_cast<uint32_t>(std::min(value, 255)) << shift;
    }
    return out;
}

// Channels differ by at most tolerance (rounding of the compositor).
inline bool near(uint32_t a, uint32_t b, int tolerance = 1) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(channelOf(a, shift) - channelOf(b, shift)) > tolerance) return false;
    return true;
}

inline int countPixels(cairo_surface_t* surface, const ViewRect& r, uint32_t colour) {
    int count = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) count += pixelAt(surface, x, y) == colour;
    return count;
}

// ---- stand-in module view ------------------------------------------------------------

// Fills its whole area (and beyond, to show the clipping) and paints a named
// skin bitmap's lower half, as a meter would.
class StandInView final : public IHostViewClient, public IHostViewMouseEvent {
public:
    static constexpr ColourArgb kFill = 0xFF204080u;

    StandInView(NivoloHost::ViewFramework& framework, const char* bitmapName) {
        FUnknown* bitmap = nullptr;
        framework.skins().getBitmap(bitmapName, &bitmap);
        bitmap_ = IPtr<FUnknown>::adopt(bitmap);
    }

    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<IHostViewClient>(asked, this, obj) || answerInterface<IHostViewMouseEvent>(asked, this, obj) ||
            answerInterface<FUnknown>(asked, static_cast<IHostViewClient*>(this), obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult draw(IDrawContext* context, const ViewRect* dirty) override {
        ++draws;
        lastDirty = *dirty;
        context->setFillColour(kFill);
        ViewRect beyond{-50, -50, dirty->right + 50, dirty->bottom + 50};
        context->fillRect(&beyond);
        ViewRect lower{0, dirty->height() / 2, dirty->width(), dirty->height()};
        context->drawBitmapSection(bitmap_.get(), &lower, &lower);
        return kResultOk;
    }
    tresult sizeChanged(const ViewRect*) override { return kResultOk; }
    tresult onMouseDown(const ViewPoint* where, int32_t) override {
        downs.push_back(*where);
        return kResultOk;
    }
    tresult onMouseUp(const ViewPoint*, int32_t) override { return kResultOk; }
    tresult onMouseMoved(const ViewPoint*, int32_t) override { return kResultFalse; }

    int draws = 0;
    ViewRect lastDirty;
    std::vector<ViewPoint> downs;
    static inline int alive = 0;
    StandInView(const StandInView&) = delete;
    virtual ~StandInView() { --alive; }

private:
    struct Counter {
        Counter() { ++alive; }
    } counter_;
    RefCount refCount_;
    IPtr<FUnknown> bitmap_;
};

// ---- stand-in controller ---------------------------------------------------------------

// The skin's names with the kinds the meter's controller gives them; the
// display texts are text controls the test fills in, except "loudnessM",
// whose text comes from this controller's value-text hook ("%.1f").
class StandInController final : public IPlugController, public IPlugController4, public IViewBuilder,
                          public IValueStringRepresentation {
public:
    struct Change {
        std::string name;
        int32_t tag;
        float normalised;
    };

    virtual ~StandInController() = default;
    explicit StandInController(NivoloHost::ViewFramework& framework) : framework_(framework) {
        const char* texts[] = {"loudnessI", "loudnessS", "loudnessMMax", "loudnessSTMax", "loudnessRange", "truePeak",
                               "time"};
        for (const char* name : texts) add(name, TextControl_cid);
        for (const char* name : {"loudnessIOver", "truePeakOver", "about", "scaleModeLoudness"})
            add(name, IntegerControl_cid);
        for (const char* name : {"resetLoudness", "resetLoudnessMMax", "resetTruePeak"}) add(name, SwitchControl_cid);
        add("LoudnessSIndicator", ContinuousControl_cid);
        IControl* momentary = add("loudnessM", ContinuousControl_cid);
        momentary->setRealMin(-80.0f);
        momentary->setRealMax(20.0f);
        if (IPtr<IControlValueTextHook> hook = queryInterface<IControlValueTextHook>(momentary))
            hook->setValueStringRepresentation(this);
    }

    IControl* control(const std::string& name) { return controls_.at(name).get(); }
    void setText(const std::string& name, const char16_t* text) { control(name)->setText(text, 0); }

    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<IPlugController>(asked, this, obj) || answerInterface<IPlugController4>(asked, this, obj) ||
            answerInterface<IViewBuilder>(asked, this, obj) || answerInterface<IValueStringRepresentation>(asked, this, obj) ||
            answerInterface<FUnknown>(asked, static_cast<IPlugController*>(this), obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult findControl(const char* name, IControl** control) override {
        asked.insert(name);
        auto it = controls_.find(name);
        if (it == controls_.end()) return kResultFalse;
        it->second->AddRef();
        *control = it->second.get();
        return kResultOk;
    }
    tresult controlChanged(IControl* control, int32_t tag) override {
        std::string name;
        for (auto& [n, c] : controls_)
            if (c.get() == control) name = n;
        changes.push_back(Change{name, tag, control->getNormalized()});
        return kResultOk;
    }
    tresult beginGesture(IControl*) override {
        gestures += "[";
        return kResultOk;
    }
    tresult endGesture(IControl*) override {
        gestures += "]";
        return kResultOk;
    }

    tresult createView(const char* name, const ViewRect* rect, FUnknown** view) override {
        viewsAsked.push_back(name);
        viewRects.push_back(*rect);
        IPtr<IViewDescription> description = queryInterface<IViewDescription>(*view);
        char value[64] = {};
        if (description && description->getAttribute("meter-orientation", value, sizeof value) == kResultOk)
            orientation = value;
        if (description && description->getAttribute("meter-name-fore", value, sizeof value) == kResultOk)
            foreName = value;
        if (std::string(name) != "loudnessMView") return kResultOk;
        void* made = nullptr;
        if (framework_.createInstance(IHostView_iid, &made, nullptr) != kResultOk) return kResultOk;
        auto* hostView = static_cast<IHostView*>(made);
        auto* client = new StandInView(framework_, foreName.c_str());
        meterView = client;
        hostView->setClient(client);
        client->Release(); // the host view keeps it
        *view = hostView;
        return kResultOk;
    }

    tresult valueToText(IControl* control, IStringValue* text) override {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.1f", static_cast<double>(control->getRealValue()));
        char16_t wide[32] = {};
        for (size_t i = 0; buffer[i]; ++i) wide[i] = static_cast<char16_t>(buffer[i]);
        return text->setText(wide);
    }
    tresult textToValue(IControl*, const char16_t*) override { return kResultFalse; }

    std::set<std::string> asked;
    std::vector<Change> changes;
    std::string gestures;
    std::vector<std::string> viewsAsked;
    std::vector<ViewRect> viewRects;
    std::string orientation;
    std::string foreName;
    StandInView* meterView = nullptr; // owned by its host view

private:
    IControl* add(const char* name, const TUID& classId) {
        void* made = nullptr;
        framework_.createInstance(classId, &made, nullptr);
        auto control = IPtr<IControl>::adopt(static_cast<IControl*>(made));
        control->setListener(this, static_cast<int32_t>(controls_.size()));
        return (controls_[name] = control).get();
    }

    RefCount refCount_;
    NivoloHost::ViewFramework& framework_;
    std::map<std::string, IPtr<IControl>> controls_;
};

} // namespace HostViewTest
