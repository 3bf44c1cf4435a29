// Meter data: the built-in level scale, release ballistics with and without
// the framework's clock, peak hold and maxima, the reserved ids, and the
// host's meter settings and level scale when it offers them.

#include <cmath>

#include "EditorTestSupport.h"
#include "editor/LinearVuMeterPhData.h"
#include "editor/VuMeterData.h"
#include "editor/VuMeterPhData.h"

namespace Zel {
namespace {

constexpr int32_t kId = 1;

double decibels(double db) { return std::pow(10.0, db / 20.0); }

float positionFor(VuMeterData& data, double amplitude) {
    data.setValue(kId, static_cast<float>(amplitude));
    float position = -1.0f;
    EXPECT_TRUE(data.getValue(kId, position));
    return position;
}

template <class Data>
IPtr<Data> makeData(std::vector<int32_t> ids = {kId}) {
    return IPtr<Data>::adopt(new Data(ids));
}

TEST(VuMeterScale, MapsDecibelsOntoTheMeterScale) {
    auto data = makeData<VuMeterData>();
    // Full scale is +3 dB: the top of the bar.
    EXPECT_FLOAT_EQ(positionFor(*data, decibels(3.0)), 1.0f);
    EXPECT_NEAR(positionFor(*data, 1.0), 0.9244, 1e-4);
    // The table has 1000 steps, so a level lands within one step of its point.
    EXPECT_NEAR(positionFor(*data, decibels(-24.0)), 0.32, 2e-3);
    EXPECT_NEAR(positionFor(*data, decibels(-6.0)), 0.773, 1e-3);
    EXPECT_NEAR(positionFor(*data, decibels(-12.0)), 0.623, 1e-3);
    EXPECT_NEAR(positionFor(*data, decibels(-18.0)), 0.471, 1e-3);
    EXPECT_NEAR(positionFor(*data, decibels(-30.0)), 0.193, 1e-3);
    EXPECT_NEAR(positionFor(*data, decibels(-40.0)), 0.082, 1e-3);
    // Clamped below zero and above full scale.
    EXPECT_FLOAT_EQ(positionFor(*data, 5.0), 1.0f);
    EXPECT_FLOAT_EQ(positionFor(*data, -1.0), 0.0f);
}

TEST(VuMeterScale, AudibleLevelBelowTheFirstStepShowsHalfOfIt) {
    auto data = makeData<VuMeterData>();
    // The first step: 0.32 (1 - i60)^0.7 / (i24 - i60)^0.7 with i60, i24 the
    // table indices of -60 dB and -24 dB.
    const double s = 999.0 / std::pow(10.0, 0.15);
    const double i24 = std::pow(10.0, -1.2) * s;
    const double i60 = 0.001 * s;
    const double firstStep = 0.32 * std::pow(1.0 - i60, 0.7) / std::pow(i24 - i60, 0.7);
    const float floor = static_cast<float>(std::pow(10.0, -4.8));
    EXPECT_NEAR(positionFor(*data, floor), firstStep / 2.0, 1e-6);
    EXPECT_NEAR(positionFor(*data, 5e-4), firstStep / 2.0, 1e-6); // still index 0
    EXPECT_FLOAT_EQ(positionFor(*data, floor * 0.9f), 0.0f);
}

TEST(VuMeterIds, ReservedIdsAndUnlistedIds) {
    auto data = makeData<VuMeterData>();
    float v = 0.0f;
    ASSERT_TRUE(data->getValue(VuMeterData::kIdColumnCount, v));
    EXPECT_EQ(v, 6.0f);
    data->setValue(VuMeterData::kIdColumnCount, 3.7f);
    data->getValue(VuMeterData::kIdColumnCount, v);
    EXPECT_EQ(v, 3.0f);
    data->getValue(VuMeterData::kIdFullScale, v);
    EXPECT_FLOAT_EQ(v, static_cast<float>(std::pow(10.0, 0.15)));
    data->getValue(VuMeterData::kIdValue5004, v);
    EXPECT_EQ(v, 1.0f);
    data->setValue(99, 1.0f);
    EXPECT_FALSE(data->getValue(99, v));
    EXPECT_FALSE(data->hasId(99));
}

TEST(VuMeterBallistics, WithoutTheClockTheLevelFollowsAtOnce) {
    auto data = makeData<VuMeterData>();
    data->setValue(kId, 1.0f);
    data->setValue(kId, 0.0f);
    EXPECT_EQ(data->level(0), 0.0f);
    EXPECT_EQ(data->getValues()[0], 0.0f);
}

using VuMeterWithClock = FrameworkTest;

TEST_F(VuMeterWithClock, LevelFallsByOneMinusTwoDtPerUpdate) {
    acquire();
    auto data = makeData<VuMeterData>();
    root->time->setSeconds(10.0);
    data->setValue(kId, 1.0f);
    EXPECT_FLOAT_EQ(data->level(0), 1.0f);
    double expected = 1.0;
    for (double t : {10.1, 10.25, 10.3}) {
        const double dt = t - root->time->currentSeconds();
        root->time->setSeconds(t);
        data->setValue(kId, 0.0f);
        expected *= 1.0 - 2.0 * dt;
        EXPECT_NEAR(data->level(0), expected, 1e-6);
    }
    // A louder value than the falling level takes over at once.
    root->time->setSeconds(10.4);
    data->setValue(kId, 0.9f);
    EXPECT_FLOAT_EQ(data->level(0), 0.9f);
}

TEST_F(VuMeterWithClock, LevelBelowOneNanoBecomesZero) {
    acquire();
    auto data = makeData<VuMeterData>();
    root->time->setSeconds(10.0);
    data->setValue(kId, 1.0f);
    // dt = 0.495 s: each update keeps 1/100 of the level.
    for (int k = 1; k <= 4; ++k) {
        root->time->setSeconds(10.0 + 0.495 * k);
        data->setValue(kId, 0.0f);
    }
    EXPECT_GT(data->level(0), 0.0f); // 1e-8
    root->time->setSeconds(10.0 + 0.495 * 5);
    data->setValue(kId, 0.0f);
    EXPECT_EQ(data->level(0), 0.0f); // 1e-10
}

TEST_F(VuMeterWithClock, ChangesAreDeferredToTheDependents) {
    auto data = makeData<VuMeterData>({7, 8});
    MessageRecorder recorder;
    addDependent(data->unknownCast(), &recorder);
    data->setValue(8, 0.5f);
    data->setValue(VuMeterData::kIdColumnCount, 2.0f);
    EXPECT_TRUE(recorder.messages.empty());
    ownHandler->flushDeferred(nullptr);
    // A level change is announced with the first id of the list.
    EXPECT_EQ(recorder.messages, (std::vector<int32_t>{7, VuMeterData::kIdColumnCount}));
    removeDependent(data->unknownCast(), &recorder);
}

TEST_F(VuMeterWithClock, DestroyedDataLeavesNoQueuedChangeBehind) {
    auto data = makeData<VuMeterData>();
    MessageRecorder recorder;
    addDependent(data->unknownCast(), &recorder);
    data->setValue(kId, 0.5f);
    removeDependent(data->unknownCast(), &recorder);
    data.reset();
    ownHandler->flushDeferred(nullptr); // would reach the destroyed object
    EXPECT_TRUE(recorder.messages.empty());
}

class PeakHold : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        acquire();
        root->time->setSeconds(10.0);
    }
    // One update 0.3 s after the last: levels and released peaks keep 40 %.
    void step(float value) {
        root->time->setSeconds(root->time->currentSeconds() + 0.3);
        data->setValue(kId, value);
    }
    float peak() {
        float v = -1.0f;
        EXPECT_TRUE(data->getValue(VuMeterPhData::kIdPeakHold, v));
        return v;
    }
    IPtr<LinearVuMeterPhData> data = makeData<LinearVuMeterPhData>();
};

