#pragma once
// Stand-ins for the host's view framework, shared by the editor and controller
// tests: just enough of it to drive the module and see what it asked for.

#include <cstdio>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/IBitmapSize.h"
#include "interfaces/IColorGroupInformation.h"
#include "interfaces/IControlExtension.h"
#include "interfaces/IControlPrecision.h"
#include "interfaces/IControlValueTextHook.h"
#include "interfaces/IDependent.h"
#include "interfaces/IDrawContext.h"
#include "interfaces/IHostFramework.h"
#include "interfaces/IHostView.h"
#include "interfaces/IHostViewClient.h"
#include "interfaces/IIdleHandler.h"
#include "interfaces/IIdleService.h"
#include "interfaces/ILevelMapping.h"
#include "interfaces/IMeterBitmaps.h"
#include "interfaces/IMeterSettings.h"
#include "interfaces/IPlugController.h"
#include "interfaces/IPlugView.h"
#include "interfaces/IPtr.h"
#include "interfaces/ISkinResource.h"
#include "interfaces/ITimeService.h"
#include "interfaces/IUpdateHandler.h"
#include "interfaces/IViewDescription.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/RefCount.h"
#include "interfaces/TextUtf16.h"

namespace Zel {

inline bool operator==(const ViewRect& a, const ViewRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline void PrintTo(const ViewRect& r, std::ostream* os) {
    *os << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

} // namespace Zel

namespace Zel::Fakes {

using Log = std::vector<std::string>;

// Reference counting and QueryInterface for a fake implementing the interfaces Is.
template <class First, class... Rest>
class FakeObject : public First, public Rest... {
public:
    FakeObject() = default;
    virtual ~FakeObject() = default;
    FakeObject(const FakeObject&) = delete;
    FakeObject& operator=(const FakeObject&) = delete;

    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (!obj) return kInvalidArgument;
        if (iidEqual(asked, FUnknown_iid)) {
            *obj = static_cast<FUnknown*>(static_cast<First*>(this));
            AddRef();
            return kResultOk;
        }
        if (answerInterface<First>(asked, this, obj) || (answerInterface<Rest>(asked, this, obj) || ...))
            return kResultOk;
        if (answerMore(asked, obj)) return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    int32_t refs() const { return refCount_.value(); }
    FUnknown* unknown() { return static_cast<FUnknown*>(static_cast<First*>(this)); }

protected:
    virtual bool answerMore(const TUID&, void**) { return false; }
    RefCount refCount_;
};

// A service the module only holds.
class PlainService : public FakeObject<FUnknown> {};

class FakeTimeService : public FakeObject<ITimeService> {
public:
    double milliseconds = 0.0;
    void setSeconds(double s) { milliseconds = s * 1000.0; }

    double currentSeconds() override { return milliseconds * 0.001; }
    tresult startTimer(int32_t, int32_t) override { return kResultFalse; }
    tresult stopTimer(int32_t) override { return kResultFalse; }
    tresult isTimerRunning(int32_t) override { return kResultFalse; }
    double timerElapsed(int32_t) override { return 0.0; }
    tresult resetTimer(int32_t) override { return kResultFalse; }
    int32_t timerCount() override { return 0; }
    double resolutionMilliseconds() override { return 1.0; }
    tresult isAudioClock() override { return kResultFalse; }
    double startSeconds() override { return 0.0; }
    double sampleRate() override { return 0.0; }
    double currentMilliseconds() override { return milliseconds; }
};

// Holds one reference to each handler, as the host does, until it is removed.
class FakeIdleService : public FakeObject<IIdleService> {
public:
    ~FakeIdleService() override {
        for (IIdleHandler* handler : handlers) handler->Release();
    }
    int32_t intervalMilliseconds() override { return 30; }
    tresult addIdleHandler(IIdleHandler* handler) override {
        handler->AddRef();
        handlers.push_back(handler);
        return kResultOk;
    }
    tresult removeIdleHandler(IIdleHandler* handler) override {
        if (std::erase(handlers, handler) == 0) return kResultFalse;
        handler->Release();
        return kResultOk;
    }
    void tick() {
        for (IIdleHandler* handler : std::vector<IIdleHandler*>(handlers)) handler->onIdle();
    }
    std::vector<IIdleHandler*> handlers;
};

// Change notification that delivers nothing, for tests that read data objects directly.
class SilentUpdateHandler : public FakeObject<IUpdateHandler> {
public:
    tresult addDependent(FUnknown*, IDependent*) override { return kResultOk; }
    tresult removeDependent(FUnknown*, IDependent*) override { return kResultOk; }
    tresult notifyNow(FUnknown*, int32_t) override { return kResultFalse; }
    tresult notifyLater(FUnknown*, int32_t) override { return kResultOk; }
};

class FakePlugView : public FakeObject<IPlugView> {
public:
    tresult isPlatformTypeSupported(const char*) override { return kResultOk; }
    tresult attached(void*, const char*) override { return kResultOk; }
    tresult removed() override { return kResultOk; }
    tresult onWheel(float) override { return kResultFalse; }
    tresult onKeyDown(char16_t, int16_t, int16_t) override { return kResultFalse; }
    tresult onKeyUp(char16_t, int16_t, int16_t) override { return kResultFalse; }
    tresult getSize(ViewRect*) override { return kResultOk; }
    tresult onSize(ViewRect*) override { return kResultOk; }
    tresult onFocus(uint8_t) override { return kResultFalse; }
    tresult setFrame(FUnknown*) override { return kResultOk; }
    tresult canResize() override { return kResultFalse; }
    tresult checkSizeConstraint(ViewRect*) override { return kResultFalse; }
};

class FakeBitmap : public FakeObject<IBitmapSize> {
public:
    FakeBitmap(std::string bitmapName, int32_t w, int32_t h) : name(std::move(bitmapName)), width(w), height(h) {}
    tresult getSize(double* w, double* h) override {
        *w = width;
        *h = height;
        return kResultOk;
    }
    std::string name;
    int32_t width;
    int32_t height;
};

class FakeSkin : public FakeObject<ISkinResource, IColorGroupInformation> {
public:
    ~FakeSkin() override {
        if (assigned) assigned->Release();
    }
    void addBitmap(const std::string& name, int32_t w, int32_t h) {
        bitmaps[name] = IPtr<FakeBitmap>::adopt(new FakeBitmap(name, w, h));
    }

    tresult getBitmap(const char* name, FUnknown** bitmap) override {
        requestedBitmaps.push_back(name);
        auto it = bitmaps.find(name);
        *bitmap = nullptr;
        if (it == bitmaps.end()) return kResultFalse;
        it->second->AddRef();
        *bitmap = it->second->unknown();
        return kResultOk;
    }
    tresult getColour(const char*, ColourArgb*) override { return kResultFalse; }
    tresult registerSkin(void* handle, const char16_t* fileName) override {
        char name[64];
        utf16ToUtf8(fileName, 64, name, sizeof name);
        registrations.push_back({handle, name});
        return kResultOk;
    }
    tresult unregisterSkin(void* handle) override {
        unregistrations.push_back(handle);
        return kResultOk;
    }
    int32_t templateCount() override { return 0; }
    tresult templateName(int32_t, char*, int32_t) override { return kResultFalse; }
    tresult hasTemplate(const char*) override { return kResultFalse; }
    tresult templateSize(const char*, ViewRect*) override { return kResultFalse; }
    tresult getFontFace(const char*, char*, int32_t) override { return kResultFalse; }
    tresult reload() override { return kResultFalse; }
    tresult createView(const char* templateName, IPlugController* controller, IPlugView** view) override {
        templatesAsked.push_back(templateName);
        viewController = controller;
        *view = new FakePlugView;
        return kResultOk;
    }

    tresult assign(IColorGroupInformation* groups) override {
        if (groups) groups->AddRef();
        if (assigned) assigned->Release();
        assigned = groups;
        return kResultOk;
    }
    tresult groupCount(int32_t* count) override {
        *count = 0;
        return kResultFalse;
    }
    tresult groupAt(int32_t, FUnknown**) override { return kResultFalse; }

    struct Registration {
        void* handle;
        std::string fileName;
    };
    std::vector<Registration> registrations;
    std::vector<void*> unregistrations;
    std::vector<std::string> requestedBitmaps;
    std::map<std::string, IPtr<FakeBitmap>> bitmaps;
    IColorGroupInformation* assigned = nullptr;
    std::vector<std::string> templatesAsked;
    IPlugController* viewController = nullptr;
};

// A host control: holds its value, text, range and flags, reports notified
// changes to its listener as the host's controls do, records the
// configuration calls in order and every tag read into a shared list.
class FakeControl : public FakeObject<IControlExtension, IControlPrecision, IControlValueTextHook> {
public:
    enum class Kind { Integer, Continuous, Switch, Text };

    FakeControl(Log* releaseLog, std::vector<int32_t>* tagReads, Kind kind = Kind::Integer)
        : kind_(kind), releaseLog_(releaseLog), tagReads_(tagReads) {}

    uint32_t Release() override {
        if (releaseLog_) releaseLog_->push_back("control " + std::to_string(tag));
        return FakeObject::Release();
    }

    int32_t getKind() override { return static_cast<int32_t>(kind_); }
    tresult getName(char*, int32_t) override { return kResultFalse; }
    tresult setName(const char*) override { return kResultOk; }
    tresult isEnabled() override { return kResultOk; }
    tresult setEnabled(uint8_t) override { return kResultOk; }
    IPlugController* getListener() override { return listener; }
    tresult setListener(IPlugController* l, int32_t t) override {
        listener = l;
        tag = t;
        calls.push_back("setListener " + std::to_string(t));
        return kResultOk;
    }
    tresult setTag(int32_t t) override {
        tag = t;
        calls.push_back("setTag " + std::to_string(t));
        return kResultOk;
    }
    int32_t getTag() override {
        if (tagReads_) tagReads_->push_back(tag);
        return tag;
    }
    int32_t getIntValue() override { return intValue_; }
    int32_t getIntMin() override { return intMin_; }
    int32_t getIntMax() override { return intMax_; }
    float getRealMin() override { return realMin_; }
    float getRealMax() override { return realMax_; }
    tresult getText(char* buffer, int32_t* size) override {
        if (!buffer || !size || *size <= 0) return kInvalidArgument;
        *size = static_cast<int32_t>(utf16ToUtf8(text_.c_str(), text_.size(), buffer, static_cast<size_t>(*size)));
        return kResultOk;
    }
    tresult setText(const char16_t* text, int32_t) override {
        text_ = text ? std::u16string(text) : std::u16string();
        char buffer[128];
        utf16ToUtf8(text_.c_str(), text_.size(), buffer, sizeof buffer);
        calls.push_back("setText '" + std::string(buffer) + "'");
        return kResultOk;
    }
    tresult setIntValue(int32_t v, uint8_t notify) override {
        intValue_ = v;
        record("setIntValue", v, notify);
        return changed(notify);
    }
    tresult setIntMin(int32_t v) override { return record("setIntMin", intMin_ = v); }
    tresult setIntMax(int32_t v) override { return record("setIntMax", intMax_ = v); }
    float getRealValue() override { return realValue_; }
    tresult setRealValue(float v, uint8_t notify) override {
        realValue_ = v;
        record("setRealValue", v, notify);
        return changed(notify);
    }
    float getDefaultNormalized() override { return 0; }
    tresult update() override { return kResultOk; }
    tresult setRealMin(float v) override { return record("setRealMin", realMin_ = v); }
    tresult setRealMax(float v) override { return record("setRealMax", realMax_ = v); }
    // Integer and switch controls count in whole steps over their range.
    float getNormalized() override {
        if (kind_ == Kind::Continuous)
            return realMax_ == realMin_ ? 0.0f : (realValue_ - realMin_) / (realMax_ - realMin_);
        const int32_t max = kind_ == Kind::Switch ? 1 : intMax_;
        const int32_t min = kind_ == Kind::Switch ? 0 : intMin_;
        return max == min ? 0.0f : static_cast<float>(intValue_ - min) / static_cast<float>(max - min);
    }
    tresult setNormalized(float value, uint8_t notify) override {
        if (kind_ == Kind::Continuous) {
            realValue_ = realMin_ + value * (realMax_ - realMin_);
        } else {
            const int32_t max = kind_ == Kind::Switch ? 1 : intMax_;
            const int32_t min = kind_ == Kind::Switch ? 0 : intMin_;
            intValue_ = min + static_cast<int32_t>(value * static_cast<float>(max - min) + 0.5f);
        }
        return changed(notify);
    }
    float getDefaultValue() override { return 0; }
    int32_t getFlags() override { return 0; }
    tresult setDefaultValue(float v) override { return record("setDefaultValue", v); }
    tresult resetToDefault(uint8_t) override { return kResultOk; }
    tresult hasFlag(int32_t) override { return kResultFalse; }
    tresult setFlag(int32_t flag, uint8_t on) override { return record("setFlag", flag, on); }
    tresult setPrecision(int32_t digits) override { return record("setPrecision", digits); }
    int32_t getPrecision() override { return 0; }
    tresult setValueStringRepresentation(IValueStringRepresentation* r) override {
        representation = r;
        return kResultOk;
    }

    const std::u16string& text() const { return text_; }

    int32_t tag = 0;
    IPlugController* listener = nullptr;
    IValueStringRepresentation* representation = nullptr;
    std::vector<std::string> calls;

protected:
    bool answerMore(const TUID& asked, void** obj) override {
        return answerInterface<IControl>(asked, static_cast<IControlExtension*>(this), obj);
    }

private:
    tresult changed(uint8_t notify) {
        if (notify && listener) listener->controlChanged(static_cast<IControlExtension*>(this), tag);
        return kResultOk;
    }
    template <class V>
    tresult record(const char* what, V v) {
        calls.push_back(std::string(what) + " " + number(v));
        return kResultOk;
    }
    template <class V>
    tresult record(const char* what, V v, int32_t extra) {
        calls.push_back(std::string(what) + " " + number(v) + " " + std::to_string(extra));
        return kResultOk;
    }
    static std::string number(int32_t v) { return std::to_string(v); }
    static std::string number(float v) {
        char b[32];
        std::snprintf(b, sizeof b, "%g", static_cast<double>(v));
        return b;
    }

    Kind kind_;
    int32_t intValue_ = 0, intMin_ = 0, intMax_ = 0;
    float realValue_ = 0.0f, realMin_ = 0.0f, realMax_ = 1.0f;
    std::u16string text_;
    Log* releaseLog_;
    std::vector<int32_t>* tagReads_;
};

// A controller as the controls see it; never called in these tests.
class FakeListener : public FakeObject<IPlugController> {
public:
    tresult findControl(const char*, IControl**) override { return kResultFalse; }
    tresult controlChanged(IControl*, int32_t) override { return kResultOk; }
};

class FakeHostView : public FakeObject<IHostView> {
public:
    ~FakeHostView() override {
        if (client) client->Release();
    }
    tresult setClient(IHostViewClient* c) override {
        if (c) c->AddRef();
        if (client) client->Release();
        client = c;
        return kResultOk;
    }
    tresult getRect(ViewRect*) override { return kResultFalse; }
    tresult invalidate(const ViewRect*) override {
        ++invalidations;
        return kResultOk;
    }
    tresult getVisible(int32_t* visible) override {
        *visible = 1;
        return kResultOk;
    }
    tresult getScale(double* x, double* y) override {
        *x = 2.0;
        *y = 2.0;
        return kResultOk;
    }

    IHostViewClient* client = nullptr;
    int invalidations = 0;
};

class FakeMeterSettings : public FakeObject<IMeterSettings> {
public:
#define FAKE_RESERVED(n) \
    tresult reserved##n() override { return kResultFalse; }
    FAKE_RESERVED(4) FAKE_RESERVED(5) FAKE_RESERVED(6) FAKE_RESERVED(7) FAKE_RESERVED(8) FAKE_RESERVED(9)
    FAKE_RESERVED(10) FAKE_RESERVED(11) FAKE_RESERVED(12) FAKE_RESERVED(13) FAKE_RESERVED(14) FAKE_RESERVED(15)
    FAKE_RESERVED(16) FAKE_RESERVED(17) FAKE_RESERVED(18) FAKE_RESERVED(19) FAKE_RESERVED(20) FAKE_RESERVED(21)
    FAKE_RESERVED(22) FAKE_RESERVED(23) FAKE_RESERVED(24) FAKE_RESERVED(25) FAKE_RESERVED(26) FAKE_RESERVED(27)
    FAKE_RESERVED(28) FAKE_RESERVED(30) FAKE_RESERVED(32)
#undef FAKE_RESERVED
    double releaseValue(double, double, int32_t) override { return release; }
    double holdReleaseValue(double, double, int32_t) override { return holdRelease; }
    double holdTime(int32_t) override { return hold; }

    double release = 0.75;     // a release rate of 0.25 per second
    double holdRelease = 0.5;  // 0.5 per second
    double hold = 1.5;         // seconds
};

// Maps an amplitude to half of it, so its use is plain to see.
class FakeLevelMapping : public FakeObject<ILevelMapping> {
public:
    int32_t scaleCount() override { return 1; }
    tresult scaleName(int32_t, char*, int32_t) override { return kResultFalse; }
    tresult mapValue(double* value, int32_t meterType) override {
        meterTypes.push_back(meterType);
        *value *= 0.5;
        return kResultOk;
    }
    std::vector<int32_t> meterTypes;
};

class FakeMeterBitmaps : public FakeObject<IMeterBitmaps> {
public:
    FUnknown* foreBitmap(const ViewRect* rect, int32_t meterType, int32_t, uint8_t horizontal) override {
        foreRequests.push_back({meterType, horizontal});
        return (new FakeBitmap("host fore " + std::to_string(foreRequests.size()), rect->width(), rect->height()))
            ->unknown();
    }
    FUnknown* backBitmap(const ViewRect* rect, int32_t, uint8_t) override {
        return (new FakeBitmap("host back", rect->width(), rect->height()))->unknown();
    }
    struct Request {
        int32_t meterType;
        uint8_t horizontal;
    };
    std::vector<Request> foreRequests;
};

class FakeMeterViewRegistry : public FakeObject<IMeterViewRegistry> {
public:
    tresult addMeterView(IMeterBitmaps*, FUnknown* view) override {
        views.push_back(view);
        return kResultOk;
    }
    tresult removeMeterView(IMeterBitmaps*, FUnknown* view) override {
        std::erase(views, view);
        ++removals;
        return kResultOk;
    }
    std::vector<FUnknown*> views;
    int removals = 0;
};

class FakeViewDescription : public FakeObject<IViewDescription> {
public:
    tresult getAttribute(const char* key, char* buffer, int32_t size) override {
        auto it = attributes.find(key);
        if (it == attributes.end()) return kResultFalse;
        std::snprintf(buffer, static_cast<size_t>(size), "%s", it->second.c_str());
        return kResultOk;
    }
    tresult getRect(ViewRect* rect) override {
        *rect = ViewRect{};
        return kResultOk;
    }
    std::map<std::string, std::string> attributes;
};

// Everything a view drew, in order.
class FakeDrawContext : public FakeObject<IDrawContext> {
public:
    struct Call {
        std::string op;
        ViewRect source{};
        ViewRect destination{};
        ViewPoint from{};
        ViewPoint to{};
        ColourArgb colour = 0;
        int32_t width = 0;
        std::string text = {};
        FUnknown* bitmap = nullptr;
    };

    tresult setLineColour(ColourArgb colour, int32_t width, double) override {
        return add({.op = "lineColour", .colour = colour, .width = width});
    }
    tresult setFillColour(ColourArgb) override { return kResultOk; }
    tresult setFont(const char* face, int32_t size, int32_t, double) override {
        return add({.op = "font", .width = size, .text = face});
    }
    int32_t fontHeight() override { return 9; }
    tresult setTextColour(ColourArgb colour) override { return add({.op = "textColour", .colour = colour}); }
    tresult drawLine(ViewPoint from, ViewPoint to) override { return add({.op = "line", .from = from, .to = to}); }
    tresult drawRect(const ViewRect*) override { return kResultOk; }
    tresult fillRect(const ViewRect*) override { return kResultOk; }
    tresult drawEllipse(const ViewRect*) override { return kResultOk; }
    int32_t stringWidth(const char*) override { return 0; }
    tresult drawString(const char* text, const ViewRect* rect) override {
        return add({.op = "string", .destination = *rect, .text = text});
    }
    tresult drawStringAligned(const char*, const ViewRect*, int32_t) override { return kResultOk; }
    tresult drawBitmapSection(FUnknown* bitmap, const ViewRect* source, const ViewRect* destination) override {
        return add({.op = "bitmap", .source = *source, .destination = *destination, .bitmap = bitmap});
    }

    std::vector<Call> calls;

private:
    tresult add(Call call) {
        calls.push_back(std::move(call));
        return kResultOk;
    }
};

// The framework root; also serves as the host context (it answers the root's
// interface). Services can be left out one by one.
class FakeRoot : public FakeObject<IHostFramework> {
public:
    FakeRoot() {
        for (auto& service : required) service = IPtr<PlainService>::adopt(new PlainService);
        optional = IPtr<PlainService>::adopt(new PlainService);
    }

    tresult createInstance(const TUID& id, void** obj, FUnknown*) override {
        *obj = nullptr;
        ++requests[tuidToRegistry(id)];
        static const TUID* const kRequired[4] = {&RequiredService1_cid, &RequiredService2_cid, &RequiredService3_cid,
                                                 &RequiredService4_cid};
        for (int i = 0; i < 4; ++i)
            if (iidEqual(id, *kRequired[i])) return hand<FUnknown>(required[i].get(), obj);
        if (iidEqual(id, OptionalService_cid)) return hand<FUnknown>(optional.get(), obj);
        if (iidEqual(id, ITimeService_iid)) return hand<ITimeService>(time.get(), obj);
        if (iidEqual(id, IUpdateHandler_iid)) return hand<IUpdateHandler>(updateHandler, obj);
        if (iidEqual(id, ISkinResource_iid)) return hand<ISkinResource>(skin.get(), obj);
        if (iidEqual(id, IIdleService_iid)) return hand<IIdleService>(idle.get(), obj);
        if (iidEqual(id, IMeterSettings_iid)) return hand<IMeterSettings>(meterSettings.get(), obj);
        if (iidEqual(id, ILevelMapping_iid)) return hand<ILevelMapping>(levelMapping.get(), obj);
        if (iidEqual(id, IMeterBitmaps_iid)) return hand<IMeterBitmaps>(meterBitmaps.get(), obj);
        if (iidEqual(id, IMeterViewRegistry_iid)) return hand<IMeterViewRegistry>(meterViewRegistry.get(), obj);
        if (iidEqual(id, IColorGroupInformation_iid)) return hand<IColorGroupInformation>(colourGroups, obj);
        if (iidEqual(id, IHostView_iid)) {
            auto* view = new FakeHostView;
            hostViews.push_back(view); // not referenced: a test looks, the module owns it
            *obj = static_cast<IHostView*>(view);
            return kResultOk;
        }
        static const std::pair<const TUID*, FakeControl::Kind> kControls[4] = {
            {&IntegerControl_cid, FakeControl::Kind::Integer}, {&ContinuousControl_cid, FakeControl::Kind::Continuous},
            {&SwitchControl_cid, FakeControl::Kind::Switch}, {&TextControl_cid, FakeControl::Kind::Text}};
        for (const auto& [cid, kind] : kControls) {
            if (!iidEqual(id, *cid)) continue;
            if (refuseControls) return kNoInterface;
            auto control = IPtr<FakeControl>::adopt(new FakeControl(&releaseLog, &tagReads, kind));
            controls.push_back(control);
            control->AddRef();
            *obj = static_cast<IControl*>(static_cast<IControlExtension*>(control.get()));
            return kResultOk;
        }
        return kNoInterface;
    }

    int requestsFor(const TUID& id) { return requests[tuidToRegistry(id)]; }
    // The control with this tag among those made (the last one made wins).
    FakeControl* control(int32_t tag) const {
        FakeControl* found = nullptr;
        for (const IPtr<FakeControl>& c : controls)
            if (c->tag == tag) found = c.get();
        return found;
    }

    IPtr<PlainService> required[4];
    IPtr<PlainService> optional;
    IPtr<FakeTimeService> time = IPtr<FakeTimeService>::adopt(new FakeTimeService);
    IUpdateHandler* updateHandler = nullptr; // set by the test
    IPtr<FakeSkin> skin = IPtr<FakeSkin>::adopt(new FakeSkin);
    IPtr<FakeIdleService> idle = IPtr<FakeIdleService>::adopt(new FakeIdleService);
    IPtr<FakeMeterSettings> meterSettings;         // absent unless a test adds it
    IPtr<FakeLevelMapping> levelMapping;           // absent unless a test adds it
    IPtr<FakeMeterBitmaps> meterBitmaps;           // absent unless a test adds it
    IPtr<FakeMeterViewRegistry> meterViewRegistry; // absent unless a test adds it
    IColorGroupInformation* colourGroups = nullptr;
    IPtr<SilentUpdateHandler> silentUpdates = IPtr<SilentUpdateHandler>::adopt(new SilentUpdateHandler);
    bool refuseControls = false;

    // The controls log into these, so they go after the controls.
    Log releaseLog;
    std::vector<int32_t> tagReads;
    std::vector<FakeHostView*> hostViews;
    std::vector<IPtr<FakeControl>> controls;

private:
    template <class I>
    static tresult hand(I* service, void** obj) {
        if (!service) return kNoInterface;
        service->AddRef();
        *obj = service;
        return kResultOk;
    }
    std::map<std::string, int> requests;
};

} // namespace Zel::Fakes
