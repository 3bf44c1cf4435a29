// The meter processor as the host's session drives it through the built
// module's exported entry, with the host's stand-in as its peer: readings in
// LUFS and LU with their warnings, the elapsed-time messages, one answer per
// request, the audio path, arrangements and set-ups.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/support/SessionKit.h"

namespace SessionKit {
namespace {

class Session : public ModuleSuite {};

// A steady stereo tone at P dBFS reads P LUFS, P + 23 LU and P dBTP; the
// warnings rise above -22 LUFS and -1 dBTP and read the same in LU; a
// true-peak reset takes effect before the readings of its block.
TEST_F(Session, AToneReadsItsLoudnessInLufsOrLuWithItsWarnings) {
    const struct {
        double dbfs;
        bool integratedOver, truePeakOver;
    } tones[] = {{-23.0, false, false}, {-21.5, true, false}, {-0.5, true, true}};
    for (const auto& t : tones) {
        SCOPED_TRACE(t.dbfs);
        ProcessingSession session;
        ASSERT_TRUE(open(session, factory()));
        Signal sine = Signal::sine(2, t.dbfs);
        play(session, sine, 3.5);
        MeterReadings r = read(session);
        for (double reading : {r.integrated, r.momentary, r.shortTerm, r.momentaryMax, r.shortTermMax, r.truePeak})
            EXPECT_NEAR(reading, t.dbfs, 0.1);
        EXPECT_NEAR(r.loudnessRange, 0.0, 0.1);
        EXPECT_EQ(r.integratedOver, t.integratedOver);
        EXPECT_EQ(r.truePeakOver, t.truePeakOver);

        session.changeParameter(Param::kScaleModeLoudness, 1.0);
        r = read(session);
        EXPECT_TRUE(r.luMode);
        EXPECT_NEAR(r.integrated, t.dbfs + 23.0, 0.1);
        EXPECT_NEAR(r.truePeak, t.dbfs, 0.1) << "the true peak has no LU form";
        EXPECT_EQ(r.integratedOver, t.integratedOver);

        session.changeParameter(Param::kResetTruePeak, 1.0);
        r = read(session);
        EXPECT_FALSE(r.shownTruePeak()) << r.truePeak;
        EXPECT_FALSE(r.truePeakOver);
    }
}

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

// Readings are written only in answer to a request: one set however many
// requests came, each reading once at offset 0 in the order the controller
// takes them; none while bypassed, and the first block after bypass answers
// what was asked meanwhile.
TEST_F(Session, EachRequestIsAnsweredOnceAndNotWhileBypassed) {
    const std::vector<ParamID> answer = {1, 2, 3, 47, 8, 9, 10, 45, 11, 46, 51, 52, 53};
    ProcessingSession session;
    ASSERT_TRUE(open(session, factory()));
    Signal tone = Signal::sine(2, -12.0);
    auto block = [&] {
        float* const* x = tone.next(480);
        session.processBlock(x, x, 480);
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
    EXPECT_TRUE(block().empty()) << "nobody asked";
    session.requestData();
    session.requestData();
    EXPECT_EQ(block(), answer);
    EXPECT_TRUE(block().empty()) << "two requests before a block are one";
    session.changeParameter(Param::kBypass, 1.0);
    session.requestData();
    EXPECT_TRUE(block().empty());
    EXPECT_TRUE(block().empty());
    session.changeParameter(Param::kBypass, 0.0);
    EXPECT_EQ(block(), answer);
}

// The input comes out bit for bit in blocks no internal frame lines up with,
// nothing is written past a block, and in-place buffers keep it; an empty
// block writes no audio but carries the changes ahead of the answer.
TEST_F(Session, AudioPassesBitForBitAndAnEmptyBlockCarriesOnlyChanges) {
    ProcessingSession session;
    ASSERT_TRUE(open(session, factory()));
    Signal noise = Signal::noise(2, -3.0);
    std::vector<float> left(1024), right(1024);
    float* out[2] = {left.data(), right.data()};
    for (int32_t n : {1024, 1, 31, 480, 1000, 7, 0}) {
        SCOPED_TRACE(n);
        left.assign(1024, -7.25f);
        right.assign(1024, -7.25f);
        float* const* in = noise.next(n);
        if (n == 0) {
            session.changeParameter(Param::kResetLoudness, 1.0);
            session.changeParameter(Param::kScaleModeLoudness, 1.0);
            session.requestData();
        }
        ASSERT_EQ(session.processBlock(in, out, n), kResultOk);
        for (int c = 0; c < 2; ++c) {
            EXPECT_EQ(std::memcmp(in[c], out[c], sizeof(float) * static_cast<size_t>(n)), 0);
            EXPECT_EQ(std::count(out[c] + n, out[c] + 1024, -7.25f), 1024 - n) << "written past the block";
        }
    }
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:00"}) << "the empty block's reset";
    EXPECT_NEAR(session.readings().momentary, -57.0, 1e-9) << "the floor of -80 LUFS in LU: the switch came first";
    EXPECT_EQ(valuesOf(saveState(session.component())).at(Param::kScaleModeLoudness), 1.0);

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
