// The processor as a host drives it through the built module's exported entry:
// what it measures and reports, the elapsed-time text, the request/answer
// handshake for the readings, the audio path, and offline blocks before the cycle.

#include <gtest/gtest.h>

#include "HostTestSupport.h"

namespace HostTest {
namespace {

// ---- measuring ---------------------------------------------------------------

class ProcessorMeasuring : public ModuleTest {};

TEST_F(ProcessorMeasuring, SineAtMinus23DbfsReadsMinus23LufsOrZeroLu) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    // A 997 Hz sine at -23 dBFS on both channels is -23 LUFS.
    Signal sine(2, dbToAmplitude(-23.0));
    feed(session, sine, 10.0);
    settleAndRead(session, sine);
    // Integrated, momentary, short-term, their maxima, and the true peak (a low
    // tone has no inter-sample overs).
    for (ParamID id : {3u, 1u, 2u, 8u, 9u, 11u}) EXPECT_NEAR(plainReading(session, id), -23.0, 0.1) << "id " << id;
    EXPECT_NEAR(100.0 * outputValue(session, 10), 0.0, 0.1) << "a steady tone has no loudness range";
    EXPECT_EQ(outputValue(session, 47), 0.0);
    EXPECT_EQ(outputValue(session, 46), 0.0);
    const double truePeakInLufsMode = outputValue(session, 11);

    // The unit switch only moves the loudness readings by 23 LU.
    session.changeParameter(kUnitSwitch, 1.0);
    readNow(session);
    for (ParamID id : {3u, 1u, 9u}) EXPECT_NEAR(plainReading(session, id), 0.0, 0.1) << "id " << id << " in LU";
    EXPECT_NEAR(outputValue(session, 3), 0.625, 0.001) << "0 LU on the -80..48 range";
    EXPECT_EQ(outputValue(session, 47), 0.0);
    EXPECT_EQ(outputValue(session, 11), truePeakInLufsMode) << "the true peak has no LU form";
    EXPECT_NEAR(100.0 * outputValue(session, 10), 0.0, 0.1) << "the range is a difference and takes no offset";

    session.changeParameter(kUnitSwitch, 0.0);
    readNow(session);
    EXPECT_NEAR(plainReading(session, 3), -23.0, 0.1) << "and back";
}

TEST_F(ProcessorMeasuring, WarningsRiseAboveMinus22LufsAndMinus1Dbtp) {
    struct Case {
        double peakDb;
        bool integratedOver, truePeakOver;
    };
    // The sine's integrated loudness and true peak both equal its peak level.
    for (const Case& c : {Case{-23.0, false, false}, Case{-21.5, true, false}, Case{-1.5, true, false},
                          Case{-0.5, true, true}}) {
        SCOPED_TRACE(c.peakDb);
        ProcessingSession session;
        ASSERT_TRUE(open(session));
        Signal sine(2, dbToAmplitude(c.peakDb));
        feed(session, sine, 3.0);
        settleAndRead(session, sine);
        EXPECT_NEAR(plainReading(session, 3), c.peakDb, 0.1);
        EXPECT_NEAR(plainReading(session, 11), c.peakDb, 0.1);
        EXPECT_EQ(outputValue(session, 47), c.integratedOver ? 1.0 : 0.0);
        EXPECT_EQ(outputValue(session, 46), c.truePeakOver ? 1.0 : 0.0);

        // The tolerance is 1 LU either way: the warning reads the same in LU.
        session.changeParameter(kUnitSwitch, 1.0);
        readNow(session);
        EXPECT_NEAR(plainReading(session, 3), c.peakDb + 23.0, 0.1);
        EXPECT_EQ(outputValue(session, 47), c.integratedOver ? 1.0 : 0.0);

        // Resetting the true peak takes effect before the readings of the same block.
        session.changeParameter(kResetTruePeak, 1.0);
        readNow(session);
        session.readings().apply(11, outputValue(session, 11));
        EXPECT_FALSE(session.readings().shownTruePeak()) << plainReading(session, 11);
        EXPECT_EQ(outputValue(session, 46), 0.0);
    }
}

// ---- elapsed time ------------------------------------------------------------

class ProcessorElapsedTime : public ModuleTest {
protected:
    void play(ProcessingSession& session, int32_t blocks) {
        for (int32_t b = 0; b < blocks; ++b) session.processBlock(silence_.data(), silence_.data(), kTenMs);
    }
    std::vector<float> zeros_ = std::vector<float>(kTenMs, 0.0f);
    std::vector<float*> silence_ = {zeros_.data(), zeros_.data()};
};

TEST_F(ProcessorElapsedTime, EachSecondOfPlaybackSendsOneTimeTextAndAStoppedTransportNone) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    play(session, 99);
    EXPECT_TRUE(session.peer().timeTexts().empty()) << "47520 samples are less than a second";
    play(session, 1);
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:01"});

    session.setTransportPlaying(false);
    play(session, 100);
    EXPECT_EQ(session.peer().timeTexts().size(), 1u) << "a stopped second was counted";
    session.setTransportPlaying(true);
    play(session, 100);
    EXPECT_EQ(session.peer().timeTexts(), (std::vector<std::string>{"00:00:01", "00:00:02"}));
}

