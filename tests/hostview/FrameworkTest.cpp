// The framework root and its services as a plug-in meets them: what the host
// context and createInstance hand out, idle ticks that flush deferred
// changes, change notification, and the clock.

#include <gtest/gtest.h>

#include <functional>

#include "host/HostContext.h"
#include "host/view/ControlBase.h"
#include "interfaces/IDependent.h"
#include "tests/hostview/HostViewTestSupport.h"

namespace {

using namespace HostViewTest;
using NivoloHost::PlainService;
using NivoloHost::ViewFramework;

IPtr<FUnknown> create(ViewFramework& framework, const TUID& id) {
    void* out = nullptr;
    if (framework.createInstance(id, &out, nullptr) != kResultOk) return {};
    return IPtr<FUnknown>::adopt(static_cast<FUnknown*>(out));
}

TEST(FrameworkRoot, TheHostContextAnswersItOnlyWhileOneIsAttached) {
    auto context = IPtr<NivoloHost::HostContext>::adopt(new NivoloHost::HostContext);
    auto framework = IPtr<ViewFramework>::adopt(new ViewFramework);
    EXPECT_FALSE(queryInterface<IHostFramework>(context.get()));
    context->setViewFramework(framework.get());
    EXPECT_EQ(queryInterface<IHostFramework>(context.get()).get(), static_cast<IHostFramework*>(framework.get()));
    EXPECT_TRUE(queryInterface<IHostApp>(context.get())) << "the context still answers as before";
    context->setViewFramework(nullptr);
    EXPECT_FALSE(queryInterface<IHostFramework>(context.get()));
    EXPECT_EQ(references(framework.get()), 1u);
}

TEST(FrameworkRoot, ServicesAreOneObjectEachControlsAndViewsNewEachTime) {
    auto framework = IPtr<ViewFramework>::adopt(new ViewFramework);
    const TUID* services[] = {&RequiredService1_cid, &RequiredService2_cid, &RequiredService3_cid, &RequiredService4_cid,
                              &OptionalService_cid,  &ITimeService_iid,     &IUpdateHandler_iid,   &ISkinResource_iid,
                              &IIdleService_iid};
    std::set<FUnknown*> identities;
    for (const TUID* id : services) {
        IPtr<FUnknown> first = create(*framework, *id), second = create(*framework, *id);
        ASSERT_TRUE(first) << tuidToRegistry(*id);
        EXPECT_EQ(first.get(), second.get()) << tuidToRegistry(*id);
        EXPECT_EQ(references(first.get()), 3u) << "the framework's and ours";
        identities.insert(identityOf(first.get()));
    }
    EXPECT_EQ(identities.size(), std::size(services)) << "no service stands in for another";
    EXPECT_TRUE(queryInterface<IUpdateManager>(create(*framework, IUpdateHandler_iid).get()));
    EXPECT_TRUE(queryInterface<IColorGroupInformation>(create(*framework, ISkinResource_iid).get()));

    using NivoloHost::ControlBase;
    const std::pair<const TUID*, int32_t> controls[] = {{&IntegerControl_cid, ControlBase::kInteger},
                                                        {&ContinuousControl_cid, ControlBase::kContinuous},
                                                        {&SwitchControl_cid, ControlBase::kSwitch},
                                                        {&TextControl_cid, ControlBase::kText},
                                                        {&IHostView_iid, -1}};
    for (const auto& [id, kind] : controls) {
        IPtr<FUnknown> first = create(*framework, *id), second = create(*framework, *id);
        ASSERT_TRUE(first && second) << tuidToRegistry(*id);
        EXPECT_NE(first.get(), second.get());
        EXPECT_EQ(references(first.get()), 1u);
        if (kind >= 0) {
            EXPECT_EQ(queryInterface<IControl>(first.get())->getKind(), kind);
        }
    }

    for (const TUID* id : {&IColorGroupInformation_iid, &IMeterSettings_iid, &ILevelMapping_iid, &IMeterBitmaps_iid,
                           &IMeterViewRegistry_iid, &IPlugView_iid, &FUnknown_iid}) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(framework->createInstance(*id, &out, nullptr), kNoInterface) << "left out: " << tuidToRegistry(*id);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(framework->createInstance(ITimeService_iid, nullptr, nullptr), kInvalidArgument);
}

// ---- idle ticks and change notification ----------------------------------------------------

// Records, in one shared log, idle ticks and the changes it is told of.
class Recorder final : public IIdleHandler, public IDependent {
public:
    virtual ~Recorder() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<IIdleHandler>(asked, this, obj) || answerInterface<IDependent>(asked, this, obj) ||
            answerInterface<FUnknown>(asked, static_cast<IIdleHandler*>(this), obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS
    tresult onIdle() override {
        log += "idle ";
        if (onTick) onTick();
        return kResultOk;
    }
    void update(FUnknown* changed, int32_t message) override {
        log += "change " + std::to_string(message) + " ";
        lastChanged = changed;
        if (onUpdate) onUpdate();
    }
    std::string log;
    FUnknown* lastChanged = nullptr;
    std::function<void()> onTick, onUpdate;
    RefCount refCount_;
};

TEST(FrameworkTick, IdleHandlersRunThenDeferredChangesAreDeliveredOnce) {
    auto framework = IPtr<ViewFramework>::adopt(new ViewFramework);
    auto recorder = IPtr<Recorder>::adopt(new Recorder);
    auto data = IPtr<PlainService>::adopt(new PlainService); // any object
    IUpdateHandler& updates = framework->updates();
    ASSERT_EQ(updates.addDependent(data.get(), recorder.get()), kResultOk);
    ASSERT_EQ(framework->idle().addIdleHandler(recorder.get()), kResultOk);
    EXPECT_EQ(framework->idle().addIdleHandler(recorder.get()), kResultFalse) << "once only";
    EXPECT_EQ(recorder->refCount_.value(), 2) << "the idle service holds a reference";

    updates.notifyLater(data.get(), 5000);
    updates.notifyLater(data.get(), 5000);
    EXPECT_EQ(recorder->log, "") << "deferred until the tick";
    // A change deferred by a handler during the tick arrives in the same tick.
    recorder->onTick = [&] { updates.notifyLater(data.get(), 1); };
    framework->tick();
    EXPECT_EQ(recorder->log, "idle change 5000 change 1 ");
    EXPECT_EQ(recorder->lastChanged, identityOf(data.get()));

    recorder->onTick = nullptr;
    recorder->log.clear();
    ASSERT_EQ(framework->idle().removeIdleHandler(recorder.get()), kResultOk);
    framework->tick();
    EXPECT_EQ(recorder->log, "");
    EXPECT_EQ(recorder->refCount_.value(), 1);
    updates.removeDependent(data.get(), recorder.get());
}

TEST(FrameworkUpdates, NotificationsReachOnlyTheDependentsLeftAndTheirObject) {
    NivoloHost::HostUpdateHandler updates;
    auto first = IPtr<Recorder>::adopt(new Recorder), second = IPtr<Recorder>::adopt(new Recorder);
    auto a = IPtr<PlainService>::adopt(new PlainService), b = IPtr<PlainService>::adopt(new PlainService);
    updates.addDependent(a.get(), first.get());
    updates.addDependent(a.get(), second.get());
    updates.addDependent(b.get(), first.get());
    // A dependent removed during a notification is not called.
    first->onUpdate = [&] { updates.removeDependent(a.get(), second.get()); };
    EXPECT_EQ(updates.notifyNow(a.get(), 7), kResultOk);
    EXPECT_EQ(first->log, "change 7 ");
    EXPECT_EQ(second->log, "");
    EXPECT_EQ(updates.dependentCount(a.get()), 1u);
    first->onUpdate = nullptr;

    first->log.clear();
    updates.notifyLater(a.get(), 1);
    updates.notifyLater(b.get(), 2);
    updates.notifyLater(a.get(), 3);
    updates.flushDeferred(b.get());
    EXPECT_EQ(first->log, "change 2 ") << "flushed for its object only";
    updates.cancelDeferred(a.get());
    EXPECT_EQ(updates.pendingCount(), 0u);

    updates.removeDependent(nullptr, first.get()); // everywhere
    EXPECT_EQ(updates.notifyNow(a.get(), 7), kResultFalse) << "nobody left to tell";
    EXPECT_EQ(updates.addDependent(a.get(), nullptr), kResultFalse);
}

// ---- the clock ------------------------------------------------------------------------------------

TEST(FrameworkClock, AudioClockReplacesTheWallClockAndBothUnitsAgree) {
    auto clock = IPtr<NivoloHost::TimeService>::adopt(new NivoloHost::TimeService);
    EXPECT_EQ(clock->isAudioClock(), kResultFalse);
    const double before = clock->currentSeconds();
    const double ms = clock->currentMilliseconds();
    const double after = clock->currentSeconds();
    EXPECT_LE(before * 1000.0, ms);
    EXPECT_LE(ms, after * 1000.0);

    clock->setAudioClockSeconds(12.5, 48000.0);
    EXPECT_EQ(clock->isAudioClock(), kResultTrue);
    EXPECT_EQ(clock->currentSeconds(), 12.5);
    EXPECT_EQ(clock->currentMilliseconds(), 12500.0);
    EXPECT_EQ(clock->sampleRate(), 48000.0);
    EXPECT_DOUBLE_EQ(clock->resolutionMilliseconds(), 1000.0 / 48000.0);
    ASSERT_EQ(clock->startTimer(3, 100), kResultOk);
    clock->setAudioClockSeconds(13.0);
    EXPECT_DOUBLE_EQ(clock->timerElapsed(3), 0.5) << "timers run on the audio clock too";

    clock->useWallClock();
    EXPECT_EQ(clock->isAudioClock(), kResultFalse);
    EXPECT_GE(clock->currentSeconds(), after) << "the wall clock went on meanwhile";
    EXPECT_EQ(clock->stopTimer(3), kResultOk);
    EXPECT_EQ(clock->isTimerRunning(3), kResultFalse);
}

} // namespace
