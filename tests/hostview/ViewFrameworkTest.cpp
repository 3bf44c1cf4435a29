// The framework as a plug-in meets it: what it hands out and what it leaves
// out, idle ticks that deliver deferred changes, change notification, the
// clock; and its controls: ranges, notification, texts from the controller.

#include "tests/hostview/HostViewTestSupport.h"

#include <atomic>
#include <cmath>
#include <functional>
#include <set>
#include <thread>

#include "host/view/ContinuousControl.h"
#include "host/view/ControlBase.h"
#include "host/view/IntegerControl.h"
#include "host/view/StringValue.h"
#include "host/view/SwitchControl.h"
#include "host/view/TextControl.h"
#include "interfaces/IDependent.h"

namespace HostViewTest {
namespace {

using namespace NivoloHost;

uint32_t references(FUnknown* object) {
    object->AddRef();
    return object->Release();
}

IPtr<FUnknown> create(ViewFramework& framework, const TUID& id) {
    void* out = nullptr;
    if (framework.createInstance(id, &out, nullptr) != kResultOk) return {};
    return IPtr<FUnknown>::adopt(static_cast<FUnknown*>(out));
}

TEST(Framework, ServicesAreOneObjectEachControlsAndViewsNewEachTimeMeterServicesLeftOut) {
    auto framework = IPtr<ViewFramework>::adopt(new ViewFramework);
    std::set<FUnknown*> identities;
    for (const TUID* id : {&RequiredService1_cid, &RequiredService2_cid, &RequiredService3_cid, &RequiredService4_cid,
                           &OptionalService_cid, &ITimeService_iid, &IUpdateHandler_iid, &ISkinResource_iid,
                           &IIdleService_iid}) {
        IPtr<FUnknown> first = create(*framework, *id), second = create(*framework, *id);
        ASSERT_TRUE(first) << tuidToRegistry(*id);
        EXPECT_EQ(first.get(), second.get());
        identities.insert(identityOf(first.get()));
    }
    EXPECT_EQ(identities.size(), 9u) << "no service stands in for another";
    const std::pair<const TUID*, int32_t> made[] = {{&IntegerControl_cid, ControlBase::kInteger},
                                                    {&ContinuousControl_cid, ControlBase::kContinuous},
                                                    {&SwitchControl_cid, ControlBase::kSwitch},
                                                    {&TextControl_cid, ControlBase::kText},
                                                    {&IHostView_iid, -1}};
    for (const auto& [id, kind] : made) {
        IPtr<FUnknown> first = create(*framework, *id), second = create(*framework, *id);
        ASSERT_TRUE(first && second);
        EXPECT_NE(first.get(), second.get());
        EXPECT_EQ(references(first.get()), 1u);
        if (kind >= 0) {
            EXPECT_EQ(queryInterface<IControl>(first.get())->getKind(), kind);
        }
    }
    for (const TUID* id : {&IColorGroupInformation_iid, &IMeterSettings_iid, &ILevelMapping_iid, &IMeterBitmaps_iid,
                           &IMeterViewRegistry_iid, &IPlugView_iid}) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(framework->createInstance(*id, &out, nullptr), kNoInterface) << tuidToRegistry(*id);
        EXPECT_EQ(out, nullptr);
    }
}

// Idle ticks and the changes it is told of, in one log.
class Recorder final : public IIdleHandler, public IDependent {
public:
    virtual ~Recorder() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<IIdleHandler>(asked, this, obj) || answerInterface<IDependent>(asked, this, obj) ||
            answerInterface<FUnknown>(asked, static_cast<IIdleHandler*>(this), obj))
            return kResultOk;
        return *obj = nullptr, kNoInterface;
    }
    ZEL_REFCOUNT_METHODS
    tresult onIdle() override {
        log += "idle ";
        if (onTick) onTick();
        return kResultOk;
    }
    void update(FUnknown*, int32_t message) override {
        log += "change " + std::to_string(message) + " ";
        if (onUpdate) onUpdate();
    }
    std::string log;
    std::function<void()> onTick, onUpdate;
    RefCount refCount_;
};

