// Level-meter parameters: their texts in decibels, the values pushed to the
// meter data on the idle tick, and the processor's channel and activity
// messages.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ControllerTestSupport.h"
#include "controller/EditController2Vu.h"
#include "editor/VuMeterData.h"
#include "host/HostMessage.h"

namespace ControllerTesting {
namespace {

using Param::ParameterRecord;

constexpr int32_t kIn0 = 20, kIn1 = 21, kInPeak = 22, kOut0 = 30, kOutPeak = 31;

ParameterRecord meterRecord(uint32_t id, const char* format) {
    ParameterRecord r{};
    r.id = id;
    std::snprintf(r.name, sizeof r.name, "vu%u", id);
    r.maxValue = 1.0;
    r.kind = ParameterRecord::kContinuous;
    std::strcpy(r.format, format);
    return r;
}

// Two input meters with a peak, one output meter with its own peak.
class VuController : public EditController2Vu {
public:
    VuController(const ParameterRecord* table, int32_t count)
        : EditController2Vu(nullptr, 0, table, count, nullptr, 0) {
        setMeterRanges(kIn0, 2, kInPeak, kOut0, 1, kOutPeak);
    }
};

class VuRig : public ::testing::Test {
protected:
    ParameterRecord table_[3] = {meterRecord(kIn0, "%.1f"), meterRecord(kIn1, ""), meterRecord(kOut0, "%.2f")};
    ControllerRig<VuController> rig_{new VuController(table_, 3)};
    VuController& vu() { return *rig_.controller; }

    void send(const char* id, std::initializer_list<std::pair<const char*, int64_t>> values) {
        auto message = IPtr<NivoloHost::HostMessage>::adopt(new NivoloHost::HostMessage);
        message->assignMessageId(id);
        for (const auto& [key, value] : values) message->attributeSet()->setInt(key, value);
        EXPECT_EQ(vu().notify(message.get()), kResultOk);
    }
    float position(VuMeterData* data, int32_t id) {
        float value = -1.0f;
        EXPECT_TRUE(data->getValue(id, value));
        return value;
    }
};

TEST_F(VuRig, MeterValueTextsAreDecibelsWithSilenceAsMinusInfinity) {
    EXPECT_EQ(textOf(vu(), kIn0, 0.0), "-\u221E");
    EXPECT_EQ(textOf(vu(), kIn0, 1e-10), "-\u221E") << "below -180 dB";
    EXPECT_EQ(textOf(vu(), kIn0, 1.0), "0.0");
    char expected[32];
    std::snprintf(expected, sizeof expected, "%.1f", 20.0 * std::log10(0.5));
    EXPECT_EQ(textOf(vu(), kIn0, 0.5), expected);
    EXPECT_EQ(textOf(vu(), kIn1, 1.0), "") << "an empty format shows nothing";
    std::snprintf(expected, sizeof expected, "%.2f", 20.0 * std::log10(2.0));
    EXPECT_EQ(textOf(vu(), kOut0, 2.0), expected);
    EXPECT_EQ(textOf(vu(), kInPeak, 1.0), "0.0") << "no record: the default format";
}

TEST_F(VuRig, LevelsReachTheMeterDataOnTheIdleTickForTheAnnouncedChannels) {
    send(MeterMessages::kChannels, {{"nChannelsIn", 1}, {"nChannelsOut", 1}});
    EXPECT_EQ(vu().setNormalizedValue(kIn0, 1.0), kResultOk);
    EXPECT_EQ(vu().setNormalizedValue(kIn1, 1.0), kResultOk);
    VuMeterData* in = vu().inputMeterData();
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(position(in, kIn0), 0.0f) << "nothing before the tick";
    rig_.root->idle->tick();
    // 0 dB on the built-in scale: 1 + (log10 i - log10 999) * (-0.68 / (log10 i24 - log10 999)).
    const double s = 999.0 / std::pow(10.0, 0.15);
    const double index = std::floor(1.0 * s + 0.5);
    const double i24 = std::pow(10.0, -1.2) * s;
    const double expected =
        1.0 + (std::log10(index) - std::log10(999.0)) * (-0.68 / (std::log10(i24) - std::log10(999.0)));
    EXPECT_NEAR(position(in, kIn0), expected, 1e-4);
    EXPECT_EQ(position(in, kIn1), 0.0f) << "one input channel announced";
    ASSERT_FALSE(rig_.peer->received.empty());
    EXPECT_EQ(rig_.peer->received.back().id, "PluginDataGet");
}

TEST_F(VuRig, MetersStoppedByTheProcessorFeedSilence) {
    send(MeterMessages::kChannels, {{"nChannelsIn", 2}, {"nChannelsOut", 1}});
    send(MeterMessages::kMetersProcessing, {{"vuMetersProcessing", 1}});
    EXPECT_TRUE(vu().metersProcessing());
    vu().setNormalizedValue(kIn0, 1.0);
    rig_.root->idle->tick();
    const float full = position(vu().inputMeterData(), kIn0);
    send(MeterMessages::kMetersProcessing, {{"vuMetersProcessing", 0}});
    EXPECT_FALSE(vu().metersProcessing());
    // A quarter second later a silent feed lets the level fall to 1 - 2 * 0.25 = 0.5;
    // the old value would have held it at full scale.
    rig_.root->time->milliseconds += 250.0;
    rig_.root->idle->tick();
    EXPECT_LT(position(vu().inputMeterData(), kIn0), full);
    EXPECT_GT(position(vu().inputMeterData(), kIn0), 0.0f);
}

TEST_F(VuRig, PeakValueReachesTheDataAndAResetOnAMeterViewAsksTheProcessorForThatSide) {
    EXPECT_EQ(vu().setNormalizedValue(kOutPeak, 0.25), kResultOk);
    EXPECT_EQ(position(vu().outputMeterData(), VuMeterData::kIdPeakValue), 0.25f);
    vu().inputMeterData()->notifyOwner(DataObject2::kMsgPeakReset);
    vu().outputMeterData()->notifyOwner(DataObject2::kMsgPeakReset);
    ASSERT_EQ(rig_.peer->received.size(), 2u);
    EXPECT_EQ(rig_.peer->received[0].id, "resetMaxLevelIn");
    EXPECT_EQ(rig_.peer->received[1].id, "resetMaxLevelOut");
    EXPECT_TRUE(rig_.peer->received[1].hasInt);
}

TEST(VuRanges, LevelsArrivingBeforeInitializeAreTakenWithoutMeterData) {
    ParameterRecord table[3] = {meterRecord(kIn0, "%.1f"), meterRecord(kIn1, ""), meterRecord(kOut0, "%.2f")};
    auto vu = IPtr<VuController>::adopt(new VuController(table, 3));
    // The ranges are known from construction; the meter data comes with initialize.
    EXPECT_EQ(vu->setNormalizedValue(kIn1, 0.5), kResultOk);
    EXPECT_EQ(vu->setNormalizedValue(kOut0, 0.5), kResultOk);
    EXPECT_EQ(vu->setNormalizedValue(kInPeak, 0.5), kResultOk);
    EXPECT_EQ(vu->inputMeterData(), nullptr);
}

} // namespace
} // namespace ControllerTesting