TEST_F(ProcessorElapsedTime, ResetSendsZeroTimeAtOnceAndRestartsTheCount) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    session.setTransportPlaying(false);
    session.changeParameter(kResetLoudness, 1.0);
    session.processNothing();
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:00"}) << "sent while stopped";

    session.setTransportPlaying(true);
    play(session, 100);
    session.changeParameter(kResetLoudness, 1.0);
    session.processNothing();
    EXPECT_EQ(session.peer().timeTexts(), (std::vector<std::string>{"00:00:00", "00:00:01", "00:00:00"}));
    play(session, 100);
    EXPECT_EQ(session.peer().lastTime(), "00:00:01") << "the count starts again from zero";
}

// ---- readings on request -------------------------------------------------------

class ProcessorDataHandshake : public ModuleTest {
protected:
    // Ids of the last block's output list, checking one point at offset 0 each.
    static std::vector<ParamID> writtenIds(ProcessingSession& session) {
        ParameterChanges& changes = session.lastOutputChanges();
        std::vector<ParamID> ids;
        for (int32_t q = 0; q < changes.getParameterCount(); ++q) {
            IParamQueue* queue = changes.queueAt(q);
            ids.push_back(queue->getParameterId());
            int32_t offset = -1;
            double value = 0.0;
            EXPECT_EQ(queue->pointCount(), 1) << "id " << ids.back();
            EXPECT_EQ(queue->readPoint(0, &offset, &value), kResultOk);
            EXPECT_EQ(offset, 0) << "id " << ids.back();
        }
        return ids;
    }
    static int32_t written(ProcessingSession& session) { return session.lastOutputChanges().getParameterCount(); }

    void block(ProcessingSession& session) {
        float* const* in = signal_.next(kTenMs);
        session.processBlock(in, in, kTenMs);
    }
    Signal signal_{2, 0.25};
};

TEST_F(ProcessorDataHandshake, NothingIsWrittenWithoutARequest) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    for (int i = 0; i < 20; ++i) {
        block(session);
        ASSERT_EQ(written(session), 0) << "block " << i;
    }
    session.processNothing();
    EXPECT_EQ(written(session), 0);
}

TEST_F(ProcessorDataHandshake, RequestsBeforeABlockAreAnsweredByExactlyOneSet) {
    for (int requests : {1, 2}) {
        SCOPED_TRACE(requests);
        ProcessingSession session;
        ASSERT_TRUE(open(session));
        for (int r = 0; r < requests; ++r) session.requestData();
        block(session);
        EXPECT_EQ(writtenIds(session), kReadingOrder);
        // Readings with no display value of their own are written as zero.
        for (ParamID id : {51u, 52u, 53u}) EXPECT_EQ(outputValue(session, id), 0.0) << id;
        block(session);
        EXPECT_EQ(written(session), 0) << "the request was answered already";
        session.processNothing();
        EXPECT_EQ(written(session), 0);
    }
}

TEST_F(ProcessorDataHandshake, BypassHoldsTheRequestUntilItEnds) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    session.changeParameter(kBypass, 1.0);
    for (int i = 0; i < 5; ++i) {
        session.requestData();
        block(session);
        ASSERT_EQ(written(session), 0) << "bypassed block " << i << " (bypass arrives before the answer)";
    }
    session.changeParameter(kBypass, 0.0);
    block(session);
    EXPECT_EQ(writtenIds(session), kReadingOrder) << "the first block after bypass answers the pending request";
    block(session);
    EXPECT_EQ(written(session), 0);
}

// ---- the audio path ------------------------------------------------------------

class ProcessorAudioPath : public ModuleTest {};

TEST_F(ProcessorAudioPath, AudioPassesThroughBitForBitAlsoInPlace) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    Signal signal(2, 0.7, 1234.5, 0.3);
    OutputBuffers out(2, 1024);
    // Block sizes that do not line up with any internal frame or window.
    for (int32_t n : {1024, 1, 31, 480, 1000, 7, 1024}) {
        SCOPED_TRACE(n);
        float* const* in = signal.next(n);
        out.reset();
        session.requestData();
        ASSERT_EQ(session.processBlock(in, out.pointers(), n), kResultOk);
        EXPECT_TRUE(sameBits(in, out, 2, n));
        for (int32_t c = 0; c < 2 && n < 1024; ++c)
            EXPECT_EQ(out.channel(c)[static_cast<size_t>(n)], OutputBuffers::kUntouched) << "written past the block";
    }
    // In place, as most hosts run an analyser: the buffers keep the input.
    float* const* src = signal.next(512);
    const std::vector<float> left(src[0], src[0] + 512), right(src[1], src[1] + 512);
    ASSERT_EQ(session.processBlock(src, src, 512), kResultOk);
    EXPECT_EQ(std::vector<float>(src[0], src[0] + 512), left);
    EXPECT_EQ(std::vector<float>(src[1], src[1] + 512), right);
}

