#pragma once
// The context the host hands every plug-in object at initialize: its name,
// the factory of message objects and, when the host shows editors, its view
// framework.

#include <atomic>

#include "interfaces/IHostApp.h"
#include "interfaces/IHostFramework.h"
#include "interfaces/IPtr.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class HostContext : public Zel::IHostApp {
public:
    static constexpr const char16_t* kName = u"Nivolo Host";

    HostContext() = default;
    virtual ~HostContext() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    Zel::tresult getName(char16_t name[128]) override;
    // Creates message objects (class and interface id IMessageObject); nothing else.
    Zel::tresult createInstance(const Zel::TUID& classId, const Zel::TUID& iid, void** obj) override;

    // How many messages plug-ins had created, for tests of the message path.
    int messagesCreated() const { return messagesCreated_.load(); }

    // Plug-ins initialised afterwards find the framework by asking this context
    // for IHostFramework_iid; null takes it away again. Referenced.
    void setViewFramework(Zel::IHostFramework* framework) { viewFramework_ = framework; }
    Zel::IHostFramework* viewFramework() const { return viewFramework_.get(); }

private:
    Zel::RefCount refCount_;
    std::atomic<int> messagesCreated_{0};
    Zel::IPtr<Zel::IHostFramework> viewFramework_;
};

} // namespace NivoloHost
