#pragma once
// A host view framework for the controller: the root answering the services
// and making recording controls, and a host context that carries it (or not)
// beside the host's message factory.

#include <vector>

#include "FakeControl.h"
#include "FakeViewServices.h"
#include "host/HostContext.h"
#include "interfaces/IHostApp.h"
#include "interfaces/IHostFramework.h"

namespace ControllerTesting {

class FakeFrameworkRoot : public IHostFramework {
public:
    FakeFrameworkRoot()
        : time(IPtr<FakeTimeService>::adopt(new FakeTimeService)),
          idle(IPtr<FakeIdleService>::adopt(new FakeIdleService)),
          updates(IPtr<FakeUpdateHandler>::adopt(new FakeUpdateHandler)),
          skin(IPtr<FakeSkinResource>::adopt(new FakeSkinResource)),
          service(IPtr<FakeService>::adopt(new FakeService)) {}
    virtual ~FakeFrameworkRoot() = default;

    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<FUnknown>(asked, this, obj) || answerInterface<IHostFramework>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult createInstance(const TUID& id, void** obj, FUnknown*) override {
        if (!obj) return kInvalidArgument;
        *obj = nullptr;
        if (iidEqual(id, RequiredService1_cid) || iidEqual(id, RequiredService2_cid) ||
            iidEqual(id, RequiredService3_cid) || iidEqual(id, RequiredService4_cid))
            return hand(static_cast<FUnknown*>(service.get()), obj);
        if (iidEqual(id, ITimeService_iid)) return hand(static_cast<ITimeService*>(time.get()), obj);
        if (iidEqual(id, IIdleService_iid)) return hand(static_cast<IIdleService*>(idle.get()), obj);
        if (iidEqual(id, IUpdateHandler_iid)) return hand(static_cast<IUpdateHandler*>(updates.get()), obj);
        if (iidEqual(id, ISkinResource_iid)) return hand(static_cast<ISkinResource*>(skin.get()), obj);
        if (iidEqual(id, IHostView_iid)) {
            auto* view = new FakeHostView;
            hostViews.push_back(view);
            *obj = static_cast<IHostView*>(view);
            return kResultOk;
        }
        if (iidEqual(id, IntegerControl_cid)) return makeControl(FakeControl::Kind::Integer, obj);
        if (iidEqual(id, ContinuousControl_cid)) return makeControl(FakeControl::Kind::Continuous, obj);
        if (iidEqual(id, SwitchControl_cid)) return makeControl(FakeControl::Kind::Switch, obj);
        if (iidEqual(id, TextControl_cid)) return makeControl(FakeControl::Kind::Text, obj);
        return kNoInterface; // the optional services
    }

    // The control with this tag among those made (the last one made wins).
    FakeControl* control(int32_t tag) const {
        FakeControl* found = nullptr;
        for (const IPtr<FakeControl>& c : controls)
            if (c->getTag() == tag) found = c.get();
        return found;
    }

    IPtr<FakeTimeService> time;
    IPtr<FakeIdleService> idle;
    IPtr<FakeUpdateHandler> updates;
    IPtr<FakeSkinResource> skin;
    IPtr<FakeService> service;
    std::vector<IPtr<FakeControl>> controls; // every control made, kept for inspection
    std::vector<FakeHostView*> hostViews;    // not referenced

private:
    template <class I>
    static tresult hand(I* object, void** obj) {
        object->AddRef();
        *obj = object;
        return kResultOk;
    }
    tresult makeControl(FakeControl::Kind kind, void** obj) {
        auto* control = new FakeControl(kind);
        controls.push_back(control);
        *obj = static_cast<IControl*>(control);
        return kResultOk;
    }

    RefCount refCount_;
};

// The host context handed to initialize; it answers the framework root only
// when it carries one.
class FakeHostContext : public IHostApp {
public:
    explicit FakeHostContext(FakeFrameworkRoot* root) : root_(root) {}
    virtual ~FakeHostContext() = default;

    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (!obj) return kInvalidArgument;
        if (answerInterface<FUnknown>(asked, this, obj) || answerInterface<IHostApp>(asked, this, obj))
            return kResultOk;
        if (root_ && iidEqual(asked, IHostFramework_iid)) {
            root_->AddRef();
            *obj = static_cast<IHostFramework*>(root_.get());
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult getName(char16_t name[128]) override { return messages_->getName(name); }
    tresult createInstance(const TUID& classId, const TUID& iid, void** obj) override {
        return messages_->createInstance(classId, iid, obj);
    }

private:
    RefCount refCount_;
    IPtr<FakeFrameworkRoot> root_;
    IPtr<NivoloHost::HostContext> messages_ = IPtr<NivoloHost::HostContext>::adopt(new NivoloHost::HostContext);
};

} // namespace ControllerTesting
