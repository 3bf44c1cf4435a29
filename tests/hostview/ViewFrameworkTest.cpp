// The framework as a plug-in meets it: idle ticks that deliver deferred
// changes, change notification; and its controls: ranges, notification,
// texts set from another thread.

#include "tests/hostview/HostViewTestSupport.h"

#include <atomic>
#include <cmath>
#include <functional>
#include <thread>

#include "host/view/TextControl.h"
#include "interfaces/IDependent.h"

namespace HostViewTest {
namespace {

using namespace NivoloHost;

IPtr<FUnknown> create(ViewFramework& framework, const TUID& id) {
    void* out = nullptr;
    if (framework.createInstance(id, &out, nullptr) != kResultOk) return {};
    return IPtr<FUnknown>::adopt(static_cast<FUnknown*>(out));
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

// ---- controls ------------------------------------------------------------------------------

class Listener final : public IPlugController {
public:
    virtual ~Listener() = default;
    tresult QueryInterface(const TUID&, void** obj) override { return *obj = nullptr, kNoInterface; }
    uint32_t AddRef() override { return 2; }
    uint32_t Release() override { return 1; }
    tresult findControl(const char*, IControl**) override { return kResultFalse; }
    tresult controlChanged(IControl* control, int32_t tag) override {
        return calls.emplace_back(tag, control->getRealValue()), kResultOk;
    }
    std::vector<std::pair<int32_t, float>> calls;
};

TEST(Controls, ValuesAreQuantisedWithinTheirRangeAndOnlyNotifyingChangesReachTheListener) {
    auto framework = IPtr<ViewFramework>::adopt(new ViewFramework);
    const std::tuple<const TUID*, float, float, float, float> cases[] = {
        {&ContinuousControl_cid, -80, 20, -23, -23}, {&ContinuousControl_cid, -80, 20, 50, 20},
        {&ContinuousControl_cid, -80, 20, -100, -80}, {&IntegerControl_cid, 0, 4, 2.4f, 2},
        {&SwitchControl_cid, 0, 1, 0.5f, 1}, {&SwitchControl_cid, 0, 1, 0.49f, 0}};
    for (const auto& [kind, min, max, value, expected] : cases) {
        IPtr<IControl> c = queryInterface<IControl>(create(*framework, *kind).get());
        c->setRealMin(min);
        c->setRealMax(max);
        c->setRealValue(value, 0);
        EXPECT_FLOAT_EQ(c->getRealValue(), expected) << value;
        EXPECT_FLOAT_EQ(c->getNormalized(), (expected - min) / (max - min)) << value;
        EXPECT_EQ(c->setRealValue(std::nanf(""), 0), kInvalidArgument);
        EXPECT_FLOAT_EQ(c->getRealValue(), expected);
    }
    Listener listener;
    IPtr<IControl> i = queryInterface<IControl>(create(*framework, IntegerControl_cid).get());
    i->setIntMax(4);
    i->setListener(&listener, 48);
    i->setIntValue(1, 0);
    i->setIntValue(0, 1);
    i->setNormalized(1.0f, 1);
    EXPECT_EQ(listener.calls, (std::vector<std::pair<int32_t, float>>{{48, 0.0f}, {48, 4.0f}}));
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