TEST_F(PeakHold, PeakIsHeldForTheHoldTimeThenFalls) {
    data->setValue(kId, 0.8f);
    // 2 s of hold: still above 0 after six steps of 0.3 s.
    for (int k = 1; k <= 6; ++k) {
        step(0.0f);
        EXPECT_FLOAT_EQ(peak(), 0.8f) << k;
    }
    step(0.0f);
    EXPECT_NEAR(peak(), 0.8 * 0.4, 1e-6);
    step(0.0f);
    EXPECT_NEAR(peak(), 0.8 * 0.4 * 0.4, 1e-6);
}

TEST_F(PeakHold, OnlyAnEqualValueRestartsTheHoldTime) {
    data->setValue(kId, 0.8f);
    for (int k = 1; k <= 4; ++k) step(0.0f);
    step(0.79f); // 1.5 s after the peak, lower: the hold runs on
    step(0.0f);
    EXPECT_FLOAT_EQ(peak(), 0.8f);
    step(0.0f);
    EXPECT_LT(peak(), 0.8f);

    data->setValue(kId, 0.8f);
    for (int k = 1; k <= 4; ++k) step(0.0f);
    step(0.8f); // equal: the hold starts again
    for (int k = 1; k <= 6; ++k) {
        step(0.0f);
        EXPECT_FLOAT_EQ(peak(), 0.8f) << k;
    }
    step(0.0f);
    EXPECT_LT(peak(), 0.8f);
}

