// The framework's controls: values within ranges and their normalised form,
// reporting user changes to the listener, defaults and flags, value texts
// through the controller's hook, and texts set from other threads.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "host/view/ContinuousControl.h"
#include "host/view/IntegerControl.h"
#include "host/view/StringValue.h"
#include "host/view/SwitchControl.h"
#include "host/view/TextControl.h"
#include "tests/hostview/HostViewTestSupport.h"

namespace {

using namespace HostViewTest;
using namespace NivoloHost;

template <class T>
IPtr<T> make() {
    return IPtr<T>::adopt(new T);
}

// A stack object standing in for a listener or a hook: never counted.
template <class Interface>
class Uncounted : public Interface {
public:
    virtual ~Uncounted() = default;
    tresult QueryInterface(const TUID&, void** obj) override {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32_t AddRef() override { return 2; }
    uint32_t Release() override { return 1; }
};

class Listener final : public Uncounted<IPlugController> {
public:
    tresult findControl(const char*, IControl**) override { return kResultFalse; }
    tresult controlChanged(IControl* control, int32_t tag) override {
        calls.push_back({tag, control->getRealValue()});
        return kResultOk;
    }
    std::vector<std::pair<int32_t, float>> calls;
};

// Writes the value in its own way, or refuses.
class Hook final : public Uncounted<IValueStringRepresentation> {
public:
    tresult valueToText(IControl* control, IStringValue* text) override {
        if (refuse) return kResultFalse;
        return text->setText(control->getIntValue() ? u"LU" : u"LUFS");
    }
    tresult textToValue(IControl*, const char16_t*) override { return kResultFalse; }
    bool refuse = false;
};

TEST(Controls, ValuesMapTheirRangeLinearlyStayWithinItAndIntegersStayWhole) {
    auto c = make<ContinuousControl>();
    c->setRealMin(-80.0f);
    c->setRealMax(20.0f);
    c->setRealValue(-23.0f, 0);
    EXPECT_FLOAT_EQ(c->getNormalized(), (-23.0f + 80.0f) / 100.0f);
    c->setNormalized(0.25f, 0);
    EXPECT_FLOAT_EQ(c->getRealValue(), -80.0f + 0.25f * 100.0f);
    c->setRealValue(50.0f, 0);
    EXPECT_FLOAT_EQ(c->getRealValue(), 20.0f);
    c->setNormalized(-1.0f, 0);
    EXPECT_FLOAT_EQ(c->getRealValue(), -80.0f);
    EXPECT_EQ(c->setRealValue(std::nanf(""), 0), kInvalidArgument);
    EXPECT_FLOAT_EQ(c->getRealValue(), -80.0f);

    auto i = make<IntegerControl>();
    i->setIntMin(0);
    i->setIntMax(4);
    i->setNormalized(0.6f, 0); // 2.4
    EXPECT_EQ(i->getIntValue(), 2);
    EXPECT_FLOAT_EQ(i->getNormalized(), 0.5f);
    auto s = make<SwitchControl>();
    s->setRealValue(0.7f, 0);
    EXPECT_EQ(s->getIntValue(), 1);
    s->setNormalized(0.2f, 0);
    EXPECT_EQ(s->getIntValue(), 0);
}

TEST(Controls, OnlyNotifyingChangesReachTheListenerWithTheTag) {
    Listener listener;
    auto c = make<IntegerControl>();
    c->setListener(&listener, 48);
    c->setIntValue(1, 0);
    EXPECT_TRUE(listener.calls.empty());
    c->setIntValue(0, 1);
    c->setNormalized(1.0f, 1);
    EXPECT_EQ(listener.calls, (std::vector<std::pair<int32_t, float>>{{48, 0.0f}, {48, 1.0f}}));
    EXPECT_EQ(c->getListener(), &listener);
}

TEST(Controls, DefaultsFlagsAndPrecisionThroughTheExtensions) {
    auto c = make<ContinuousControl>();
    IPtr<IControlExtension> ext = queryInterface<IControlExtension>(c->asControl());
    ASSERT_TRUE(ext);
    c->setRealMin(-10.0f);
    c->setRealMax(10.0f);
    ext->setDefaultValue(5.0f);
    EXPECT_FLOAT_EQ(ext->getDefaultNormalized(), 0.75f);
    ext->resetToDefault(0);
    EXPECT_FLOAT_EQ(c->getRealValue(), 5.0f);
    ext->setFlag(IControlExtension::kFlagAutomatable, 1);
    ext->setFlag(IControlExtension::kFlagWrapAround, 1);
    ext->setFlag(IControlExtension::kFlagAutomatable, 0);
    EXPECT_EQ(ext->getFlags(), IControlExtension::kFlagWrapAround);

    IPtr<IControlPrecision> precision = queryInterface<IControlPrecision>(c->asControl());
    ASSERT_TRUE(precision);
    EXPECT_EQ(precision->setPrecision(3), kResultOk);
    EXPECT_EQ(c->valueText(), "5.000");
    EXPECT_EQ(precision->setPrecision(-1), kInvalidArgument);
    EXPECT_FALSE(queryInterface<IControlPrecision>(make<IntegerControl>()->asControl())) << "continuous controls only";
}

TEST(Controls, ValueTextsComeFromTheHookWhileItAnswers) {
    Hook hook;
    auto c = make<IntegerControl>();
    IPtr<IControlValueTextHook> hooked = queryInterface<IControlValueTextHook>(c->asControl());
    ASSERT_TRUE(hooked);
    c->setIntValue(1, 0);
    EXPECT_EQ(c->valueText(), "1");
    hooked->setValueStringRepresentation(&hook);
    EXPECT_EQ(c->valueText(), "LU");
    hook.refuse = true;
    EXPECT_EQ(c->valueText(), "1") << "the control's own text when the hook refuses";
    hooked->setValueStringRepresentation(nullptr);
    c->setIntValue(0, 0);
    EXPECT_EQ(c->valueText(), "0");
}

TEST(Controls, TextsAreKeptCutToTheirBuffersAndHeldOnlyByTextControls) {
    auto t = make<TextControl>();
    t->setText(u"00:01:23", 0);
    char buffer[6];
    int32_t size = sizeof buffer;
    ASSERT_EQ(t->getText(buffer, &size), kResultOk);
    EXPECT_STREQ(buffer, "00:01");
    EXPECT_EQ(size, 5);
    EXPECT_EQ(t->valueText(), "00:01:23");
    t->setText(std::u16string(TextControl::kMaxUnits + 10, u'x').c_str(), 0);
    EXPECT_EQ(t->text().size(), static_cast<size_t>(TextControl::kMaxUnits));
    t->setText(nullptr, 0);
    EXPECT_EQ(t->text(), "");
    EXPECT_EQ(make<IntegerControl>()->setText(u"x", 0), kResultFalse);

    auto v = make<StringValue>();
    EXPECT_FALSE(v->wasSet());
    v->setText(u"-23.0");
    char16_t out[4];
    ASSERT_EQ(v->getText(out, 4), kResultOk);
    EXPECT_EQ(std::u16string(out), u"-23");
    EXPECT_EQ(v->utf8(), "-23.0");
    EXPECT_EQ(v->getText(out, 0), kInvalidArgument);
}

TEST(Controls, TextsSetFromAnotherThreadAreReadWhole) {
    auto t = make<TextControl>();
    const std::u16string a = u"00:00:00", b = u"11:11:11";
    t->setText(a.c_str(), 0);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        for (int n = 0; !stop; ++n) t->setText((n % 2 ? a : b).c_str(), 0);
    });
    for (int n = 0; n < 20000; ++n) {
        const std::string seen = t->text();
        ASSERT_TRUE(seen == "00:00:00" || seen == "11:11:11") << seen;
    }
    stop = true;
    audio.join();
}

} // namespace
