// The processor's host-facing set-up through the built module: saved and
// restored parameters (also while it processes), bus arrangements with the
// messages that report them, and the processing set-up.

#include <gtest/gtest.h>

#include <atomic>

#include "HostTestSupport.h"

namespace HostTest {
namespace {

Bytes withLengthWord(Bytes state, uint32_t word) {
    for (size_t i = 0; i < 4; ++i) state[i] = static_cast<uint8_t>(word >> (8 * i));
    return state;
}

// The same state with one record's value replaced.
Bytes withValue(Bytes state, int32_t id, double value) {
    std::vector<int32_t> order;
    recordsOf(state, &order);
    for (size_t r = 0; r < order.size(); ++r)
        if (order[r] == id) std::memcpy(state.data() + 4 + r * kRecordSize + 132, &value, 8);
    return state;
}

// ---- state -----------------------------------------------------------------------

class ProcessorState : public ModuleTest {
protected:
    // The state of a processor whose host switched it to LU, reset its true
    // peak and bypassed it.
    Bytes editedState() {
        ProcessingSession session;
        if (!open(session)) return {};
        session.changeParameter(kUnitSwitch, 1.0);
        session.changeParameter(kResetTruePeak, 1.0);
        session.changeParameter(kBypass, 1.0);
        session.processNothing();
        return saveState(session.component());
    }
};

TEST_F(ProcessorState, TwelveRecordsAreSavedAndRestoredIntoAFreshInstance) {
    ProcessingSession fresh;
    ASSERT_TRUE(open(fresh));
    const Bytes defaults = saveState(fresh.component());
    ASSERT_EQ(defaults.size(), kStateSize);
    EXPECT_EQ(Bytes(defaults.begin(), defaults.begin() + 4), (Bytes{0xC0, 0x06, 0, 0})) << "12 records of 144 bytes";
    std::vector<int32_t> order;
    for (const auto& [id, value] : recordsOf(defaults, &order)) EXPECT_EQ(value, 0.0) << "id " << id;
    EXPECT_EQ(order, (std::vector<int32_t>{1, 2, 3, 8, 9, 10, 11, 4, 5, 7, 48, 0})) << "records in table order";
    EXPECT_STREQ(reinterpret_cast<const char*>(defaults.data() + 4), "loudnessM");
    EXPECT_STREQ(reinterpret_cast<const char*>(defaults.data() + 4 + 11 * kRecordSize), "bypass");

    const Bytes saved = editedState();
    const auto values = recordsOf(saved);
    for (ParamID id : {kUnitSwitch, kResetTruePeak, kBypass}) EXPECT_EQ(values.at(static_cast<int32_t>(id)), 1.0) << id;
    EXPECT_EQ(restoreState(fresh.component(), saved), kResultOk);
    EXPECT_EQ(saveState(fresh.component()), saved);
}

TEST_F(ProcessorState, RestoredBypassAndUnitSwitchAreInEffect) {
    const Bytes saved = editedState();
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    ASSERT_EQ(restoreState(session.component(), saved), kResultOk);
    EXPECT_EQ(session.processor()->latencySamples(), 0u);

    // Bypassed: no answer to a request, and the output is the input delayed by
    // the latency, i.e. the input itself. Restored bypass does not fade.
    Signal sine(2, dbToAmplitude(-23.0));
    OutputBuffers out(2, kTenMs);
    session.requestData();
    for (int b = 1; b <= 100; ++b) {
        float* const* in = sine.next(kTenMs);
        out.reset();
        session.processBlock(in, out.pointers(), kTenMs);
        ASSERT_EQ(session.lastOutputChanges().getParameterCount(), 0) << "block " << b;
        ASSERT_TRUE(sameBits(in, out, 2, kTenMs)) << "block " << b;
    }
    // The meter went on measuring while bypassed; the readings come in LU.
    float* const* in = sine.next(kTenMs);
    session.processBlock(in, in, kTenMs);
    session.changeParameter(kBypass, 0.0);
    session.processNothing();
    ASSERT_EQ(session.lastOutputChanges().getParameterCount(), static_cast<int32_t>(kReadingOrder.size()));
    EXPECT_NEAR(plainReading(session, 1), 0.0, 0.2) << "momentary of a -23 LUFS tone, in LU";
}

TEST_F(ProcessorState, LengthWordVariantsAndOutOfRangeValues) {
    const Bytes saved = editedState();
    ASSERT_EQ(saved.size(), kStateSize);
    const Bytes clamped = withValue(saved, 11, -80.0), unchanged;
    struct Case {
        const char* what;
        Bytes state;
        const Bytes& expected;
    };
    const Case cases[] = {
        {"a length word that counted 140-byte records still names all twelve", withLengthWord(saved, 12 * 140), saved},
        {"more records than the processor has: nothing is taken", withLengthWord(saved, 13 * 144), unchanged},
        {"values beyond a range are clamped to it", withValue(withValue(saved, kUnitSwitch, 7.5), 11, -300.0), clamped},
    };
    for (const Case& c : cases) {
        ProcessingSession fresh;
        ASSERT_TRUE(open(fresh));
        const Bytes before = saveState(fresh.component());
        restoreState(fresh.component(), c.state);
        EXPECT_EQ(saveState(fresh.component()), c.expected.empty() ? before : c.expected) << c.what;
    }
}

TEST_F(ProcessorState, CutShortStateNeverChangesTheParameters) {
    const Bytes saved = editedState();
    ASSERT_EQ(saved.size(), kStateSize);
    ProcessingSession target;
    ASSERT_TRUE(open(target));
    const Bytes before = saveState(target.component());
    ASSERT_NE(before, saved);
    for (size_t length = 0; length < saved.size(); ++length) {
        auto stream = IPtr<MemoryStream>::adopt(new MemoryStream(saved));
        stream->truncate(length);
        target.component()->setState(stream.get());
        ASSERT_EQ(saveState(target.component()), before) << "cut after " << length << " bytes";
    }
    EXPECT_EQ(restoreState(target.component(), saved), kResultOk) << "the whole state does take";
    EXPECT_EQ(saveState(target.component()), saved);
}

// ---- state while processing ---------------------------------------------------------

// A state restored while the processor runs reaches the meter on the audio
// thread, before the next block, and never under a running analysis.
class ProcessorStateWhileProcessing : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        ASSERT_TRUE(open(session));
        session.changeParameter(kUnitSwitch, 1.0);
        session.processNothing();
        luState = saveState(session.component());
        session.changeParameter(kUnitSwitch, 0.0);
        session.processNothing();
    }
    void play(int blocks) {
        for (int b = 0; b < blocks; ++b) {
            float* const* in = tone.next(kTenMs);
            session.processBlock(in, in, kTenMs);
        }
    }
    ProcessingSession session;
    Signal tone{2, dbToAmplitude(-23.0)};
    Bytes luState;
};

