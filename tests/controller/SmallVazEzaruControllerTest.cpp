// The loudness meter's controller: value texts in LUFS and LU, the readings
// feeding the momentary bar and the short-term indicator, the user's buttons,
// the elapsed-time text, polling, control lookup, the editor and its custom
// view, the interfaces it answers, and running without a view framework.

#include <gtest/gtest.h>

#include "ControllerTestSupport.h"
#include "controller/ParameterIds.h"
#include "controller/SmallVazEzaruController.h"
#include "editor/HostFramework.h"
#include "editor/LinearVuMeterPhData.h"
#include "editor/MeterViewFactory.h"
#include "host/HostMessage.h"
#include "interfaces/IAudioProcessor.h"
#include "interfaces/IStringValue.h"
#include "interfaces/IUnitInfo.h"

namespace ControllerTesting {
namespace {

using namespace Param;

class MeterController : public ::testing::Test {
protected:
    ControllerRig<SmallVazEzaruController> rig_{new SmallVazEzaruController};
    SmallVazEzaruController& controller() { return *rig_.controller; }

    double normalized(uint32_t id, double plain) {
        return controller().plainToNormalizedValue(static_cast<int32_t>(id), plain);
    }
    std::string text(uint32_t id, double plain) {
        return textOf(controller(), static_cast<int32_t>(id), normalized(id, plain));
    }
    void selectLu() { controller().setNormalizedValue(kScaleModeLoudness, 1.0); }
    float momentaryPosition() {
        float value = -1.0f;
        EXPECT_TRUE(controller().momentaryMeter()->getValue(kLoudnessM, value));
        return value;
    }
    float indicatorAt(double shortTerm) {
        controller().setNormalizedValue(kLoudnessS, normalized(kLoudnessS, shortTerm));
        return controller().viewControls()->findByTag(SmallVazEzaruController::kIndicatorTag)->getRealValue();
    }
    IPtr<NivoloHost::HostMessage> timeMessage(const char16_t* time) {
        auto message = IPtr<NivoloHost::HostMessage>::adopt(new NivoloHost::HostMessage);
        message->assignMessageId("time");
        if (time) message->attributeSet()->setString("time", time);
        return message;
    }
};

// ---- Value texts --------------------------------------------------------------------

TEST_F(MeterController, ReadingsShowOneDecimalAndDashesBelowTheFloorOfTheUnit) {
    struct Case {
        bool lu;
        uint32_t id;
        double plain;
        const char* text;
    } cases[] = {
        {false, kLoudnessM, -80.0, "--"},      {false, kLoudnessM, -79.9, "-79.9"},
        {false, kLoudnessI, -57.0, "-57.0"},   {false, kTruePeak, -80.0, "--"},
        {false, kTruePeak, -0.5, "-0.5"},      {false, kLoudnessRange, 0.0, "0.0"},
        {false, kLoudnessRange, 12.34, "12.3"}, // the range is always a number
        {true, kLoudnessM, -57.0, "--"},       {true, kLoudnessM, -56.9, "-56.9"},
        {true, kLoudnessSTMax, -57.0, "--"},   {true, kLoudnessRange, 0.0, "0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.lu ? "LU " : "LUFS ") << c.id << " " << c.plain);
        controller().setNormalizedValue(kScaleModeLoudness, c.lu ? 1.0 : 0.0);
        EXPECT_EQ(text(c.id, c.plain), c.text);
    }
}

TEST_F(MeterController, UnitSwitchAndButtonsShowTheirWords) {
    EXPECT_EQ(textOf(controller(), kScaleModeLoudness, 0.5), "LU");
    EXPECT_EQ(textOf(controller(), kScaleModeLoudness, 0.49), "LUFS");
    EXPECT_EQ(textOf(controller(), kResetLoudness, 0.49), "Off");
    EXPECT_EQ(textOf(controller(), kResetLoudness, 0.5), "On");
    EXPECT_EQ(textOf(controller(), 999, 0.5), "") << "no record";
}

// ---- Readings ------------------------------------------------------------------------

TEST_F(MeterController, ShortTermIndicatorSpans54LuFromMinus59Lufs) {
    EXPECT_EQ(indicatorAt(-59.0), 0.0f);
    EXPECT_EQ(indicatorAt(-5.0), 1.0f);
    EXPECT_EQ(indicatorAt(-4.0), 1.0f);
    EXPECT_FLOAT_EQ(indicatorAt(-32.0), (-32.0f + 59.0f) / 54.0f);
    EXPECT_EQ(indicatorAt(-70.0), 0.0f);
    selectLu();
    EXPECT_EQ(indicatorAt(-36.0), 0.0f);
    EXPECT_EQ(indicatorAt(18.0), 1.0f);
    EXPECT_FLOAT_EQ(indicatorAt(-9.0), (-9.0f + 36.0f) / 54.0f);
}

TEST_F(MeterController, MomentaryLoudnessFeedsTheBarOver54LuFromTheFloorOfTheUnit) {
    controller().setNormalizedValue(kLoudnessM, normalized(kLoudnessM, -23.0));
    EXPECT_NEAR(momentaryPosition(), (-23.0 + 59.0) / 54.0, 1e-6);
    selectLu();
    controller().setNormalizedValue(kLoudnessM, normalized(kLoudnessM, 0.0));
    EXPECT_NEAR(momentaryPosition(), (0.0 + 36.0) / 54.0, 1e-6);
}

TEST_F(MeterController, ReadingsLandInTheirControlsAndOthersAreRefused) {
    EXPECT_EQ(controller().setNormalizedValue(kLoudnessI, 0.25), kResultOk);
    EXPECT_DOUBLE_EQ(controller().normalizedValueOf(kLoudnessI), 0.25);
    EXPECT_EQ(controller().setNormalizedValue(kLoudnessIOver, 1.0), kResultOk);
    EXPECT_EQ(rig_.control(kLoudnessIOver)->getIntValue(), 1);
    EXPECT_EQ(controller().setNormalizedValue(45, 1.0), kResultFalse) << "collector state has no control";
    // The momentary maximum goes to the bar's peak as received.
    controller().setNormalizedValue(kLoudnessMMax, 0.3);
    float peak = -1.0f;
    EXPECT_TRUE(controller().momentaryMeter()->getValue(VuMeterData::kIdPeakValue, peak));
    EXPECT_EQ(peak, 0.3f);
}

// ---- User input ----------------------------------------------------------------------

TEST_F(MeterController, ResetAndUnitClicksActAndReportTheEdits) {
    controller().setNormalizedValue(kLoudnessM, normalized(kLoudnessM, -23.0));
    ASSERT_GT(controller().momentaryMeter()->maximum(0), 0.0f);
    rig_.control(kResetLoudness)->setIntValue(1, 1); // the host's control after a click
    EXPECT_EQ(controller().momentaryMeter()->maximum(0), 0.0f);
    rig_.control(kScaleModeLoudness)->setIntValue(1, 1);
    EXPECT_TRUE(controller().luMode());
    EXPECT_EQ(text(kLoudnessM, -57.0), "--");
    ASSERT_EQ(rig_.handler->edits.size(), 2u);
    EXPECT_EQ(rig_.handler->edits[0].call, "perform");
    EXPECT_EQ(rig_.handler->edits[0].id, int32_t(kResetLoudness));
    EXPECT_EQ(rig_.handler->edits[0].value, 1.0);
    EXPECT_EQ(rig_.handler->edits[1].id, int32_t(kScaleModeLoudness));
}

TEST_F(MeterController, ResetArrivingWithTheStateClearsTheMaximaSilently) {
    controller().setNormalizedValue(kLoudnessM, normalized(kLoudnessM, -23.0));
    ASSERT_GT(controller().momentaryMeter()->maximum(0), 0.0f);
    controller().applyProcessorState(stateStream(144, {{int32_t(kResetLoudness), 1.0}}).get());
    EXPECT_EQ(rig_.control(kResetLoudness)->getIntValue(), 1);
    EXPECT_EQ(controller().momentaryMeter()->maximum(0), 0.0f);
    EXPECT_TRUE(rig_.handler->edits.empty());
    EXPECT_FALSE(controller().isLoading());
}

TEST_F(MeterController, GesturesBracketTheEdit) {
    FakeControl* reset = rig_.control(kResetTruePeak);
    controller().beginGesture(reset);
    reset->setIntValue(1, 1);
    controller().endGesture(reset);
    ASSERT_EQ(rig_.handler->edits.size(), 3u);
    EXPECT_EQ(rig_.handler->edits[0].call, "begin");
    EXPECT_EQ(rig_.handler->edits[2].call, "end");
    EXPECT_EQ(rig_.handler->edits[2].id, int32_t(kResetTruePeak));
}

// ---- Messages and polling ------------------------------------------------------------

TEST_F(MeterController, TimeMessageBecomesTheTimeText) {
    EXPECT_EQ(controller().notify(timeMessage(u"01:02:03").get()), kResultOk);
    EXPECT_EQ(rig_.control(kTime)->text(), u"01:02:03");
    EXPECT_EQ(textOf(controller(), kTime, 0.0), "01:02:03");
    EXPECT_EQ(controller().notify(timeMessage(nullptr).get()), kResultOk);
    EXPECT_EQ(rig_.control(kTime)->text(), u"01:02:03") << "no attribute: ignored";
}

TEST_F(MeterController, EveryIdleTickAsksTheProcessorForDataOnce) {
    for (int i = 0; i < 3; ++i) rig_.root->idle->tick();
    ASSERT_EQ(rig_.peer->received.size(), 3u);
    for (const FakePeer::Received& message : rig_.peer->received) {
        EXPECT_EQ(message.id, "PluginDataGet");
        EXPECT_TRUE(message.hasInt);
        EXPECT_EQ(message.value, 0);
    }
    controller().disconnect(rig_.peer.get());
    rig_.root->idle->tick();
    EXPECT_EQ(rig_.peer->received.size(), 3u) << "no peer, nothing sent";
}

// ---- Lookup, texts for the host's controls, editor ------------------------------------

TEST_F(MeterController, ControlsAreFoundByExactNameIndicatorIncluded) {
    IControl* found = nullptr;
    ASSERT_EQ(controller().findControl("loudnessM", &found), kResultOk);
    EXPECT_EQ(found->getTag(), int32_t(kLoudnessM));
    found->Release();
    found = reinterpret_cast<IControl*>(0x1);
    EXPECT_EQ(controller().findControl("loudnessm", &found), kResultFalse);
    EXPECT_EQ(found, nullptr);
    ASSERT_EQ(controller().findControl("LoudnessSIndicator", &found), kResultOk);
    EXPECT_EQ(found->getTag(), SmallVazEzaruController::kIndicatorTag);
    found->Release();
}

TEST_F(MeterController, ControlsAskTheControllerForTheirTextsExceptTheTimeText) {
    for (uint32_t id : {kBypass, kLoudnessM, kResetLoudness, kScaleModeLoudness, kAbout})
        EXPECT_EQ(rig_.control(static_cast<int32_t>(id))->representation,
                  static_cast<IValueStringRepresentation*>(&controller()))
            << "id " << id;
    EXPECT_EQ(rig_.control(kTime)->representation, nullptr);
}

// The host's holder of a value text.
class FakeStringValue : public FakeObject<IStringValue> {
public:
    tresult getText(char16_t*, int32_t) override { return kResultFalse; }
    tresult setText(const char16_t* value) override {
        text = value;
        return kResultOk;
    }
    std::u16string text;
};

TEST_F(MeterController, HostControlsGetTheirTextsAndTakeTypedValues) {
    FakeControl* momentary = rig_.control(kLoudnessM);
    momentary->setNormalized(static_cast<float>(normalized(kLoudnessM, -16.0)), 0); // exactly 0.5
    FakeStringValue value;
    IValueStringRepresentation& texts = controller();
    ASSERT_EQ(texts.valueToText(momentary, &value), kResultOk);
    EXPECT_EQ(value.text, u"-16.0");
    ASSERT_EQ(texts.textToValue(momentary, u"-48"), kResultOk);
    EXPECT_FLOAT_EQ(momentary->getNormalized(), 0.25f); // (-48 + 80) / 128
    EXPECT_EQ(texts.textToValue(momentary, u"loud"), kResultFalse);
    EXPECT_FLOAT_EQ(momentary->getNormalized(), 0.25f);
    ASSERT_EQ(rig_.handler->edits.size(), 1u) << "a typed value is the user's edit";
    EXPECT_EQ(rig_.handler->edits[0].value, 0.25);
}

TEST_F(MeterController, EditorComesFromTheSkinTemplate) {
    IPlugView* editor = controller().createView("editor");
    ASSERT_NE(editor, nullptr);
    editor->Release();
    ASSERT_EQ(rig_.root->skin->templatesAsked.size(), 1u);
    EXPECT_EQ(rig_.root->skin->templatesAsked[0], "DuravIrorSmallVazEzaru");
    EXPECT_EQ(rig_.root->skin->viewController, static_cast<IPlugController*>(&controller()));
    EXPECT_EQ(controller().createView("Editor"), nullptr);
}

TEST_F(MeterController, MomentaryViewIsHandedOutAsAHostView) {
    rig_.root->skin->addBitmap(kMeterForeBitmap, 19, 230);
    rig_.root->skin->addBitmap(kMeterBackBitmap, 19, 230);
    auto parent = IPtr<Fakes::PlainService>::adopt(new Fakes::PlainService);
    FUnknown* view = parent->unknown();
    const ViewRect rect{0, 0, 19, 230};
    EXPECT_EQ(controller().createView("loudnessMView", &rect, &view), kResultOk);
    ASSERT_EQ(rig_.root->hostViews.size(), 1u);
    EXPECT_EQ(view, static_cast<FUnknown*>(rig_.root->hostViews[0]));
    view->Release();
    view = parent->unknown();
    EXPECT_EQ(controller().createView("loudnessSView", &rect, &view), kResultOk);
    EXPECT_EQ(view, parent->unknown()) << "other names leave the parent in place";
}

// ---- Interfaces and identity -----------------------------------------------------------

TEST_F(MeterController, AnswersTheControllerInterfacesButNotTheProcessors) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(controller().QueryInterface(IAudioProcessor_iid, &out), kNoInterface);
    EXPECT_EQ(out, nullptr);
    for (const TUID* iid : {&FUnknown_iid, &IEditController_iid, &IEditController2_iid, &IPlugController_iid,
                            &IPlugController4_iid, &IViewBuilder_iid, &IIdleHandler_iid,
                            &IValueStringRepresentation_iid, &IConnectionPoint_iid, &IPluginBase_iid}) {
        ASSERT_EQ(controller().QueryInterface(*iid, &out), kResultOk);
        static_cast<FUnknown*>(out)->Release();
        EXPECT_EQ(identityOf(static_cast<FUnknown*>(out)), controller().unknownCast());
    }
    IPtr<IUnitInfo> units = queryInterface<IUnitInfo>(controller().unknownCast());
    ASSERT_TRUE(units);
    EXPECT_EQ(units->unitCount(), 2);
}

TEST_F(MeterController, TerminateGivesBackIdleRegistrationAndFramework) {
    EXPECT_EQ(rig_.root->idle->handlers.size(), 1u);
    controller().terminate();
    EXPECT_TRUE(rig_.root->idle->handlers.empty());
    EXPECT_EQ(HostFramework::controllerUsers(), 0);
    EXPECT_EQ(controller().getParameterCount(), 0);
}

// ---- Without a view framework ------------------------------------------------------------

TEST(MeterControllerWithoutFramework, HasNoParametersOrTextsButFollowsTheReadings) {
    using Rig = ControllerRig<SmallVazEzaruController>;
    Rig rig(new SmallVazEzaruController, Rig::Framework::Without);
    SmallVazEzaruController& controller = *rig.controller;
    EXPECT_EQ(controller.getParameterCount(), 0);
    tresult result = kResultOk;
    textOf(controller, kLoudnessM, 0.5, &result);
    EXPECT_EQ(result, kResultFalse);
    EXPECT_EQ(controller.setNormalizedValue(kScaleModeLoudness, 1.0), kResultFalse);
    EXPECT_TRUE(controller.luMode());
    controller.setNormalizedValue(kLoudnessM, controller.plainToNormalizedValue(kLoudnessM, 0.0));
    float position = -1.0f;
    ASSERT_NE(controller.momentaryMeter(), nullptr);
    EXPECT_TRUE(controller.momentaryMeter()->getValue(kLoudnessM, position));
    EXPECT_NEAR(position, 36.0 / 54.0, 1e-6);
    EXPECT_EQ(controller.createView("editor"), nullptr);
}

} // namespace
} // namespace ControllerTesting
