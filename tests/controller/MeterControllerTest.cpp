// The loudness meter's controller in our host's view framework: the texts and
// ranges host and editor show, the momentary bar and the short-term indicator,
// typed values, the elapsed time and the data requests, and the controller
// without a framework.

#include "tests/hostview/HostViewTestSupport.h"

#include "editor/LinearVuMeterPhData.h"
#include "host/HostMessage.h"

namespace HostViewTest {
namespace {

using namespace Param;

TEST(MeterController, ValueTextsShowOneDecimalWordsAndDashesBelowTheFloorOfTheUnit) {
    MeterRig rig;
    struct Case {
        bool lu;
        uint32_t id;
        double plain;
        const char* text;
    } cases[] = {
        {false, kLoudnessM, -80.0, "--"},       {false, kLoudnessM, -79.9, "-79.9"},   {false, kLoudnessI, -57.0, "-57.0"},
        {false, kTruePeak, -80.0, "--"},        {false, kTruePeak, -0.5, "-0.5"},      {false, kLoudnessRange, 0.0, "0.0"},
        {false, kLoudnessRange, 12.34, "12.3"}, {true, kLoudnessM, -57.0, "--"},       {true, kLoudnessM, -56.9, "-56.9"},
        {true, kLoudnessSTMax, -57.0, "--"},    {true, kLoudnessRange, 0.0, "0.0"},    {true, kLoudnessS, 18.0, "18.0"},
        // Words rather than numbers, at normalized values.
        {false, kScaleModeLoudness, 0.5, "LU"}, {false, kScaleModeLoudness, 0.49, "LUFS"},
        {false, kResetLoudness, 0.49, "Off"},   {false, kBypass, 0.5, "On"},           {false, 999, 0.5, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.lu ? "LU " : "LUFS ") << c.id << " " << c.plain);
        rig.controller->setNormalizedValue(kScaleModeLoudness, c.lu ? 1.0 : 0.0);
        const bool word = c.id == kScaleModeLoudness || c.id == kResetLoudness || c.id == kBypass || c.id == 999;
        EXPECT_EQ(rig.text(c.id, word ? c.plain : rig.normalized(c.id, c.plain)), c.text);
    }
}

TEST(MeterController, TheHostLearnsEveryParameterWithItsRangeStepsAndFlags) {
    MeterRig rig;
    EXPECT_EQ(rig.normalized(999, 5.0), 0.0) << "no such parameter";
    EXPECT_EQ(rig.controller->normalizedToPlainValue(999, 0.5), 0.0);

    ASSERT_EQ(rig.controller->getParameterCount(), 16);
    std::map<int32_t, ParameterInfo> infos;
    for (int32_t index = 0; index < 16; ++index) {
        ParameterInfo info{};
        ASSERT_EQ(rig.controller->describeParameter(index, info), kResultOk);
        infos[info.id] = info;
    }
    ASSERT_EQ(infos.size(), 16u);
    EXPECT_EQ(infos[kResetLoudness].stepCount, 1);
    EXPECT_EQ(infos[kResetLoudness].flags, 0);
    EXPECT_EQ(infos[kBypass].flags, 0x10001) << "a bypass is automatable";
    EXPECT_EQ(infos[kLoudnessRange].stepCount, 0);
    EXPECT_EQ(infos[kLoudnessM].flags, 0x2) << "read-only";
    EXPECT_EQ(std::u16string(infos[kLoudnessM].title), u"Momentary");
    EXPECT_DOUBLE_EQ(infos[kLoudnessM].defaultNormalizedValue, 80.0 / 128.0);
}

TEST(MeterController, BarAndIndicatorSpan54LuFromTheBottomOfTheUnit) {
    MeterRig rig;
    struct Case {
        bool lu;
        double plain, position;
    } cases[] = {{false, -59.0, 0.0}, {false, -5.0, 1.0},  {false, -4.0, 1.0},        {false, -70.0, 0.0},
                 {false, -23.0, 36.0 / 54.0}, {true, -36.0, 0.0}, {true, 18.0, 1.0}, {true, 0.0, 36.0 / 54.0},
                 {true, -9.0, 27.0 / 54.0}};
    double seconds = 10.0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.lu ? "LU " : "LUFS ") << c.plain);
        rig.controller->setNormalizedValue(kScaleModeLoudness, c.lu ? 1.0 : 0.0);
        rig.framework->clock().setAudioClockSeconds(seconds += 1.0); // the last bar has fallen
        rig.reading(kLoudnessS, c.plain);
        rig.reading(kLoudnessM, c.plain);
        EXPECT_NEAR(rig.control("LoudnessSIndicator")->getNormalized(), c.position, 1e-6);
        float bar = -1.0f;
        EXPECT_TRUE(rig.controller->momentaryMeter()->getValue(kLoudnessM, bar));
        EXPECT_NEAR(bar, c.position, 1e-6);
    }
    // The momentary maximum goes to the bar's peak as received.
    rig.controller->setNormalizedValue(kLoudnessMMax, 0.3);
    float peak = -1.0f;
    EXPECT_TRUE(rig.controller->momentaryMeter()->getValue(VuMeterData::kIdPeakValue, peak));
    EXPECT_EQ(peak, 0.3f);
}