TEST_F(ProcessorStateWhileProcessing, RestoredUnitSwitchTakesEffectWithTheNextBlock) {
    play(50);
    ASSERT_EQ(restoreState(session.component(), luState), kResultOk);
    // The restored values restart the measurement (the reset parameter is among
    // them) and the readings come in LU.
    session.requestData();
    play(1);
    EXPECT_NEAR(session.readings().momentary, -80.0 + 23.0, 0.01);
    play(50); // half a second: a full momentary window again
    session.requestData();
    play(1);
    EXPECT_NEAR(session.readings().momentary, 0.0, 0.2) << "a -23 LUFS tone reads 0 LU";
}

TEST_F(ProcessorStateWhileProcessing, StatesRestoredFromAnotherThreadLeaveTheMeterSound) {
    std::atomic<bool> stop{false};
    std::thread restorer([&] {
        while (!stop.load()) {
            restoreState(session.component(), luState);
            std::this_thread::yield();
        }
    });
    play(400); // four seconds of audio while states keep arriving
    stop = true;
    restorer.join();
    session.requestData();
    play(1);
    const MeterReadings& r = session.readings();
    ASSERT_TRUE(r.received);
    EXPECT_TRUE(std::isfinite(r.momentary));
    EXPECT_TRUE(std::isfinite(r.truePeak));
    // Every restore restarts the measurement; what was measured since reads true.
    EXPECT_LE(r.truePeak, -22.8);
}

// ---- arrangements and what the peer is told ------------------------------------------

class ProcessorArrangements : public ModuleTest {};

TEST_F(ProcessorArrangements, MonoInStereoOutFallsBackToMonoEverywhere) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    IAudioProcessor* processor = session.processor();
    ASSERT_EQ(session.component()->setActive(0), kResultOk);
    const SpeakerArrangement mono = ProcessingSession::arrangementFor(1);
    SpeakerArrangement in = mono, out = kArrangementStereo;
    EXPECT_EQ(processor->offerArrangements(&in, 1, &out, 1), kResultFalse);
    SpeakerArrangement input = 0, output = 0;
    ASSERT_EQ(processor->busArrangement(kInput, 0, input), kResultOk);
    ASSERT_EQ(processor->busArrangement(kOutput, 0, output), kResultOk);
    EXPECT_EQ(input, mono);
    EXPECT_EQ(output, mono);
    ProcessSetupInfo setup{kRealtime, kSample32, 512, kRate};
    ASSERT_EQ(processor->prepareProcessing(setup), kResultOk);
    ASSERT_EQ(session.component()->setActive(1), kResultOk);
    EXPECT_EQ(session.peer().channelsIn(), 1);
    EXPECT_EQ(session.peer().channelsOut(), 1);
    EXPECT_EQ(session.peer().metersProcessing(), 1);

    // The mono set-up processes: audio passes and the meter answers.
    Signal signal(1, 0.5);
    OutputBuffers outBuffers(1, 256);
    float* const* samples = signal.next(256);
    RawBlock block(1, samples, outBuffers.pointers(), 256, kRealtime);
    session.requestData();
    EXPECT_EQ(block.run(processor), kResultOk);
    EXPECT_TRUE(sameBits(samples, outBuffers, 1, 256));
    EXPECT_EQ(block.outputChanges->getParameterCount(), static_cast<int32_t>(kReadingOrder.size()));
    ASSERT_EQ(session.component()->setActive(0), kResultOk);
    EXPECT_EQ(session.peer().metersProcessing(), 0);
    EXPECT_EQ(session.peer().channelsIn(), 1) << "reported again on deactivation";
}

