// The accessor's own rules around the algorithm it owns: the lifecycle it
// drives, the value records it keeps, and which calls it forwards, stores,
// answers itself or refuses.

#include <gtest/gtest.h>

#include "AlgoTestSupport.h"

namespace DSP::testing {
namespace {

class AccessorTest : public ::testing::Test {
protected:
    void SetUp() override { accessor = makeAccessor(log, algo); }

    // Clears what the set-up produced so a test sees only its own calls.
    void forgetSetUp() {
        log.events.clear();
        log.setValues.clear();
    }

    // The last value pushed to the algorithm for each id.
    std::map<int32_t, double> lastPushed() const {
        std::map<int32_t, double> values;
        for (const auto& [id, value] : log.setValues) values[id] = value;
        return values;
    }

    AlgoLog log; // declared first: outlives the accessor and its algorithm
    RecordingAlgo* algo = nullptr;
    std::unique_ptr<AlgoAccessor> accessor;
};

// ---- lifecycle -----------------------------------------------------------------

TEST(AccessorLifecycle, BindingTheTableInitialisesThenResetsTheAlgorithmOnce) {
    AlgoLog log;
    auto accessor = std::make_unique<AlgoAccessor>(48000.0, 1024u, Param::kMeterParameterCount,
                                                   Param::meterParameters());
    accessor->attachAlgorithm(new RecordingAlgo(log));
    EXPECT_TRUE(log.events.empty()); // attaching alone does nothing to it
    accessor->setParameterTable(Param::meterParameters());
    EXPECT_EQ(log.events, (std::vector<std::string>{"initialize", "reset"}));
    EXPECT_EQ(log.terminateCalls, 0);
}

TEST(AccessorLifecycle, DestroyingTheAccessorTerminatesThenDestroysTheAlgorithmOnce) {
    AlgoLog log;
    RecordingAlgo* algo = nullptr;
    auto accessor = makeAccessor(log, algo);
    log.events.clear();
    accessor.reset();
    EXPECT_EQ(log.terminateCalls, 1);
    EXPECT_EQ(log.destructions, 1);
    EXPECT_EQ(log.events, (std::vector<std::string>{"terminate", "destroy"}));
}

TEST(AccessorLifecycle, AnAccessorWithoutAlgorithmAnswersNeutrally) {
    AlgoAccessor accessor(48000.0, 1024u, Param::kMeterParameterCount, Param::meterParameters());
    accessor.setParameterTable(Param::meterParameters());
    EXPECT_EQ(accessor.getValue(27), 0.0);
    EXPECT_EQ(accessor.getLatency(), 0);
    EXPECT_FALSE(accessor.isActive());
    accessor.setValue(10, 3.0); // stored even with nobody to forward to
    EXPECT_EQ(accessor.getValueRecords()[5].value, 3.0);
    accessor.setMaxSamplesPerCall(256);
    EXPECT_EQ(accessor.setChannels(2, 2, 0), 0);
}

// ---- value records -------------------------------------------------------------

TEST_F(AccessorTest, RecordsFollowTheMeterTableInOrder) {
    const Param::ParameterRecord* table = Param::meterParameters();
    ASSERT_EQ(accessor->getParameterCount(), 12);
    const ValueRecord* records = accessor->getValueRecords();
    for (int32_t i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(static_cast<int32_t>(records[i].id), kMeterIds[static_cast<size_t>(i)]);
        EXPECT_STREQ(records[i].name, table[i].name);
        EXPECT_EQ(records[i].value, table[i].defaultValue);
    }
    EXPECT_STREQ(records[0].name, "loudnessM");
    EXPECT_STREQ(records[11].name, "bypass");
}

TEST_F(AccessorTest, TheBypassParameterOfTheMeterTableIsIdZero) { EXPECT_EQ(accessor->bypassParameterId(), 0); }

TEST(AccessorRecords, DefaultsTitlesAndTheFirstBypassComeFromTheTable) {
    // Non-zero defaults, so the records cannot pass by being zero-initialised.
    static const Param::ParameterRecord table[] = {
        makeParameter(21, "gain", "Gain", -10, 10, 2.5),
        makeParameter(22, "", "Untitled Key", 0, 1, 0.75),
        makeParameter(33, "mute", "Mute", 0, 1, 1.0, Param::ParameterRecord::kBypass),
        makeParameter(34, "mute2", "Mute2", 0, 1, 0.0, Param::ParameterRecord::kBypass),
    };
    AlgoLog log;
    RecordingAlgo* algo = nullptr;
    auto accessor = makeAccessor(log, algo, table, 4);
    const ValueRecord* records = accessor->getValueRecords();
    EXPECT_STREQ(records[0].name, "gain");
    EXPECT_STREQ(records[1].name, "Untitled Key"); // an empty key name falls back to the title
    EXPECT_EQ(storedValues(*accessor), (std::vector<double>{2.5, 0.75, 1.0, 0.0}));
    EXPECT_EQ(accessor->bypassParameterId(), 33);
    EXPECT_EQ(accessor->getValue(33), 1.0); // answered from the record
    EXPECT_EQ(accessor->getValue(34), 340.5); // a later bypass flag is an ordinary id
}

TEST(AccessorRecords, ARepeatedIdIsStoredInItsFirstRecord) {
    static const Param::ParameterRecord table[] = {
        makeParameter(5, "a", "A", 0, 10, 1.0),
        makeParameter(5, "b", "B", 0, 10, 2.0),
    };
    AlgoLog log;
    RecordingAlgo* algo = nullptr;
    auto accessor = makeAccessor(log, algo, table, 2);
    int32_t index = -1;
    EXPECT_EQ(accessor->findValueIndex(5, index), 0);
    EXPECT_EQ(index, 0);
    accessor->setValue(5, 7.0);
    EXPECT_EQ(accessor->getValueRecords()[0].value, 7.0);
    EXPECT_EQ(accessor->getValueRecords()[1].value, 2.0);
}

TEST(AccessorRecords, WithoutABypassParameterEveryReadIsForwarded) {
    static const Param::ParameterRecord table[] = {makeParameter(0, "level", "Level", 0, 1, 0.25)};
    AlgoLog log;
    RecordingAlgo* algo = nullptr;
    auto accessor = makeAccessor(log, algo, table, 1);
    EXPECT_EQ(accessor->getValue(0), 0.5); // the algorithm's answer, not the stored 0.25
    EXPECT_EQ(log.getValues, (std::vector<int32_t>{0}));
}

TEST_F(AccessorTest, FindValueIndexKnowsParameterIdsOnly) {
    for (size_t i = 0; i < kMeterIds.size(); ++i) {
        int32_t index = -1;
        EXPECT_EQ(accessor->findValueIndex(kMeterIds[i], index), 0) << kMeterIds[i];
        EXPECT_EQ(index, static_cast<int32_t>(i));
    }
    int32_t index = 99;
    for (int32_t id : {6, 12, 13, 15, 27, 42, 43, -1}) EXPECT_EQ(accessor->findValueIndex(id, index), 1) << id;
}

// ---- values: forward, store, answer --------------------------------------------

TEST_F(AccessorTest, AMeasurementIdReachesTheAlgorithmAndIsNotStored) {
    forgetSetUp();
    const auto before = storedValues(*accessor);
    accessor->setValue(27, 0.3);
    EXPECT_EQ(log.setValues, (std::vector<std::pair<int32_t, double>>{{27, 0.3}}));
    EXPECT_EQ(storedValues(*accessor), before);
}

TEST_F(AccessorTest, AParameterIdReachesTheAlgorithmAndIsStoredInItsRecord) {
    forgetSetUp();
    accessor->setValue(10, 42.0);
    accessor->setValue(0, 1.0);
    EXPECT_EQ(log.setValues, (std::vector<std::pair<int32_t, double>>{{10, 42.0}, {0, 1.0}}));
    auto expected = std::vector<double>(12, 0.0);
    expected[5] = 42.0;
    expected[11] = 1.0;
    EXPECT_EQ(storedValues(*accessor), expected);
}

TEST_F(AccessorTest, TheBypassValueIsAnsweredFromItsRecordWithoutAskingTheAlgorithm) {
    accessor->setValue(0, 1.0);
    EXPECT_EQ(accessor->getValue(0), 1.0);
    EXPECT_TRUE(log.getValues.empty());
}

TEST_F(AccessorTest, EveryOtherReadIsTheAlgorithmsAnswer) {
    accessor->setValue(10, 42.0); // a stored parameter is still read from the algorithm
    EXPECT_EQ(accessor->getValue(10), 100.5);
    EXPECT_EQ(accessor->getValue(27), 270.5);
    EXPECT_EQ(accessor->getValue(1), 10.5);
    EXPECT_EQ(log.getValues, (std::vector<int32_t>{10, 27, 1}));
}

TEST_F(AccessorTest, SettingTheBlockSizeForwardsItThenPushesEveryStoredValue) {
    accessor->setValue(48, 1.0);
    accessor->setValue(10, 12.5);
    forgetSetUp();
    accessor->setMaxSamplesPerCall(512);
    ASSERT_EQ(log.events.size(), 13u);
    EXPECT_EQ(log.events.front(), "maxSamples 512");
    ASSERT_EQ(log.setValues.size(), 12u);
    const auto values = storedValues(*accessor);
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(log.setValues[i].first, kMeterIds[i]);
        EXPECT_EQ(log.setValues[i].second, values[i]);
    }
    EXPECT_EQ(lastPushed()[48], 1.0);
    EXPECT_EQ(lastPushed()[10], 12.5);
}

TEST_F(AccessorTest, PushAllValuesLeavesTheStoredValuesAsTheyWere) {
    accessor->setValue(5, 1.0);
    accessor->setValue(10, 33.0);
    const auto before = storedValues(*accessor);
    accessor->pushAllValues();
    EXPECT_EQ(storedValues(*accessor), before);
}

// ---- channel set-up ------------------------------------------------------------

TEST_F(AccessorTest, UnequalOrZeroChannelCountsAreRefusedBeforeReachingTheAlgorithm) {
    forgetSetUp();
    EXPECT_EQ(accessor->setChannels(2, 1, 0), 1);
    EXPECT_EQ(accessor->setChannels(0, 0, 0), 1);
    EXPECT_EQ(accessor->setChannels(1, 2, 0), 1);
    EXPECT_EQ(accessor->setChannelsAndArrangement(2, 1, 0, 3), 1);
    EXPECT_EQ(accessor->setChannelsAndArrangement(0, 0, 0, 0), 1);
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(accessor->inputChannels(), 0);
    EXPECT_EQ(accessor->outputChannels(), 0);
    EXPECT_EQ(accessor->auxChannels(), 0);
}

TEST_F(AccessorTest, ARefusedSetUpKeepsTheCountsOfTheLastAcceptedOne) {
    ASSERT_EQ(accessor->setChannels(2, 2, 1), 0);
    forgetSetUp();
    EXPECT_EQ(accessor->setChannels(2, 1, 0), 1);
    EXPECT_EQ(accessor->setChannels(0, 0, 0), 1);
    algo->channelsResult = 1;
    EXPECT_EQ(accessor->setChannels(6, 6, 0), 1);
    EXPECT_EQ(accessor->inputChannels(), 2);
    EXPECT_EQ(accessor->outputChannels(), 2);
    EXPECT_EQ(accessor->auxChannels(), 1);
}

TEST_F(AccessorTest, ASetUpTheAlgorithmRefusesStoresNothingAndPushesNothing) {
    algo->channelsResult = 1;
    forgetSetUp();
    EXPECT_EQ(accessor->setChannels(2, 2, 0), 1);
    EXPECT_EQ(log.channelCalls, (std::vector<std::array<int32_t, 3>>{{2, 2, 0}}));
    EXPECT_TRUE(log.setValues.empty());
    EXPECT_EQ(accessor->inputChannels(), 0);
    EXPECT_EQ(accessor->outputChannels(), 0);

    EXPECT_EQ(accessor->setChannelsAndArrangement(2, 2, 0, 3), 1);
    EXPECT_EQ(log.channelsAndArrangementCalls.size(), 1u);
    EXPECT_TRUE(log.setValues.empty());
    EXPECT_EQ(accessor->inputChannels(), 0);
}

TEST_F(AccessorTest, AnAcceptedSetUpStoresTheCountsThenPushesEveryValue) {
    accessor->setValue(48, 1.0);
    forgetSetUp();
    EXPECT_EQ(accessor->setChannels(2, 2, 1), 0);
    EXPECT_EQ(log.channelCalls, (std::vector<std::array<int32_t, 3>>{{2, 2, 1}}));
    EXPECT_EQ(accessor->inputChannels(), 2);
    EXPECT_EQ(accessor->outputChannels(), 2);
    EXPECT_EQ(accessor->auxChannels(), 1);
    ASSERT_EQ(log.events.size(), 13u);
    EXPECT_EQ(log.events.front(), "setChannels");
    EXPECT_EQ(log.setValues.size(), 12u);
    EXPECT_EQ(lastPushed()[48], 1.0);
}

TEST_F(AccessorTest, AnAcceptedSetUpWithArrangementForwardsTheArrangement) {
    forgetSetUp();
    EXPECT_EQ(accessor->setChannelsAndArrangement(6, 6, 0, 0x3F), 0);
    EXPECT_EQ(log.channelsAndArrangementCalls, (std::vector<std::array<int64_t, 4>>{{6, 6, 0, 0x3F}}));
    EXPECT_EQ(accessor->inputChannels(), 6);
    EXPECT_EQ(accessor->outputChannels(), 6);
    EXPECT_EQ(log.setValues.size(), 12u);
}

TEST_F(AccessorTest, ArrangementsAnAlgorithmCannotTakeBecomeChannelCounts) {
    forgetSetUp();
    EXPECT_EQ(accessor->setArrangements(0x3, 0x3, 0), 0); // stereo: two speaker bits
    EXPECT_EQ(log.arrangementCalls.size(), 1u);
    EXPECT_EQ(log.channelCalls, (std::vector<std::array<int32_t, 3>>{{2, 2, 0}}));
    EXPECT_EQ(accessor->inputChannels(), 2);
    EXPECT_EQ(accessor->outputChannels(), 2);
    EXPECT_EQ(log.setValues.size(), 12u);

    log.channelCalls.clear();
    EXPECT_EQ(accessor->setArrangements(0x3F, 0x3F, 0x1), 0); // 5.1 with a mono side chain
    EXPECT_EQ(log.channelCalls, (std::vector<std::array<int32_t, 3>>{{6, 6, 1}}));
    EXPECT_EQ(accessor->auxChannels(), 1);
}

TEST_F(AccessorTest, ArrangementFallbackObeysTheChannelRules) {
    ASSERT_EQ(accessor->setChannels(2, 2, 0), 0);
    forgetSetUp();
    log.channelCalls.clear();
    EXPECT_EQ(accessor->setArrangements(0x3, 0x1, 0), 1); // stereo in, mono out
    EXPECT_EQ(accessor->setArrangements(0, 0, 0), 1);
    EXPECT_TRUE(log.channelCalls.empty());
    EXPECT_TRUE(log.setValues.empty());
    EXPECT_EQ(accessor->inputChannels(), 2);
    EXPECT_EQ(accessor->outputChannels(), 2);
}

TEST_F(AccessorTest, ArrangementsTheAlgorithmTakesStoreTheirBitCounts) {
    algo->implementsArrangements = true;
    forgetSetUp();
    EXPECT_EQ(accessor->setArrangements(0x3F, 0x3F, 0x3), 0);
    EXPECT_EQ(log.arrangementCalls, (std::vector<std::array<uint64_t, 3>>{{0x3F, 0x3F, 0x3}}));
    EXPECT_TRUE(log.channelCalls.empty()); // no detour through channel counts
    EXPECT_EQ(accessor->inputChannels(), 6);
    EXPECT_EQ(accessor->outputChannels(), 6);
    EXPECT_EQ(accessor->auxChannels(), 2);
    ASSERT_EQ(log.events.size(), 13u);
    EXPECT_EQ(log.events.front(), "setArrangements");
}

TEST_F(AccessorTest, ArrangementsTheAlgorithmRefusesChangeNothing) {
    algo->implementsArrangements = true;
    algo->arrangementsResult = 1;
    forgetSetUp();
    EXPECT_EQ(accessor->setArrangements(0x3, 0x3, 0), 1);
    EXPECT_TRUE(log.channelCalls.empty());
    EXPECT_TRUE(log.setValues.empty());
    EXPECT_EQ(accessor->inputChannels(), 0);
    EXPECT_EQ(accessor->outputChannels(), 0);
}

// ---- plain forwarding ----------------------------------------------------------

TEST_F(AccessorTest, ConfigurationAndProcessingCallsReachTheAlgorithm) {
    EXPECT_EQ(accessor->setSampleRate(44100.0), 0);
    EXPECT_EQ(algo->getSampleRate(), 44100.0);
    accessor->setActive(true);
    EXPECT_TRUE(algo->isActive());
    EXPECT_TRUE(accessor->isActive());
    accessor->setActive(false);
    EXPECT_FALSE(accessor->isActive());

    ASSERT_EQ(accessor->setChannels(1, 1, 0), 0);
    Block in(1, 4), out(1, 4);
    in.at(0, 2) = 0.25f;
    accessor->process(in.get(), out.get(), 4);
    EXPECT_EQ(log.processCalls, 1);
    EXPECT_EQ(out.at(0, 2), 0.25f);
    accessor->processWithAux(in.get(), out.get(), nullptr, 4);
    EXPECT_EQ(log.processWithAuxCalls, 1);
}

} // namespace
} // namespace DSP::testing
