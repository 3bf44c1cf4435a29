#include "editor/HostFramework.h"

#include "base/UpdateHandler.h"
#include "base/platform/Platform.h"
#include "editor/PlugColorGroupInformation.h"
#include "interfaces/IColorGroupInformation.h"
#include "interfaces/IPtr.h"

namespace Zel {

namespace {

// The skin service with the registration made through it.
struct SkinResourceHolder {
    ISkinResource* service = nullptr;
    bool registered = false;
};

struct SharedState {
    IHostFramework* root = nullptr;
    FUnknown* required[4] = {};
    ITimeService* time = nullptr;
    IUpdateHandler* updateHandler = nullptr;
    FUnknown* optional = nullptr;
    IIdleService* idle = nullptr;
    // The handler that was active before the host's replaced it.
    IUpdateHandler* previousHandler = nullptr;
    int32_t frameworkUsers = 0;
    int32_t controllerUsers = 0;
    SkinResourceHolder* skinResource = nullptr;
};

SharedState gState;

template <class I>
I* obtain(IHostFramework* root, const TUID& id, FUnknown* context) {
    void* obj = nullptr;
    if (!root || root->createInstance(id, &obj, context) != kResultOk) return nullptr;
    return static_cast<I*>(obj);
}

template <class I>
void releaseAndClear(I*& ptr) {
    if (I* p = ptr) {
        ptr = nullptr;
        p->Release();
    }
}

void* moduleHandleForHost() { return static_cast<void*>(Platform::moduleHandle()); }

} // namespace

bool HostFramework::acquireFramework(FUnknown* hostContext) {
    if (gState.frameworkUsers > 0) {
        ++gState.frameworkUsers;
        return true;
    }
    IPtr<IHostFramework> root = queryInterface<IHostFramework>(hostContext);
    if (!root) return false;
    gState.root = root.get();
    gState.root->AddRef();
    ++gState.frameworkUsers;

    static const TUID* const kRequired[4] = {&RequiredService1_cid, &RequiredService2_cid, &RequiredService3_cid,
                                             &RequiredService4_cid};
    for (int i = 0; i < 4; ++i) gState.required[i] = obtain<FUnknown>(gState.root, *kRequired[i], hostContext);
    gState.time = obtain<ITimeService>(gState.root, ITimeService_iid, hostContext);
    gState.updateHandler = obtain<IUpdateHandler>(gState.root, IUpdateHandler_iid, hostContext);
    gState.optional = obtain<FUnknown>(gState.root, OptionalService_cid, hostContext);

    bool complete = gState.time && gState.updateHandler;
    for (FUnknown* service : gState.required) complete = complete && service;
    if (!complete) {
        if (--gState.frameworkUsers == 0) releaseServices();
        return false;
    }
    gState.idle = obtain<IIdleService>(gState.root, IIdleService_iid, hostContext);
    // The plug-in runs with the host's change notification while it holds the framework.
    gState.previousHandler = activeUpdateHandler();
    setActiveUpdateHandler(gState.updateHandler);
    return true;
}

void HostFramework::releaseFramework() {
    if (gState.frameworkUsers <= 0) return;
    if (--gState.frameworkUsers == 0) releaseServices();
}

void HostFramework::releaseServices() {
    if (gState.updateHandler && activeUpdateHandler() == gState.updateHandler)
        setActiveUpdateHandler(gState.previousHandler);
    gState.previousHandler = nullptr;
    releaseAndClear(gState.idle);
    releaseAndClear(gState.optional);
    releaseAndClear(gState.updateHandler);
    releaseAndClear(gState.time);
    for (FUnknown*& service : gState.required) releaseAndClear(service);
    releaseAndClear(gState.root);
}

void HostFramework::registerSkin() {
    auto* holder = new SkinResourceHolder;
    gState.skinResource = holder;
    holder->service = obtain<ISkinResource>(gState.root, ISkinResource_iid, nullptr);

    const char16_t* fileName = kSkinFileName;
    if (fileName[0] != 0 && holder->service)
        holder->registered = holder->service->registerSkin(moduleHandleForHost(), fileName) == kResultOk;

    if (!holder->service) return;
    // The skin takes the host's colour groups when it has some, else the plug-in's own (empty) set.
    IPtr<IColorGroupInformation> groups =
        IPtr<IColorGroupInformation>::adopt(obtain<IColorGroupInformation>(gState.root, IColorGroupInformation_iid, nullptr));
    if (!groups) groups = PlugColorGroupInformation::shared();
    if (IPtr<IColorGroupInformation> skinGroups = queryInterface<IColorGroupInformation>(holder->service))
        skinGroups->assign(groups.get());
}

void HostFramework::unregisterSkin() {
    SkinResourceHolder* holder = gState.skinResource;
    if (!holder) return;
    gState.skinResource = nullptr;
    if (holder->service && holder->registered) holder->service->unregisterSkin(moduleHandleForHost());
    releaseAndClear(holder->service);
    delete holder;
}

bool HostFramework::acquireForController(FUnknown* hostContext) {
    if (gState.controllerUsers == 0 && !acquireFramework(hostContext)) return false;
    if (!gState.skinResource) registerSkin();
    ++gState.controllerUsers;
    return true;
}

void HostFramework::releaseForController() {
    if (gState.controllerUsers <= 0) return;
    if (--gState.controllerUsers > 0) return;
    unregisterSkin();
    releaseFramework();
}

IHostFramework* HostFramework::root() { return gState.root; }
ITimeService* HostFramework::timeService() { return gState.time; }
IIdleService* HostFramework::idleService() { return gState.idle; }
IUpdateHandler* HostFramework::updateHandler() { return gState.updateHandler; }

ISkinResource* HostFramework::skinResource(FUnknown* hostContext) {
    if (queryInterface<IColorGroupInformation>(hostContext)) return nullptr;
    return gState.skinResource ? gState.skinResource->service : nullptr;
}

FUnknown* HostFramework::create(const TUID& id) { return obtain<FUnknown>(gState.root, id, nullptr); }

int32_t HostFramework::frameworkUsers() { return gState.frameworkUsers; }
int32_t HostFramework::controllerUsers() { return gState.controllerUsers; }

} // namespace Zel