TEST(Framework, ATickRunsTheIdleHandlersThenDeliversEveryDeferredChangeOnce) {
    auto framework = IPtr<ViewFramework>::adopt(new ViewFramework);
    auto recorder = IPtr<Recorder>::adopt(new Recorder);
    auto data = create(*framework, RequiredService1_cid); // any object
    IUpdateHandler& updates = framework->updates();
    ASSERT_EQ(updates.addDependent(data.get(), recorder.get()), kResultOk);
    ASSERT_EQ(framework->idle().addIdleHandler(recorder.get()), kResultOk);
    EXPECT_EQ(framework->idle().addIdleHandler(recorder.get()), kResultFalse) << "once only";
    updates.notifyLater(data.get(), 5000);
    updates.notifyLater(data.get(), 5000);
    EXPECT_EQ(recorder->log, "");
    recorder->onTick = [&] { updates.notifyLater(data.get(), 1); }; // arrives in the same tick
    framework->tick();
    EXPECT_EQ(recorder->log, "idle change 5000 change 1 ");
    recorder->log.clear();
    recorder->onTick = nullptr;
    ASSERT_EQ(framework->idle().removeIdleHandler(recorder.get()), kResultOk);
    framework->tick();
    EXPECT_EQ(recorder->log, "");
    EXPECT_EQ(recorder->refCount_.value(), 1) << "the idle service let go";

    // A dependent removed during a notification is not called.
    auto second = IPtr<Recorder>::adopt(new Recorder);
    updates.addDependent(data.get(), second.get());
    recorder->onUpdate = [&] { updates.removeDependent(data.get(), second.get()); };
    EXPECT_EQ(updates.notifyNow(data.get(), 7), kResultOk);
    EXPECT_EQ(recorder->log, "change 7 ");
    EXPECT_EQ(second->log, "");
    updates.removeDependent(nullptr, recorder.get()); // everywhere
    EXPECT_EQ(updates.notifyNow(data.get(), 7), kResultFalse) << "nobody left to tell";
}

TEST(Framework, TheAudioClockReplacesTheWallClockTimersIncluded) {
    auto clock = IPtr<TimeService>::adopt(new TimeService);
    EXPECT_EQ(clock->isAudioClock(), kResultFalse);
    const double before = clock->currentSeconds();
    clock->setAudioClockSeconds(12.5, 48000.0);
    EXPECT_EQ(clock->isAudioClock(), kResultTrue);
    EXPECT_EQ(clock->currentMilliseconds(), 12500.0);
    EXPECT_DOUBLE_EQ(clock->resolutionMilliseconds(), 1000.0 / 48000.0);
    ASSERT_EQ(clock->startTimer(3, 100), kResultOk);
    clock->setAudioClockSeconds(13.0);
    EXPECT_DOUBLE_EQ(clock->timerElapsed(3), 0.5);
    clock->useWallClock();
    EXPECT_GE(clock->currentSeconds(), before);
}

// ---- controls ------------------------------------------------------------------------------

class Listener final : public IPlugController, public IValueStringRepresentation {
public:
    virtual ~Listener() = default;
    tresult QueryInterface(const TUID&, void** obj) override { return *obj = nullptr, kNoInterface; }
    uint32_t AddRef() override { return 2; }
    uint32_t Release() override { return 1; }
    tresult findControl(const char*, IControl**) override { return kResultFalse; }
    tresult controlChanged(IControl* control, int32_t tag) override {
        return calls.emplace_back(tag, control->getRealValue()), kResultOk;
    }
    tresult valueToText(IControl* control, IStringValue* text) override {
        return refuse ? kResultFalse : text->setText(control->getIntValue() ? u"LU" : u"LUFS");
    }
    tresult textToValue(IControl*, const char16_t*) override { return kResultFalse; }
    std::vector<std::pair<int32_t, float>> calls;
    bool refuse = false;
};

