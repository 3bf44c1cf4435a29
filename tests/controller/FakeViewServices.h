#pragma once
// The services of a host view framework, as small recording stand-ins: the
// clock, idle ticks, change notification, the skin with its editor views and
// bitmaps, and the host view object that carries a module view.

#include <string>
#include <vector>

#include "interfaces/IBitmapSize.h"
#include "interfaces/IHostView.h"
#include "interfaces/IHostViewClient.h"
#include "interfaces/IIdleHandler.h"
#include "interfaces/IIdleService.h"
#include "interfaces/IPlugView.h"
#include "interfaces/IPtr.h"
#include "interfaces/ISkinResource.h"
#include "interfaces/ITimeService.h"
#include "interfaces/IUpdateHandler.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/RefCount.h"

namespace ControllerTesting {

using namespace Zel;

// A service the module only needs to find.
class FakeService : public FUnknown {
public:
    virtual ~FakeService() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<FUnknown>(asked, this, obj)) return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

private:
    RefCount refCount_;
};

class FakeTimeService : public ITimeService {
public:
    virtual ~FakeTimeService() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<FUnknown>(asked, this, obj) || answerInterface<ITimeService>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    double currentSeconds() override { return milliseconds * 0.001; }
    tresult startTimer(int32_t, int32_t) override { return kResultOk; }
    tresult stopTimer(int32_t) override { return kResultOk; }
    tresult isTimerRunning(int32_t) override { return kResultFalse; }
    double timerElapsed(int32_t) override { return 0.0; }
    tresult resetTimer(int32_t) override { return kResultOk; }
    int32_t timerCount() override { return 0; }
    double resolutionMilliseconds() override { return 1.0; }
    tresult isAudioClock() override { return kResultFalse; }
    double startSeconds() override { return 0.0; }
    double sampleRate() override { return 0.0; }
    double currentMilliseconds() override { return milliseconds; }

    double milliseconds = 1000.0;

private:
    RefCount refCount_;
};

class FakeIdleService : public IIdleService {
public:
    virtual ~FakeIdleService() {
        for (IIdleHandler* handler : handlers) handler->Release();
    }
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<FUnknown>(asked, this, obj) || answerInterface<IIdleService>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    int32_t intervalMilliseconds() override { return 50; }
    tresult addIdleHandler(IIdleHandler* handler) override {
        if (!handler) return kInvalidArgument;
        handler->AddRef();
        handlers.push_back(handler);
        return kResultOk;
    }
    tresult removeIdleHandler(IIdleHandler* handler) override {
        for (auto it = handlers.begin(); it != handlers.end(); ++it) {
            if (*it != handler) continue;
            handlers.erase(it);
            handler->Release();
            return kResultOk;
        }
        return kResultFalse;
    }
    void tick() {
        for (IIdleHandler* handler : std::vector<IIdleHandler*>(handlers)) handler->onIdle();
    }

    std::vector<IIdleHandler*> handlers; // one reference each

private:
    RefCount refCount_;
};

// Change notification that delivers nothing: the tests read the data objects directly.
class FakeUpdateHandler : public IUpdateHandler {
public:
    virtual ~FakeUpdateHandler() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<FUnknown>(asked, this, obj) || answerInterface<IUpdateHandler>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult addDependent(FUnknown*, IDependent*) override { return kResultOk; }
    tresult removeDependent(FUnknown*, IDependent*) override { return kResultOk; }
    tresult notifyNow(FUnknown*, int32_t) override { return kResultFalse; }
    tresult notifyLater(FUnknown*, int32_t) override { return kResultOk; }

private:
    RefCount refCount_;
};

