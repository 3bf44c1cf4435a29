// The processor's host-facing set-up through the built module: saved and
// restored parameters, bus arrangements with the messages that report them,
// and the processing set-up.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "ProcessorThroughModuleSupport.h"

namespace ProcessorThroughModule {
namespace {

constexpr size_t kStateSize = 4 + 12 * 140;
constexpr int32_t kLengthWord = 12 * 144;

int32_t lengthWord(const Bytes& state) {
    int32_t word = 0;
    if (state.size() >= 4) word = static_cast<int32_t>(state[0] | state[1] << 8 | state[2] << 16 | state[3] << 24);
    return word;
}

// id -> value of every record in a saved state.
std::map<int32_t, double> recordsOf(const Bytes& state) {
    std::map<int32_t, double> values;
    for (size_t at = 4; at + 140 <= state.size(); at += 140) {
        int32_t id = 0;
        double value = 0.0;
        std::memcpy(&id, state.data() + at + 128, 4);
        std::memcpy(&value, state.data() + at + 132, 8);
        values[id] = value;
    }
    return values;
}

// The same state with one record's value replaced.
Bytes withValue(Bytes state, int32_t id, double value) {
    for (size_t at = 4; at + 140 <= state.size(); at += 140) {
        int32_t recordId = 0;
        std::memcpy(&recordId, state.data() + at + 128, 4);
        if (recordId == id) std::memcpy(state.data() + at + 132, &value, 8);
    }
    return state;
}

Bytes withLengthWord(Bytes state, int32_t word) {
    for (int i = 0; i < 4; ++i) state[static_cast<size_t>(i)] = static_cast<uint8_t>(word >> (8 * i));
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

TEST_F(ProcessorState, InitialisedProcessorSavesTwelveRecordsAtTheirDefaults) {
    BareProcessor fresh(factory());
    ASSERT_TRUE(fresh.ok());
    const Bytes state = saveState(fresh.component());
    ASSERT_EQ(state.size(), kStateSize);
    EXPECT_EQ(state[0], 0xC0);
    EXPECT_EQ(state[1], 0x06);
    EXPECT_EQ(state[2], 0x00);
    EXPECT_EQ(state[3], 0x00);
    EXPECT_EQ(lengthWord(state), kLengthWord);

    std::vector<int32_t> ids;
    for (size_t at = 4; at < state.size(); at += 140) {
        int32_t id = -1;
        std::memcpy(&id, state.data() + at + 128, 4);
        ids.push_back(id);
    }
    EXPECT_EQ(ids, (std::vector<int32_t>{1, 2, 3, 8, 9, 10, 11, 4, 5, 7, 48, 0})) << "records in table order";
    EXPECT_STREQ(reinterpret_cast<const char*>(state.data() + 4), "loudnessM");
    EXPECT_STREQ(reinterpret_cast<const char*>(state.data() + 4 + 11 * 140), "bypass");
    for (const auto& [id, value] : recordsOf(state)) EXPECT_EQ(value, 0.0) << "id " << id;
}

TEST_F(ProcessorState, RestoringIntoAFreshInstanceRestoresEveryParameter) {
    const Bytes saved = editedState();
    ASSERT_EQ(saved.size(), kStateSize);
    const auto values = recordsOf(saved);
    EXPECT_EQ(values.at(kUnitSwitch), 1.0);
    EXPECT_EQ(values.at(kResetTruePeak), 1.0);
    EXPECT_EQ(values.at(kBypass), 1.0);

    BareProcessor fresh(factory());
    ASSERT_TRUE(fresh.ok());
    ASSERT_NE(saveState(fresh.component()), saved) << "the edits must show in the state";
    EXPECT_EQ(restoreState(fresh.component(), saved), kResultOk);
    EXPECT_EQ(saveState(fresh.component()), saved);
}

TEST_F(ProcessorState, RestoredBypassAndUnitSwitchAreInEffect) {
    const Bytes saved = editedState();
    ASSERT_EQ(saved.size(), kStateSize);
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
        out.fill(OutputBuffers::kUntouched);
        session.processBlock(in, out.pointers(), kTenMs);
        ASSERT_EQ(session.lastOutputChanges().getParameterCount(), 0) << "block " << b;
        ASSERT_TRUE(sameBits(in, out, 2, kTenMs)) << "block " << b;
        // Real-time pace, so that the loudness workers take every window.
        if (b % 10 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
    }

    // The meter went on measuring while bypassed; the readings come in LU.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
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
    {
        // A length word that counted 140-byte records still names all twelve.
        BareProcessor fresh(factory());
        ASSERT_TRUE(fresh.ok());
        EXPECT_EQ(restoreState(fresh.component(), withLengthWord(saved, 12 * 140)), kResultOk);
        EXPECT_EQ(saveState(fresh.component()), saved);
    }
    {
        // More records than the processor has: nothing is taken.
        BareProcessor fresh(factory());
        ASSERT_TRUE(fresh.ok());
        const Bytes before = saveState(fresh.component());
        restoreState(fresh.component(), withLengthWord(saved, 13 * 144));
        EXPECT_EQ(saveState(fresh.component()), before);
    }
    {
        // Values beyond a parameter's range are clamped to it.
        BareProcessor fresh(factory());
        ASSERT_TRUE(fresh.ok());
        EXPECT_EQ(restoreState(fresh.component(), withValue(withValue(saved, kUnitSwitch, 7.5), 11, -300.0)),
                  kResultOk);
        const auto values = recordsOf(saveState(fresh.component()));
        EXPECT_EQ(values.at(kUnitSwitch), 1.0);
        EXPECT_EQ(values.at(11), -80.0);
    }
}

TEST_F(ProcessorState, CutShortStateNeverChangesTheParameters) {
    const Bytes saved = editedState();
    ASSERT_EQ(saved.size(), kStateSize);
    BareProcessor target(factory());
    ASSERT_TRUE(target.ok());
    const Bytes before = saveState(target.component());
    ASSERT_NE(before, saved);
    for (size_t length = 0; length < saved.size(); ++length) {
        auto stream = IPtr<MemoryStream>::adopt(new MemoryStream(saved));
        stream->truncate(length);
        target.component()->setState(stream.get());
        ASSERT_EQ(saveState(target.component()), before) << "cut after " << length << " bytes";
    }
    // The whole state does take.
    EXPECT_EQ(restoreState(target.component(), saved), kResultOk);
    EXPECT_EQ(saveState(target.component()), saved);
}

// ---- arrangements and what the peer is told ------------------------------------------

class ProcessorArrangements : public ModuleTest {};

TEST_F(ProcessorArrangements, MonoInStereoOutFallsBackToMonoEverywhere) {
    BareProcessor p(factory());
    ASSERT_TRUE(p.ok());
    const SpeakerArrangement mono = ProcessingSession::arrangementFor(1);
    SpeakerArrangement in = mono, out = kArrangementStereo;
    EXPECT_EQ(p.processor()->offerArrangements(&in, 1, &out, 1), kResultFalse);
    SpeakerArrangement input = 0, output = 0;
    ASSERT_EQ(p.processor()->busArrangement(kInput, 0, input), kResultOk);
    ASSERT_EQ(p.processor()->busArrangement(kOutput, 0, output), kResultOk);
    EXPECT_EQ(input, mono);
    EXPECT_EQ(output, mono);

    ProcessSetupInfo setup{kRealtime, kSample32, 512, kRate};
    ASSERT_EQ(p.processor()->prepareProcessing(setup), kResultOk);
    ASSERT_EQ(p.component()->setBusActive(kAudio, kInput, 0, 1), kResultOk);
    ASSERT_EQ(p.component()->setBusActive(kAudio, kOutput, 0, 1), kResultOk);
    ASSERT_EQ(p.component()->setActive(1), kResultOk);
    EXPECT_EQ(p.peer().channelsIn(), 1);
    EXPECT_EQ(p.peer().channelsOut(), 1);
    EXPECT_EQ(p.peer().metersProcessing(), 1);

    // The mono set-up processes: audio passes and the meter answers.
    std::vector<float> samples(256);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.5f * std::sin(0.1f * static_cast<float>(i));
    float* inChannels[1] = {samples.data()};
    OutputBuffers outBuffers(1, 256);
    AudioBufferSet inputs{1, 0, inChannels};
    AudioBufferSet outputs{1, 0, outBuffers.mutablePointers()};
    auto outputChanges = IPtr<ParameterChanges>::adopt(new ParameterChanges);
    ProcessBlock block{};
    block.processMode = kRealtime;
    block.numSamples = 256;
    block.numInputs = 1;
    block.numOutputs = 1;
    block.inputs = &inputs;
    block.outputs = &outputs;
    block.outputChanges = outputChanges.get();
    ASSERT_TRUE(p.peer().requestData());
    EXPECT_EQ(p.processor()->process(block), kResultOk);
    EXPECT_TRUE(sameBits(inChannels, outBuffers, 1, 256));
    EXPECT_EQ(outputChanges->getParameterCount(), static_cast<int32_t>(kReadingOrder.size()));

    ASSERT_EQ(p.component()->setActive(0), kResultOk);
    EXPECT_EQ(p.peer().metersProcessing(), 0);
    EXPECT_EQ(p.peer().channelsIn(), 1) << "reported again on deactivation";
}

TEST_F(ProcessorArrangements, EqualArrangementsAreTaken) {
    for (int32_t channels : {2, 6, 14}) {
        SCOPED_TRACE(channels);
        BareProcessor p(factory());
        ASSERT_TRUE(p.ok());
        SpeakerArrangement in = ProcessingSession::arrangementFor(channels), out = in;
        EXPECT_EQ(p.processor()->offerArrangements(&in, 1, &out, 1), kResultOk);
        SpeakerArrangement input = 0, output = 0;
        p.processor()->busArrangement(kInput, 0, input);
        p.processor()->busArrangement(kOutput, 0, output);
        EXPECT_EQ(input, in);
        EXPECT_EQ(output, in);
        ASSERT_EQ(p.component()->setActive(1), kResultOk);
        EXPECT_EQ(p.peer().channelsIn(), channels);
        EXPECT_EQ(p.peer().channelsOut(), channels);
        EXPECT_EQ(p.peer().metersProcessing(), 1);
        ASSERT_EQ(p.component()->setActive(0), kResultOk);
        EXPECT_EQ(p.peer().metersProcessing(), 0);
    }
}

TEST_F(ProcessorArrangements, SessionActivationReportsTheStereoDefault) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    EXPECT_EQ(session.peer().channelsIn(), 2);
    EXPECT_EQ(session.peer().channelsOut(), 2);
    EXPECT_EQ(session.peer().metersProcessing(), 1);
    ASSERT_EQ(session.component()->setActive(0), kResultOk);
    EXPECT_EQ(session.peer().metersProcessing(), 0);
}

// ---- processing set-up -------------------------------------------------------------

class ProcessorSetup : public ModuleTest {
protected:
    void play(ProcessingSession& session, Signal& signal, int32_t blocks) {
        for (int32_t b = 0; b < blocks; ++b) {
            float* const* in = signal.next(kTenMs);
            session.processBlock(in, in, kTenMs);
        }
    }
};

TEST_F(ProcessorSetup, RefusedSetUpsStoreNothing) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    ASSERT_EQ(session.component()->setActive(0), kResultOk);
    ProcessSetupInfo slow{kOffline, kSample32, 1024, 0.5};
    EXPECT_EQ(session.processor()->prepareProcessing(slow), kResultFalse);
    ProcessSetupInfo empty{kOffline, kSample32, 0, kRate};
    EXPECT_EQ(session.processor()->prepareProcessing(empty), kResultFalse);
    ProcessSetupInfo negative{kOffline, kSample32, -64, kRate};
    EXPECT_EQ(session.processor()->prepareProcessing(negative), kResultFalse);
    ASSERT_EQ(session.component()->setActive(1), kResultOk);

