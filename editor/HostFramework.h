#pragma once
// The host's view framework as the module shares it: one root and its
// services per process, acquired by the first controller and given back by the
// last, with the skin registered once in between.

#include <cstdint>

#include "interfaces/IHostFramework.h"
#include "interfaces/IIdleService.h"
#include "interfaces/ISkinResource.h"
#include "interfaces/ITimeService.h"
#include "interfaces/IUpdateHandler.h"

namespace Zel {

class HostFramework {
public:
    // [ui thread, controller initialize] Takes part in the shared framework:
    // acquires it when this is the first user, registers the skin once. False
    // when the host offers no framework or lacks a required service; the
    // controller then runs without controls and editor.
    static bool acquireForController(FUnknown* hostContext);
    // [ui thread, controller terminate] Only after a successful acquire.
    static void releaseForController();

    // Null while the framework is not held. Not referenced for the caller.
    static IHostFramework* root();
    static ITimeService* timeService();
    static IIdleService* idleService(); // asked once at acquisition; may be null
    static IUpdateHandler* updateHandler();
    // The registered skin service, or null (also when the host context itself
    // answers the colour-group interface: such hosts use no skin resource).
    static ISkinResource* skinResource(FUnknown* hostContext);
    // A new object or service from the root; one reference for the caller; null when none.
    static FUnknown* create(const TUID& id);
    // The same, typed as the interface the framework hands out for id.
    template <class I>
    static I* createAs(const TUID& id) {
        IHostFramework* framework = root();
        void* obj = nullptr;
        if (!framework || framework->createInstance(id, &obj, nullptr) != kResultOk) return nullptr;
        return static_cast<I*>(obj);
    }

    static int32_t frameworkUsers();
    static int32_t controllerUsers();

    // The skin file's name inside the module: its base name and ".hrf".
    static constexpr const char16_t* kSkinFileName = u"nivolo.hrf";

private:
    // One acquisition of the root and its services (first user) or a count.
    static bool acquireFramework(FUnknown* hostContext);
    static void releaseFramework();
    static void releaseServices();
    static void registerSkin();
    static void unregisterSkin();
};

} // namespace Zel
