#pragma once
// Stand-ins for the host's view framework, just enough of it to drive the
// module's editor side and see what it asked for.

#include <cstdio>
#include <map>
#include <ostream>
#include <memory>
#include <string>
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
#include "interfaces/IIdleService.h"
#include "interfaces/ILevelMapping.h"
#include "interfaces/IMeterBitmaps.h"
#include "interfaces/IMeterSettings.h"
#include "interfaces/IPlugController.h"
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

class FakeIdleService : public FakeObject<IIdleService> {
public:
    int32_t intervalMilliseconds() override { return 30; }
    tresult addIdleHandler(IIdleHandler*) override { return kResultOk; }
    tresult removeIdleHandler(IIdleHandler*) override { return kResultOk; }
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
    tresult createView(const char*, IPlugController*, IPlugView**) override { return kResultFalse; }

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
};

// A control of any kind; records the configuration calls in order and every
// tag read into a shared list.
class FakeControl : public FakeObject<IControlExtension, IControlPrecision, IControlValueTextHook> {
public:
    FakeControl(Log* releaseLog, std::vector<int32_t>* tagReads) : releaseLog_(releaseLog), tagReads_(tagReads) {}

    uint32_t Release() override {
        if (releaseLog_) releaseLog_->push_back("control " + std::to_string(tag));
        return FakeObject::Release();
    }

    int32_t getKind() override { return 0; }
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
    int32_t getIntValue() override { return 0; }
    int32_t getIntMin() override { return 0; }
    int32_t getIntMax() override { return 0; }
    float getRealMin() override { return 0; }
    float getRealMax() override { return 0; }
    tresult getText(char*, int32_t*) override { return kResultFalse; }
    tresult setText(const char16_t* text, int32_t) override {
        char buffer[128];
        utf16ToUtf8(text, 128, buffer, sizeof buffer);
        calls.push_back("setText '" + std::string(buffer) + "'");
        return kResultOk;
    }
    tresult setIntValue(int32_t v, uint8_t notify) override { return record("setIntValue", v, notify); }
    tresult setIntMin(int32_t v) override { return record("setIntMin", v); }
    tresult setIntMax(int32_t v) override { return record("setIntMax", v); }
    float getRealValue() override { return 0; }
    tresult setRealValue(float v, uint8_t notify) override { return record("setRealValue", v, notify); }
    float getDefaultNormalized() override { return 0; }
    tresult update() override { return kResultOk; }
    tresult setRealMin(float v) override { return record("setRealMin", v); }
    tresult setRealMax(float v) override { return record("setRealMax", v); }
    float getNormalized() override { return 0; }
    tresult setNormalized(float, uint8_t) override { return kResultOk; }
    float getDefaultValue() override { return 0; }
    int32_t getFlags() override { return 0; }
    tresult setDefaultValue(float v) override { return record("setDefaultValue", v); }
    tresult resetToDefault(uint8_t) override { return kResultOk; }
    tresult hasFlag(int32_t) override { return kResultFalse; }
    tresult setFlag(int32_t flag, uint8_t on) override { return record("setFlag", flag, on); }
    tresult setPrecision(int32_t digits) override { return record("setPrecision", digits); }
    int32_t getPrecision() override { return 0; }
    tresult setValueStringRepresentation(IValueStringRepresentation*) override { return kResultOk; }

    int32_t tag = 0;
    IPlugController* listener = nullptr;
    std::vector<std::string> calls;

protected:
    bool answerMore(const TUID& asked, void** obj) override {
        return answerInterface<IControl>(asked, static_cast<IControlExtension*>(this), obj);
    }

private:
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
    tresult invalidate(const ViewRect* rect) override {
        ++invalidations;
        lastInvalidWhole = rect == nullptr;
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
    bool lastInvalidWhole = false;
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
    FUnknown* backBitmap(const ViewRect* rect, int32_t meterType, uint8_t horizontal) override {
        backRequests.push_back({meterType, horizontal});
        return (new FakeBitmap("host back", rect->width(), rect->height()))->unknown();
    }
    struct Request {
        int32_t meterType;
        uint8_t horizontal;
    };
    std::vector<Request> foreRequests;
    std::vector<Request> backRequests;
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
        std::string text;
        FUnknown* bitmap = nullptr;
    };

    tresult setLineColour(ColourArgb colour, int32_t width, double) override {
        Call c = named("lineColour");
        c.colour = colour;
        c.width = width;
        calls.push_back(c);
        return kResultOk;
    }
    tresult setFillColour(ColourArgb) override { return kResultOk; }
    tresult setFont(const char* face, int32_t size, int32_t, double) override {
        Call c = named("font");
        c.text = face;
        c.width = size;
        calls.push_back(c);
        return kResultOk;
    }
    int32_t fontHeight() override { return 9; }
    tresult setTextColour(ColourArgb colour) override {
        Call c = named("textColour");
        c.colour = colour;
        calls.push_back(c);
        return kResultOk;
    }
    tresult drawLine(ViewPoint from, ViewPoint to) override {
        Call c = named("line");
        c.from = from;
        c.to = to;
        calls.push_back(c);
        return kResultOk;
    }
    tresult drawRect(const ViewRect*) override { return kResultOk; }
    tresult fillRect(const ViewRect*) override { return kResultOk; }
    tresult drawEllipse(const ViewRect*) override { return kResultOk; }
    int32_t stringWidth(const char*) override { return 0; }
    tresult drawString(const char* text, const ViewRect* rect) override {
        Call c = named("string");
        c.text = text;
        c.destination = *rect;
        calls.push_back(c);
        return kResultOk;
    }
    tresult drawStringAligned(const char*, const ViewRect*, int32_t) override { return kResultOk; }
    tresult drawBitmapSection(FUnknown* bitmap, const ViewRect* source, const ViewRect* destination) override {
        Call c = named("bitmap");
        c.bitmap = bitmap;
        c.source = *source;
        c.destination = *destination;
        calls.push_back(c);
        return kResultOk;
    }

    std::vector<Call> calls;

private:
    static Call named(const char* op) {
        Call c;
        c.op = op;
        return c;
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
        if (iidEqual(id, IntegerControl_cid) || iidEqual(id, ContinuousControl_cid) ||
            iidEqual(id, SwitchControl_cid) || iidEqual(id, TextControl_cid)) {
            if (refuseControls) return kNoInterface;
            auto control = IPtr<FakeControl>::adopt(new FakeControl(&releaseLog, &tagReads));
            controls.push_back(control);
            control->AddRef();
            *obj = static_cast<IControl*>(static_cast<IControlExtension*>(control.get()));
            return kResultOk;
        }
        return kNoInterface;
    }

    int requestsFor(const TUID& id) { return requests[tuidToRegistry(id)]; }

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