    // Still at 48 kHz: a second of audio is one second.
    Signal signal(2, 0.1);
    play(session, signal, 100);
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:01"});
}

TEST_F(ProcessorSetup, SameSetUpAgainKeepsTheMeasurementAndRestartsTheTicker) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    Signal half(2, 0.5);
    play(session, half, 50);
    session.requestData();
    session.processNothing();
    const double measuredPeak = outputValue(session, 11);
    EXPECT_NEAR(MeterReadings::readingFromNormalized(measuredPeak), -6.02, 0.1);

    ASSERT_EQ(session.component()->setActive(0), kResultOk);
    ProcessSetupInfo same{kOffline, kSample32, 1024, kRate};
    EXPECT_EQ(session.processor()->prepareProcessing(same), kResultOk);
    EXPECT_EQ(session.processor()->prepareProcessing(same), kResultOk);
    ASSERT_EQ(session.component()->setActive(1), kResultOk);
    session.requestData();
    session.processNothing();
    EXPECT_EQ(outputValue(session, 11), measuredPeak) << "the meter was not rebuilt";

    // Half a second had been counted before; the ticker starts over, the count does not.
    play(session, half, 99);
    EXPECT_TRUE(session.peer().timeTexts().empty());
    play(session, half, 1);
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:01"}) << "1.5 s elapsed";
}

TEST_F(ProcessorSetup, NewBlockSizeRestartsTheMeterButKeepsTheParameters) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    session.changeParameter(kUnitSwitch, 1.0);
    Signal half(2, 0.5);
    play(session, half, 50);
    const Bytes before = saveState(session.component());
    ASSERT_EQ(recordsOf(before).at(kUnitSwitch), 1.0);

    ASSERT_EQ(session.component()->setActive(0), kResultOk);
    ProcessSetupInfo larger{kOffline, kSample32, 2048, kRate};
    EXPECT_EQ(session.processor()->prepareProcessing(larger), kResultOk);
    ASSERT_EQ(session.component()->setActive(1), kResultOk);
    EXPECT_EQ(saveState(session.component()), before) << "parameter values carried over";

    session.requestData();
    session.processNothing();
    session.readings().apply(11, outputValue(session, 11));
    EXPECT_FALSE(session.readings().shownTruePeak()) << "the rebuilt meter starts from its floor";
    EXPECT_NEAR(plainReading(session, 1), -57.0, 1e-9) << "still in LU: the floor of -80 LUFS reads -57 LU";
}

} // namespace
} // namespace ProcessorThroughModule