TEST(Controls, ValuesStayWithinTheirRangeAndOnlyNotifyingChangesReachTheListener) {
    auto c = IPtr<ContinuousControl>::adopt(new ContinuousControl);
    c->setRealMin(-80.0f);
    c->setRealMax(20.0f);
    c->setRealValue(-23.0f, 0);
    EXPECT_FLOAT_EQ(c->getNormalized(), 0.57f);
    c->setNormalized(0.25f, 0);
    EXPECT_FLOAT_EQ(c->getRealValue(), -55.0f);
    const std::pair<float, float> clamped[] = {{50.0f, 20.0f}, {-100.0f, -80.0f}};
    for (const auto& [in, out] : clamped) {
        c->setRealValue(in, 0);
        EXPECT_FLOAT_EQ(c->getRealValue(), out);
    }
    EXPECT_EQ(c->setRealValue(std::nanf(""), 0), kInvalidArgument);
    EXPECT_FLOAT_EQ(c->getRealValue(), -80.0f);

    auto i = IPtr<IntegerControl>::adopt(new IntegerControl);
    i->setIntMax(4);
    i->setNormalized(0.6f, 0); // 2.4
    EXPECT_EQ(i->getIntValue(), 2);
    auto s = IPtr<SwitchControl>::adopt(new SwitchControl);
    for (const auto& [in, out] : {std::pair{0.5f, 1}, {0.49f, 0}, {0.7f, 1}}) {
        s->setRealValue(in, 0);
        EXPECT_EQ(s->getIntValue(), out) << in;
    }

    Listener listener;
    i->setListener(&listener, 48);
    i->setIntValue(1, 0);
    EXPECT_TRUE(listener.calls.empty());
    i->setIntValue(0, 1);
    i->setNormalized(1.0f, 1);
    EXPECT_EQ(listener.calls, (std::vector<std::pair<int32_t, float>>{{48, 0.0f}, {48, 4.0f}}));
}

TEST(Controls, TextsComeFromTheControllerWhileItAnswersAndAreCutToTheirBuffers) {
    Listener hook;
    auto c = IPtr<IntegerControl>::adopt(new IntegerControl);
    c->setIntMax(1);
    c->setIntValue(1, 0);
    EXPECT_EQ(c->valueText(), "1");
    queryInterface<IControlValueTextHook>(c->asControl())->setValueStringRepresentation(&hook);
    EXPECT_EQ(c->valueText(), "LU");
    hook.refuse = true;
    EXPECT_EQ(c->valueText(), "1") << "its own text when the controller refuses";

    auto t = IPtr<TextControl>::adopt(new TextControl);
    t->setText(u"00:01:23", 0);
    char buffer[6];
    int32_t size = sizeof buffer;
    ASSERT_EQ(t->getText(buffer, &size), kResultOk);
    EXPECT_STREQ(buffer, "00:01");
    t->setText(std::u16string(TextControl::kMaxUnits + 10, u'x').c_str(), 0);
    EXPECT_EQ(t->text().size(), size_t(TextControl::kMaxUnits));
    EXPECT_EQ(c->setText(u"x", 0), kResultFalse) << "only text controls hold texts";
}

TEST(Controls, TextsSetFromAnotherThreadAreReadWhole) {
    auto t = IPtr<TextControl>::adopt(new TextControl);
    t->setText(u"00:00:00", 0);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        for (int n = 0; !stop; ++n) t->setText(n % 2 ? u"00:00:00" : u"11:11:11", 0);
    });
    for (int n = 0; n < 20000; ++n) {
        const std::string seen = t->text();
        ASSERT_TRUE(seen == "00:00:00" || seen == "11:11:11") << seen;
    }
    stop = true;
    audio.join();
}

} // namespace
} // namespace HostViewTest