TEST(VuMeterMaxima, AreMappedLikeLevelsAndOnlyRiseUntilCleared) {
    auto data = makeData<LinearVuMeterPhData>();
    float maximum = -1.0f;
    data->setValue(kId, 0.5f);
    data->setValue(kId, 0.3f);
    ASSERT_TRUE(data->getValue(VuMeterPhData::kIdMaximum, maximum));
    EXPECT_FLOAT_EQ(maximum, 0.5f);
    data->setValue(kId, 0.7f);
    data->getValue(VuMeterPhData::kIdMaximum, maximum);
    EXPECT_FLOAT_EQ(maximum, 0.7f);
    data->clearMaxima();
    data->getValue(VuMeterPhData::kIdMaximum, maximum);
    EXPECT_EQ(maximum, 0.0f);

    auto mapped = makeData<VuMeterPhData>();
    mapped->setValue(kId, 1.0f);
    float level = 0.0f, peak = 0.0f;
    mapped->getValue(kId, level);
    mapped->getValue(VuMeterPhData::kIdMaximum, maximum);
    mapped->getValue(VuMeterPhData::kIdPeakHold, peak);
    EXPECT_NEAR(maximum, 0.9244, 1e-4);
    EXPECT_EQ(maximum, level);
    EXPECT_EQ(peak, level);
}

TEST(VuMeterMaxima, AnsweredForAtMostTwelveChannels) {
    std::vector<int32_t> ids;
    for (int32_t i = 0; i < 13; ++i) ids.push_back(100 + i);
    auto data = makeData<VuMeterPhData>(ids);
    float v;
    EXPECT_TRUE(data->getValue(VuMeterPhData::kIdMaximum + 11, v));
    EXPECT_TRUE(data->getValue(VuMeterPhData::kIdPeakHold + 11, v));
    EXPECT_FALSE(data->getValue(VuMeterPhData::kIdPeakHold + 12, v));
    auto single = makeData<VuMeterPhData>();
    EXPECT_FALSE(single->getValue(VuMeterPhData::kIdMaximum + 1, v));
}

using HostMeterServices = FrameworkTest;

TEST_F(HostMeterServices, SettingsAndLevelScaleComeFromTheHostWhenOffered) {
    auto plain = makeData<VuMeterPhData>();
    EXPECT_EQ(plain->releaseRate(), 2.0f);
    EXPECT_EQ(plain->holdReleaseRate(), 2.0f);
    EXPECT_EQ(plain->holdTime(), 2.0f);
    EXPECT_FALSE(plain->usesHostMapping());

    root->meterSettings = IPtr<Fakes::FakeMeterSettings>::adopt(new Fakes::FakeMeterSettings);
    root->levelMapping = IPtr<Fakes::FakeLevelMapping>::adopt(new Fakes::FakeLevelMapping);
    acquire();
    auto data = makeData<VuMeterPhData>();
    EXPECT_FLOAT_EQ(data->releaseRate(), static_cast<float>(1.0 - root->meterSettings->release));
    EXPECT_FLOAT_EQ(data->holdReleaseRate(), static_cast<float>(1.0 - root->meterSettings->holdRelease));
    EXPECT_FLOAT_EQ(data->holdTime(), static_cast<float>(root->meterSettings->hold));
    EXPECT_TRUE(data->usesHostMapping());
    EXPECT_FLOAT_EQ(positionFor(*data, 0.8), 0.4f);
    EXPECT_EQ(root->levelMapping->meterTypes.back(), VuMeterData::kMeterType);
    data->releaseHostMapping();
    EXPECT_FALSE(data->usesHostMapping());
    EXPECT_EQ(root->levelMapping->refs(), 1);
}

} // namespace
} // namespace Zel
