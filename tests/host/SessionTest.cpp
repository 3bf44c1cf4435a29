// The meter processor as the host's session drives it through the built
// module's exported entry, with the host's stand-in as its peer: the
// elapsed-time messages, one answer per request, the audio path, arrangements
// and set-ups.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/support/SessionKit.h"

namespace SessionKit {
namespace {

class Session : public ModuleSuite {};

// One "time" text per second of played audio, none while the transport
// stands; a reset sends "00:00:00" at once, also while stopped, and the count
// starts over.
TEST_F(Session, ElapsedTimeCountsPlayedSecondsAndStartsOverWithAReset) {
    ProcessingSession session;
    ASSERT_TRUE(open(session, factory()));
    Signal silence(2, [](int64_t, int32_t) { return 0.0f; });
    play(session, silence, 0.99);
    EXPECT_TRUE(session.peer().timeTexts().empty()) << "less than a second";
    play(session, silence, 0.01);
    session.setTransportPlaying(false);
    play(session, silence, 1.5);
    session.changeParameter(Param::kResetLoudness, 1.0);
    session.processNothing();
    EXPECT_EQ(session.peer().lastTime(), "00:00:00");
    EXPECT_EQ(session.readings().time, "00:00:00");
    session.setTransportPlaying(true);
    play(session, silence, 1.0);
    EXPECT_EQ(session.peer().timeTexts(), (std::vector<std::string>{"00:00:01", "00:00:00", "00:00:01"}));
    EXPECT_EQ(session.readings().time, "00:00:01");
}

// Readings are written only in answer to a request, after the block's
// changes took effect: one set however many requests came, each reading once
// at offset 0 in the order the controller takes them; none while bypassed, and
// the first block after bypass answers what was asked meanwhile. The input
// comes out bit for bit in blocks no internal frame lines up with, nothing is
// written past a block, and in-place buffers keep it.
TEST_F(Session, EachRequestIsAnsweredOnceAfterTheChangesAndTheAudioPassesBitForBit) {
    const std::vector<ParamID> answer = {1, 2, 3, 47, 8, 9, 10, 45, 11, 46, 51, 52, 53};
    ProcessingSession session;
    ASSERT_TRUE(open(session, factory()));
    Signal noise = Signal::noise(2, -3.0);
    std::vector<float> left(1024), right(1024);
    float* out[2] = {left.data(), right.data()};
    auto block = [&](int32_t n) {
        left.assign(1024, -7.25f);
        right.assign(1024, -7.25f);
        float* const* in = noise.next(n);
        EXPECT_EQ(session.processBlock(in, out, n), kResultOk);
        for (int c = 0; c < 2; ++c) {
            EXPECT_EQ(std::memcmp(in[c], out[c], sizeof(float) * static_cast<size_t>(n)), 0) << n;
            EXPECT_EQ(std::count(out[c] + n, out[c] + 1024, -7.25f), 1024 - n) << "written past a block of " << n;
        }
        std::vector<ParamID> ids;
        ParameterChanges& list = session.lastOutputChanges();
        for (int32_t q = 0; q < list.getParameterCount(); ++q) {
            int32_t offset = -1;
            EXPECT_EQ(list.queueAt(q)->pointCount(), 1);
            list.queueAt(q)->readPoint(0, &offset, nullptr);
            EXPECT_EQ(offset, 0);
            ids.push_back(list.queueAt(q)->getParameterId());
        }
        return ids;
    };
    for (int32_t n : {1024, 1, 31, 480, 1000, 7}) EXPECT_TRUE(block(n).empty()) << "nobody asked";
    session.requestData();
    session.requestData();
    session.changeParameter(Param::kResetTruePeak, 1.0);
    EXPECT_EQ(block(0), answer) << "an empty block carries the changes and the answer";
    EXPECT_FALSE(session.readings().shownTruePeak()) << "the reset came before the answer";
    EXPECT_TRUE(block(480).empty()) << "two requests before a block are one";
    session.changeParameter(Param::kBypass, 1.0);
    session.requestData();
    EXPECT_TRUE(block(480).empty());
    EXPECT_TRUE(block(480).empty());
    session.changeParameter(Param::kBypass, 0.0);
    EXPECT_EQ(block(480), answer);

    float* const* x = noise.next(512);
    const std::vector<float> before(x[1], x[1] + 512);
    session.processBlock(x, x, 512);
    EXPECT_EQ(std::vector<float>(x[1], x[1] + 512), before) << "in place";
}

// Equal arrangements are taken and reported to the peer with the meters
// running, and again when activation ends; mono in with stereo out is refused
// and every bus falls back to the input's arrangement, which then measures.
TEST_F(Session, ArrangementsAreTakenOrFallBackToTheInputsAndReportedToThePeer) {
    for (int32_t channels : {1, 2, 6, 14}) {
        SCOPED_TRACE(channels);
        ProcessingSession session;
        ProcessingSession::Options options;
        options.channels = channels;
        ASSERT_TRUE(open(session, factory(), options));
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

    ProcessingSession session;
    ASSERT_TRUE(open(session, factory()));
    IAudioProcessor* processor = session.processor();
    ASSERT_EQ(session.component()->setActive(0), kResultOk);
    SpeakerArrangement in = ProcessingSession::arrangementFor(1), out = kArrangementStereo;
    EXPECT_EQ(processor->offerArrangements(&in, 1, &out, 1), kResultFalse);
    SpeakerArrangement input = 0, output = 0;
    processor->busArrangement(kInput, 0, input);
    processor->busArrangement(kOutput, 0, output);
    EXPECT_EQ(input, in);
    EXPECT_EQ(output, in);
    ProcessSetupInfo setup{kRealtime, kSample32, 512, kRate};
    ASSERT_EQ(processor->prepareProcessing(setup), kResultOk);
    ASSERT_EQ(session.component()->setActive(1), kResultOk);
    EXPECT_EQ(session.peer().channelsIn(), 1);
    EXPECT_EQ(session.peer().channelsOut(), 1);
    Signal mono = Signal::sine(1, -6.0);
    std::vector<float> passed(256);
    float* outs[1] = {passed.data()};
    auto outputs = IPtr<ParameterChanges>::adopt(new ParameterChanges);
    float* const* samples = mono.next(256);
    session.requestData();
    EXPECT_EQ(processRaw(processor, 1, samples, outs, 256, kRealtime, nullptr, outputs.get()), kResultOk);
    EXPECT_EQ(std::memcmp(samples[0], outs[0], 256 * sizeof(float)), 0);
    EXPECT_EQ(outputs->getParameterCount(), 13);
}

// A set-up without samples or rate is refused and stores nothing; the same
// set-up again keeps the measurement (the ticker starts over, the count does
// not); a new block size rebuilds the meter, which keeps its parameters.
TEST_F(Session, SetUpsAreRefusedWholeAndOnlyANewOneRebuildsTheMeter) {
    ProcessingSession session;
    ASSERT_TRUE(open(session, factory()));
    auto prepare = [&](ProcessSetupInfo setup, tresult expected) {
        ASSERT_EQ(session.component()->setActive(0), kResultOk);
        EXPECT_EQ(session.processor()->prepareProcessing(setup), expected);
        ASSERT_EQ(session.component()->setActive(1), kResultOk);
    };
    for (ProcessSetupInfo bad : {ProcessSetupInfo{kOffline, kSample32, 1024, 0.5},
                                 ProcessSetupInfo{kOffline, kSample32, 0, kRate},
                                 ProcessSetupInfo{kOffline, kSample32, -64, kRate}})
        prepare(bad, kResultFalse);
    Signal half = Signal::sine(2, -6.02);
    play(session, half, 0.5);
    const double peak = read(session).truePeak;
    EXPECT_NEAR(peak, -6.02, 0.1);

    prepare({kOffline, kSample32, 1024, kRate}, kResultOk);
    EXPECT_EQ(read(session).truePeak, peak) << "the meter was rebuilt";
    play(session, half, 0.99);
    EXPECT_TRUE(session.peer().timeTexts().empty());
    play(session, half, 0.01);
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:01"}) << "1.5 s played at 48 kHz";

    session.changeParameter(Param::kScaleModeLoudness, 1.0);
    session.processNothing();
    const Bytes before = saveState(session.component());
    prepare({kOffline, kSample32, 2048, kRate}, kResultOk);
    EXPECT_EQ(saveState(session.component()), before);
    const MeterReadings& rebuilt = read(session);
    EXPECT_FALSE(rebuilt.shownTruePeak()) << "the new meter starts from its floor";
    EXPECT_NEAR(rebuilt.momentary, -57.0, 1e-9) << "and still in LU";
}

} // namespace
} // namespace SessionKit