class FakePlugView : public IPlugView {
public:
    virtual ~FakePlugView() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<FUnknown>(asked, this, obj) || answerInterface<IPlugView>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult isPlatformTypeSupported(const char*) override { return kResultOk; }
    tresult attached(void*, const char*) override { return kResultOk; }
    tresult removed() override { return kResultOk; }
    tresult onWheel(float) override { return kResultFalse; }
    tresult onKeyDown(char16_t, int16_t, int16_t) override { return kResultFalse; }
    tresult onKeyUp(char16_t, int16_t, int16_t) override { return kResultFalse; }
    tresult getSize(ViewRect* size) override { return size ? kResultOk : kInvalidArgument; }
    tresult onSize(ViewRect*) override { return kResultOk; }
    tresult onFocus(uint8_t) override { return kResultFalse; }
    tresult setFrame(FUnknown*) override { return kResultOk; }
    tresult canResize() override { return kResultFalse; }
    tresult checkSizeConstraint(ViewRect*) override { return kResultFalse; }

private:
    RefCount refCount_;
};

class FakeBitmap : public IBitmapSize {
public:
    FakeBitmap(double width, double height) : width_(width), height_(height) {}
    virtual ~FakeBitmap() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<FUnknown>(asked, this, obj) || answerInterface<IBitmapSize>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult getSize(double* width, double* height) override {
        if (width) *width = width_;
        if (height) *height = height_;
        return kResultOk;
    }

private:
    RefCount refCount_;
    double width_, height_;
};

// Holds its client as the host's view object does.
class FakeHostView : public IHostView {
public:
    virtual ~FakeHostView() {
        if (client) client->Release();
    }
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<FUnknown>(asked, this, obj) || answerInterface<IHostView>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult setClient(IHostViewClient* newClient) override {
        if (newClient) newClient->AddRef();
        if (client) client->Release();
        client = newClient;
        return kResultOk;
    }
    tresult getRect(ViewRect* rect) override { return rect ? kResultOk : kInvalidArgument; }
    tresult invalidate(const ViewRect*) override { return kResultOk; }
    tresult getVisible(int32_t* visible) override {
        if (visible) *visible = 1;
        return kResultOk;
    }
    tresult getScale(double* x, double* y) override {
        if (x) *x = 1.0;
        if (y) *y = 1.0;
        return kResultOk;
    }

    IHostViewClient* client = nullptr; // one reference

private:
    RefCount refCount_;
};

// The skin service: records registrations and editor requests; every bitmap
// asked for exists unless listed as missing.
class FakeSkinResource : public ISkinResource {
public:
    virtual ~FakeSkinResource() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<FUnknown>(asked, this, obj) || answerInterface<ISkinResource>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult getBitmap(const char* name, FUnknown** bitmap) override {
        if (!bitmap) return kInvalidArgument;
        *bitmap = nullptr;
        bitmapsAsked.push_back(name ? name : "");
        for (const std::string& missing : missingBitmaps)
            if (missing == bitmapsAsked.back()) return kResultFalse;
        *bitmap = new FakeBitmap(19.0, 230.0);
        return kResultOk;
    }
    tresult getColour(const char*, ColourArgb* colour) override {
        if (colour) *colour = 0xFF000000u;
        return kResultOk;
    }
    tresult registerSkin(void*, const char16_t* fileName) override {
        registeredFiles.push_back(fileName ? fileName : u"");
        return kResultOk;
    }
    tresult unregisterSkin(void*) override { return kResultOk; }
    int32_t templateCount() override { return 1; }
    tresult templateName(int32_t, char*, int32_t) override { return kResultFalse; }
    tresult hasTemplate(const char*) override { return kResultOk; }
    tresult templateSize(const char*, ViewRect*) override { return kResultFalse; }
    tresult getFontFace(const char*, char*, int32_t) override { return kResultFalse; }
    tresult reload() override { return kResultOk; }
    tresult createView(const char* templateName, IPlugController* controller, IPlugView** view) override {
        if (!view) return kInvalidArgument;
        templatesAsked.push_back(templateName ? templateName : "");
        viewController = controller;
        *view = new FakePlugView;
        return kResultOk;
    }

    std::vector<std::u16string> registeredFiles;
    std::vector<std::string> templatesAsked;
    std::vector<std::string> bitmapsAsked;
    std::vector<std::string> missingBitmaps;
    IPlugController* viewController = nullptr;

private:
    RefCount refCount_;
};

} // namespace ControllerTesting