TEST_F(ProcessorAudioPath, EmptyBlockReadsChangesAndWritesNoAudio) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    Signal signal(2, 0.5);
    OutputBuffers out(2, 1024);
    session.changeParameter(kResetLoudness, 1.0);
    session.changeParameter(kUnitSwitch, 1.0);
    session.requestData();
    ASSERT_EQ(session.processBlock(signal.next(1024), out.pointers(), 0), kResultOk);
    for (int32_t c = 0; c < 2; ++c)
        EXPECT_EQ(out.channel(c), std::vector<float>(1024, OutputBuffers::kUntouched)) << "channel " << c;
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:00"}) << "the reset was read";
    // The switch was read before the answer: the floor of -80 LUFS reads -57 LU.
    EXPECT_NEAR(plainReading(session, 1), -57.0, 1e-9);
    const Bytes state = saveState(session.component());
    ASSERT_EQ(state.size(), kStateSize);
    EXPECT_EQ(recordsOf(state).at(kUnitSwitch), 1.0) << "the switch also reached the saved parameters";
}

// Regression: a block longer than the announced maximum overran the meter's buffers.
TEST_F(ProcessorAudioPath, BlockLongerThanAnnouncedIsRefusedAndLeavesTheOutputAlone) {
    ProcessingSession session;
    ProcessingSession::Options options;
    options.blockSize = 256;
    ASSERT_TRUE(open(session, options));
    Signal signal(2, 0.5);
    OutputBuffers out(2, 4 * 256);
    float* const* in = signal.next(4 * 256);
    RawBlock tooLong(2, in, out.pointers(), 4 * 256);
    EXPECT_EQ(tooLong.run(session.processor()), kInvalidArgument);
    for (int32_t c = 0; c < 2; ++c) EXPECT_EQ(out.channel(c), std::vector<float>(4 * 256, OutputBuffers::kUntouched));

    RawBlock announced(2, in, out.pointers(), 256);
    EXPECT_EQ(announced.run(session.processor()), kResultOk);
    EXPECT_TRUE(sameBits(in, out, 2, 256)) << "a block within the announcement still passes through";
}

// ---- offline blocks before the cycle -----------------------------------------------

class ProcessorCycleSkip : public ModuleTest {};

// Offline rendering skips ahead to the cycle: a block that ends before the cycle
// start passes its audio but is neither measured nor counted as playback time.
TEST_F(ProcessorCycleSkip, OnlyOfflineBlocksEndingBeforeTheCycleStartAreSkipped) {
    struct Case {
        int32_t mode;
        double quarters; // where every block starts; at 120 bpm a 10 ms block spans 0.02 quarters
        bool skipped;
    };
    for (const Case& c : {Case{kOffline, 0.0, true}, Case{kOffline, 15.97, true}, Case{kOffline, 15.99, false},
                          Case{kRealtime, 0.0, false}}) {
        SCOPED_TRACE(::testing::Message() << (c.mode == kOffline ? "offline" : "realtime") << " at " << c.quarters);
        ProcessingSession session;
        ProcessingSession::Options options;
        options.processMode = c.mode;
        ASSERT_TRUE(open(session, options));
        readNow(session);
        std::vector<double> before;
        for (ParamID id : kReadingOrder) before.push_back(outputValue(session, id));

        TransportContext transport{};
        transport.state = TransportContext::kPlaying | TransportContext::kPositionValid |
                          TransportContext::kTempoValid | TransportContext::kCycleValid;
        transport.sampleRate = kRate;
        transport.tempo = 120.0;
        transport.positionQuarters = c.quarters;
        transport.cycleStartQuarters = 16.0;
        transport.cycleEndQuarters = 32.0;
        OutputBuffers out(2, kTenMs);
        // One block at the case's position; the readings it wrote.
        auto run = [&](float* const* in, uint64_t silenceFlags = 0) {
            RawBlock raw(2, in, out.pointers(), kTenMs, c.mode);
            raw.inputs.silenceFlags = silenceFlags;
            raw.block.transport = &transport;
            out.reset();
            EXPECT_EQ(raw.run(session.processor()), kResultOk);
            EXPECT_TRUE(sameBits(in, out, 2, kTenMs)) << "the audio passes";
            EXPECT_EQ(raw.outputs.silenceFlags, silenceFlags);
            std::vector<double> readings;
            for (ParamID id : kReadingOrder) readings.push_back(raw.value(id));
            return readings;
        };
        Signal loud(2, 0.9, 997.0, 0.1);
        for (int b = 0; b < 100; ++b) run(loud.next(kTenMs));
        if (c.skipped) {
            std::vector<float> zeros(kTenMs, 0.0f);
            float* silent[2] = {zeros.data(), zeros.data()};
            run(silent, 0x3); // a skipped silent block passes its silence flags on
        }
        session.requestData();
        const std::vector<double> after = run(loud.next(kTenMs));
        if (c.skipped) {
            EXPECT_TRUE(session.peer().timeTexts().empty()) << "playback time was counted";
            EXPECT_EQ(after, before) << "the meters moved";
        } else {
            EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:01"});
            EXPECT_GT(MeterReadings::readingFromNormalized(after[8]), -3.0) << "true peak measured";
        }
    }
}

} // namespace
} // namespace HostTest