TEST_F(ProcessorArrangements, EqualArrangementsAreTakenAndReported) {
    for (int32_t channels : {1, 2, 6, 14}) {
        SCOPED_TRACE(channels);
        ProcessingSession session;
        ProcessingSession::Options options;
        options.channels = channels;
        ASSERT_TRUE(open(session, options));
        SpeakerArrangement input = 0, output = 0;
        session.processor()->busArrangement(kInput, 0, input);
        session.processor()->busArrangement(kOutput, 0, output);
        EXPECT_EQ(input, ProcessingSession::arrangementFor(channels));
        EXPECT_EQ(output, input);
        EXPECT_EQ(session.peer().channelsIn(), channels);
        EXPECT_EQ(session.peer().channelsOut(), channels);
        EXPECT_EQ(session.peer().metersProcessing(), 1);
        ASSERT_EQ(session.component()->setActive(0), kResultOk);
        EXPECT_EQ(session.peer().metersProcessing(), 0);
    }
}

// ---- processing set-up -------------------------------------------------------------

class ProcessorSetup : public ModuleTest {
protected:
    // Deactivates, offers the set-up (twice when asked) and activates again.
    static void prepareAgain(ProcessingSession& session, ProcessSetupInfo setup, tresult expected, int times = 1) {
        ASSERT_EQ(session.component()->setActive(0), kResultOk);
        for (int i = 0; i < times; ++i) EXPECT_EQ(session.processor()->prepareProcessing(setup), expected);
        ASSERT_EQ(session.component()->setActive(1), kResultOk);
    }
    Signal half_{2, 0.5};
};

TEST_F(ProcessorSetup, RefusedSetUpsStoreNothing) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    for (const ProcessSetupInfo& bad : {ProcessSetupInfo{kOffline, kSample32, 1024, 0.5},
                                        ProcessSetupInfo{kOffline, kSample32, 0, kRate},
                                        ProcessSetupInfo{kOffline, kSample32, -64, kRate}})
        prepareAgain(session, bad, kResultFalse);
    feed(session, half_, 1.0);
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:01"}) << "still at 48 kHz";
}

TEST_F(ProcessorSetup, SameSetUpAgainKeepsTheMeasurementAndRestartsTheTicker) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    feed(session, half_, 0.5);
    readNow(session);
    const double measuredPeak = outputValue(session, 11);
    EXPECT_NEAR(MeterReadings::readingFromNormalized(measuredPeak), -6.02, 0.1);

    prepareAgain(session, {kOffline, kSample32, 1024, kRate}, kResultOk, 2);
    readNow(session);
    EXPECT_EQ(outputValue(session, 11), measuredPeak) << "the meter was not rebuilt";
    // Half a second had been counted before; the ticker starts over, the count does not.
    feed(session, half_, 0.99);
    EXPECT_TRUE(session.peer().timeTexts().empty());
    feed(session, half_, 0.01);
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:01"}) << "1.5 s elapsed";
}

TEST_F(ProcessorSetup, NewBlockSizeRestartsTheMeterButKeepsTheParameters) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    session.changeParameter(kUnitSwitch, 1.0);
    feed(session, half_, 0.5);
    const Bytes before = saveState(session.component());
    ASSERT_EQ(recordsOf(before).at(kUnitSwitch), 1.0);

    prepareAgain(session, {kOffline, kSample32, 2048, kRate}, kResultOk);
    EXPECT_EQ(saveState(session.component()), before) << "parameter values carried over";
    readNow(session);
    session.readings().apply(11, outputValue(session, 11));
    EXPECT_FALSE(session.readings().shownTruePeak()) << "the rebuilt meter starts from its floor";
    EXPECT_NEAR(plainReading(session, 1), -57.0, 1e-9) << "still in LU: the floor of -80 LUFS reads -57 LU";
}

} // namespace
} // namespace HostTest