TEST(MeterController, TypedValuesArePlainNumbersAndTheUsersEdit) {
    MeterRig rig;
    double value = -1.0;
    EXPECT_EQ(rig.controller->textToValue(kLoudnessM, u" -16 ", value), kResultOk);
    EXPECT_DOUBLE_EQ(value, 0.5);
    for (const char16_t* refused : {u"-16 dB", u"", u"loud"})
        EXPECT_EQ(rig.controller->textToValue(kLoudnessM, refused, value), kResultFalse);
    EXPECT_DOUBLE_EQ(value, 0.5) << "a refused text leaves the value alone";

    IControl* momentary = rig.control("loudnessM");
    IValueStringRepresentation& texts = *rig.controller;
    ASSERT_EQ(texts.textToValue(momentary, u"-48"), kResultOk);
    EXPECT_FLOAT_EQ(momentary->getNormalized(), 0.25f);
    EXPECT_EQ(texts.textToValue(momentary, u"loud"), kResultFalse);
    ASSERT_EQ(rig.handler->edits().size(), 1u);
    EXPECT_EQ(rig.handler->edits()[0].id, int32_t(kLoudnessM));
    EXPECT_EQ(rig.handler->edits()[0].value, 0.25);
}

TEST(MeterController, TimeMessagesBecomeTheTimeTextAndEveryIdleTickAsksForData) {
    MeterRig rig;
    auto time = [](const char16_t* text) {
        auto message = IPtr<NivoloHost::HostMessage>::adopt(new NivoloHost::HostMessage);
        message->assignMessageId("time");
        if (text) message->attributeSet()->setString("time", text);
        return message;
    };
    EXPECT_EQ(rig.controller->notify(time(u"01:02:03").get()), kResultOk);
    EXPECT_EQ(rig.text(kTime, 0.0), "01:02:03");
    EXPECT_EQ(rig.controller->notify(time(nullptr).get()), kResultOk);
    EXPECT_EQ(rig.text(kTime, 0.0), "01:02:03") << "no attribute: ignored";

    for (int i = 0; i < 3; ++i) rig.framework->tick();
    EXPECT_EQ(rig.peer->messagesReceived(), 3); // "PluginDataGet": the processor answers it (end-to-end suites)
    rig.controller->disconnect(rig.peer.get());
    rig.framework->tick();
    EXPECT_EQ(rig.peer->messagesReceived(), 3) << "no peer, nothing sent";
}

TEST(MeterController, WithoutAFrameworkThereIsNoEditorButTheReadingsAreFollowed) {
    MeterRig bare(false);
    EXPECT_EQ(bare.controller->getParameterCount(), 0);
    auto state = stateStream({{kLoudnessRange, 3.0}});
    EXPECT_EQ(bare.controller->applyProcessorState(state.get()), kResultOk);
    int64_t position = -1;
    state->tell(&position);
    EXPECT_EQ(position, 0) << "without a framework nothing is read";
    String128 text;
    EXPECT_EQ(bare.controller->valueToText(kLoudnessM, 0.5, text), kResultFalse);
    EXPECT_EQ(bare.controller->createView("editor"), nullptr);
    // The readings are still followed.
    bare.controller->setNormalizedValue(kScaleModeLoudness, 1.0);
    EXPECT_TRUE(bare.controller->luMode());
    bare.reading(kLoudnessM, 0.0);
    float bar = -1.0f;
    EXPECT_TRUE(bare.controller->momentaryMeter()->getValue(kLoudnessM, bar));
    EXPECT_NEAR(bar, 36.0 / 54.0, 1e-6);
}

} // namespace
} // namespace HostViewTest
