// The processor as a host drives it through the built module: what it
// measures and reports, the elapsed-time text, the request/answer handshake for
// the readings, and the audio path.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ProcessorThroughModuleSupport.h"

namespace ProcessorThroughModule {
namespace {

// ---- measuring ---------------------------------------------------------------

class ProcessorMeasuring : public ModuleTest {};

TEST_F(ProcessorMeasuring, SineAtTargetLevelReadsMinus23LufsOrZeroLu) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    // A 997 Hz sine at -23 dBFS on both channels is -23 LUFS.
    Signal sine(2, dbToAmplitude(-23.0));
    feed(session, sine, 10.0);
    settleAndRead(session, sine);

    EXPECT_NEAR(plainReading(session, 3), -23.0, 0.1) << "integrated";
    EXPECT_NEAR(plainReading(session, 1), -23.0, 0.1) << "momentary";
    EXPECT_NEAR(plainReading(session, 2), -23.0, 0.1) << "short-term";
    EXPECT_NEAR(plainReading(session, 8), -23.0, 0.1) << "momentary maximum";
    EXPECT_NEAR(plainReading(session, 9), -23.0, 0.1) << "short-term maximum";
    EXPECT_NEAR(100.0 * outputValue(session, 10), 0.0, 0.1) << "a steady tone has no loudness range";
    EXPECT_EQ(outputValue(session, 47), 0.0) << "-23 LUFS is within the tolerance";
    // Sample peak 0.0708 (-23 dBFS); a low tone has no inter-sample overs.
    EXPECT_NEAR(plainReading(session, 11), -23.0, 0.1) << "true peak";
    EXPECT_EQ(outputValue(session, 46), 0.0);
    const double truePeakInLufsMode = outputValue(session, 11);

    // The unit switch only moves the loudness readings by 23 LU.
    session.changeParameter(kUnitSwitch, 1.0);
    session.requestData();
    session.processNothing();
    EXPECT_NEAR(plainReading(session, 3), 0.0, 0.1) << "integrated in LU";
    EXPECT_NEAR(outputValue(session, 3), (0.0 + 80.0) / 128.0, 0.001);
    EXPECT_NEAR(plainReading(session, 1), 0.0, 0.1) << "momentary in LU";
    EXPECT_NEAR(plainReading(session, 9), 0.0, 0.1) << "short-term maximum in LU";
    EXPECT_EQ(outputValue(session, 47), 0.0) << "0 LU is within the tolerance";
    EXPECT_EQ(outputValue(session, 11), truePeakInLufsMode) << "the true peak has no LU form";
    EXPECT_NEAR(100.0 * outputValue(session, 10), 0.0, 0.1) << "the range is a difference and takes no offset";

    // And back: the offset goes away again.
    session.changeParameter(kUnitSwitch, 0.0);
    session.requestData();
    session.processNothing();
    EXPECT_NEAR(plainReading(session, 3), -23.0, 0.1);
}

TEST_F(ProcessorMeasuring, IntegratedAboveMinus22RaisesTheWarningInBothUnits) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    Signal sine(2, dbToAmplitude(-21.5));
    feed(session, sine, 3.0);
    settleAndRead(session, sine);
    EXPECT_NEAR(plainReading(session, 3), -21.5, 0.1);
    EXPECT_EQ(outputValue(session, 47), 1.0);

    session.changeParameter(kUnitSwitch, 1.0);
    session.requestData();
    session.processNothing();
    EXPECT_NEAR(plainReading(session, 3), 1.5, 0.1);
    EXPECT_EQ(outputValue(session, 47), 1.0) << "1.5 LU lies above the 1 LU tolerance";
}

TEST_F(ProcessorMeasuring, TruePeakWarningFollowsMinusOneDbtp) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    Signal half(2, 0.5);
    feed(session, half, 0.5);
    session.requestData();
    session.processNothing();
    EXPECT_NEAR(plainReading(session, 11), 20.0 * std::log10(0.5), 0.1);
    EXPECT_EQ(outputValue(session, 46), 0.0) << "-6.02 dBTP is well below -1 dBTP";

    // Resetting the true peak takes effect before the readings of the same block.
    session.changeParameter(kResetTruePeak, 1.0);
    session.requestData();
    session.processNothing();
    session.readings().apply(11, outputValue(session, 11));
    EXPECT_FALSE(session.readings().shownTruePeak()) << "true peak after reset: " << plainReading(session, 11);
    EXPECT_EQ(outputValue(session, 46), 0.0);

    Signal full(2, 1.0);
    feed(session, full, 0.5);
    session.requestData();
    session.processNothing();
    EXPECT_NEAR(plainReading(session, 11), 0.0, 0.1);
    EXPECT_EQ(outputValue(session, 46), 1.0) << "a full-scale tone lies above -1 dBTP";
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

TEST_F(ProcessorElapsedTime, OneSecondOfPlaybackSendsOneTimeText) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    play(session, 99);
    EXPECT_TRUE(session.peer().timeTexts().empty()) << "47520 samples are less than a second";
    play(session, 1);
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:01"});
    play(session, 99);
    EXPECT_EQ(session.peer().timeTexts().size(), 1u);
    play(session, 1);
    EXPECT_EQ(session.peer().timeTexts(), (std::vector<std::string>{"00:00:01", "00:00:02"}));
}

TEST_F(ProcessorElapsedTime, StoppedTransportCountsNothing) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    session.setTransportPlaying(false);
    play(session, 100);
    EXPECT_TRUE(session.peer().timeTexts().empty());

    // Had the stopped second been counted, this would read 00:00:02.
    session.setTransportPlaying(true);
    play(session, 100);
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:01"});
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
            if (!queue) {
                ADD_FAILURE() << "no queue at " << q;
                continue;
            }
            ids.push_back(queue->getParameterId());
            EXPECT_EQ(queue->pointCount(), 1) << "id " << queue->getParameterId();
            int32_t offset = -1;
            double value = 0.0;
            EXPECT_EQ(queue->readPoint(0, &offset, &value), kResultOk);
            EXPECT_EQ(offset, 0) << "id " << queue->getParameterId();
        }
        return ids;
    }

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
        ASSERT_EQ(session.lastOutputChanges().getParameterCount(), 0) << "block " << i;
    }
    session.processNothing();
    EXPECT_EQ(session.lastOutputChanges().getParameterCount(), 0);
}

TEST_F(ProcessorDataHandshake, OneRequestIsAnsweredByExactlyOneBlock) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    session.requestData();
    block(session);
    EXPECT_EQ(writtenIds(session), kReadingOrder);
    // Readings with no display value of their own are written as zero.
    EXPECT_EQ(outputValue(session, 51), 0.0);
    EXPECT_EQ(outputValue(session, 52), 0.0);
    EXPECT_EQ(outputValue(session, 53), 0.0);

    block(session);
    EXPECT_EQ(session.lastOutputChanges().getParameterCount(), 0) << "the request was answered already";
    session.processNothing();
    EXPECT_EQ(session.lastOutputChanges().getParameterCount(), 0);
}

TEST_F(ProcessorDataHandshake, TwoRequestsBeforeABlockGiveOneSet) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    session.requestData();
    session.requestData();
    block(session);
    EXPECT_EQ(writtenIds(session), kReadingOrder);
    block(session);
    EXPECT_EQ(session.lastOutputChanges().getParameterCount(), 0);
}

TEST_F(ProcessorDataHandshake, BypassHoldsTheRequestUntilItEnds) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    session.changeParameter(kBypass, 1.0);
    session.requestData();
    block(session);
    EXPECT_EQ(session.lastOutputChanges().getParameterCount(), 0) << "bypass arrives before the answer";
    for (int i = 0; i < 5; ++i) {
        session.requestData();
        block(session);
        ASSERT_EQ(session.lastOutputChanges().getParameterCount(), 0) << "bypassed block " << i;
    }
    session.changeParameter(kBypass, 0.0);
    block(session);
    EXPECT_EQ(writtenIds(session), kReadingOrder) << "the first block after bypass answers the pending request";
    block(session);
    EXPECT_EQ(session.lastOutputChanges().getParameterCount(), 0);
}

// ---- the audio path ------------------------------------------------------------

class ProcessorAudioPath : public ModuleTest {};

TEST_F(ProcessorAudioPath, AudioPassesThroughBitForBit) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    Signal signal(2, 0.7, 1234.5, 0.3);
    OutputBuffers out(2, 1024);
    // Block sizes that do not line up with any internal frame or window.
    for (int32_t n : {1024, 1, 31, 480, 1000, 7, 1024}) {
        SCOPED_TRACE(n);
        float* const* in = signal.next(n);
        out.fill(OutputBuffers::kUntouched);
        session.requestData();
        ASSERT_EQ(session.processBlock(in, out.pointers(), n), kResultOk);
        EXPECT_TRUE(sameBits(in, out, 2, n));
        if (n < 1024) {
            EXPECT_EQ(out.channel(0)[static_cast<size_t>(n)], OutputBuffers::kUntouched) << "written past the block";
            EXPECT_EQ(out.channel(1)[static_cast<size_t>(n)], OutputBuffers::kUntouched) << "written past the block";
        }
    }
    // In place, as most hosts run an analyser: the buffers keep the input.
    std::vector<float> left(512), right(512);
    float* const* src = signal.next(512);
    std::copy(src[0], src[0] + 512, left.begin());
    std::copy(src[1], src[1] + 512, right.begin());
    ASSERT_EQ(session.processBlock(src, src, 512), kResultOk);
    EXPECT_EQ(std::memcmp(src[0], left.data(), 512 * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(src[1], right.data(), 512 * sizeof(float)), 0);
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

    // The switch also reached the saved parameters.
    const Bytes state = saveState(session.component());
    ASSERT_EQ(state.size(), 1684u);
    bool found = false;
    for (size_t r = 0; r < 12; ++r) {
        int32_t id = 0;
        double value = 0.0;
        std::memcpy(&id, state.data() + 4 + r * 140 + 128, 4);
        std::memcpy(&value, state.data() + 4 + r * 140 + 132, 8);
        if (id == static_cast<int32_t>(kUnitSwitch)) {
            found = true;
            EXPECT_EQ(value, 1.0);
        }
    }
    EXPECT_TRUE(found);
}

// ---- offline blocks before the cycle -----------------------------------------------

// The session fills in the transport itself; these blocks carry their own.
class ProcessorCycleSkip : public ModuleTest {
protected:
    struct Driver {
        ProcessingSession& session;
        TransportContext transport{};
        int32_t processMode = kOffline;
        uint64_t inputSilence = 0;
        uint64_t outputSilence = 0;
        IPtr<ParameterChanges> inputChanges = IPtr<ParameterChanges>::adopt(new ParameterChanges);
        IPtr<ParameterChanges> outputChanges = IPtr<ParameterChanges>::adopt(new ParameterChanges);

        tresult run(float* const* in, float* const* out, int32_t n) {
            AudioBufferSet inputs{2, inputSilence, const_cast<float**>(in)};
            AudioBufferSet outputs{2, 0, const_cast<float**>(out)};
            ProcessBlock block{};
            block.processMode = processMode;
            block.sampleSizeCode = kSample32;
            block.numSamples = n;
            block.numInputs = 1;
            block.numOutputs = 1;
            block.inputs = &inputs;
            block.outputs = &outputs;
            block.inputChanges = inputChanges.get();
            block.outputChanges = outputChanges.get();
            block.transport = &transport;
            outputChanges->clear();
            const tresult result = session.processor()->process(block);
            outputSilence = outputs.silenceFlags;
            inputChanges->clear();
            transport.positionQuarters += n * transport.tempo / (60.0 * transport.sampleRate);
            transport.projectTimeSamples += n;
            return result;
        }
        double value(ParamID id) {
            double v = std::nan("");
            outputChanges->lastValue(id, v);
            return v;
        }
        std::vector<double> readings() {
            std::vector<double> values;
            for (ParamID id : kReadingOrder) values.push_back(value(id));
            return values;
        }
    };

    static Driver driverFor(ProcessingSession& session) {
        Driver driver{session};
        TransportContext& t = driver.transport;
        t.state = TransportContext::kPlaying | TransportContext::kPositionValid | TransportContext::kTempoValid |
                  TransportContext::kCycleValid;
        t.sampleRate = kRate;
        t.tempo = 120.0;
        t.positionQuarters = 0.0;
        t.cycleStartQuarters = 16.0;
        t.cycleEndQuarters = 32.0;
        return driver;
    }
};

TEST_F(ProcessorCycleSkip, BlocksBeforeTheCycleStartPassAudioButMeasureAndCountNothing) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    Driver driver = driverFor(session);
    Signal loud(2, 0.9, 997.0, 0.1);
    OutputBuffers out(2, kTenMs);

    session.requestData();
    ASSERT_EQ(driver.run(loud.next(kTenMs), out.pointers(), kTenMs), kResultOk);
    const std::vector<double> before = driver.readings();
    ASSERT_EQ(before.size(), kReadingOrder.size());
    EXPECT_EQ(before[0], 0.0) << "momentary at its floor of -80 LUFS";

    // One second at 120 bpm is two quarter notes: every block ends far before quarter 16.
    for (int b = 0; b < 100; ++b) {
        float* const* in = loud.next(kTenMs);
        out.fill(OutputBuffers::kUntouched);
        ASSERT_EQ(driver.run(in, out.pointers(), kTenMs), kResultOk);
        ASSERT_TRUE(sameBits(in, out, 2, kTenMs)) << "block " << b;
    }
    EXPECT_TRUE(session.peer().timeTexts().empty()) << "no playback time was counted";

    // A silent block passes its silence flags on with the audio.
    std::vector<float> zeros(kTenMs, 0.0f);
    float* silent[2] = {zeros.data(), zeros.data()};
    driver.inputSilence = 0x3;
    out.fill(OutputBuffers::kUntouched);
    ASSERT_EQ(driver.run(silent, out.pointers(), kTenMs), kResultOk);
    EXPECT_EQ(driver.outputSilence, 0x3u);
    EXPECT_TRUE(sameBits(silent, out, 2, kTenMs));
    driver.inputSilence = 0;

    session.requestData();
    driver.run(loud.next(kTenMs), out.pointers(), kTenMs);
    EXPECT_EQ(driver.readings(), before) << "the meters did not move";

    // Once the position reaches the cycle start the same blocks are measured and counted.
    driver.transport.positionQuarters = 16.0;
    for (int b = 0; b < 100; ++b) driver.run(loud.next(kTenMs), out.pointers(), kTenMs);
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:01"});
    session.requestData();
    driver.run(loud.next(kTenMs), out.pointers(), kTenMs);
    EXPECT_GT(MeterReadings::readingFromNormalized(driver.value(11)), -3.0) << "true peak measured";
}

TEST_F(ProcessorCycleSkip, OnlyBlocksEndingBeforeTheCycleStartAreSkipped) {
    ProcessingSession session;
    ASSERT_TRUE(open(session));
    Driver driver = driverFor(session);
    Signal loud(2, 0.9);
    OutputBuffers out(2, kTenMs);
    // A 10 ms block spans 0.02 quarters: from 15.97 it ends just short of quarter 16.
    for (int b = 0; b < 100; ++b) {
        driver.transport.positionQuarters = 15.97;
        driver.run(loud.next(kTenMs), out.pointers(), kTenMs);
    }
    EXPECT_TRUE(session.peer().timeTexts().empty());
    session.requestData();
    driver.transport.positionQuarters = 15.97;
    driver.run(loud.next(kTenMs), out.pointers(), kTenMs);
    EXPECT_LE(MeterReadings::readingFromNormalized(driver.value(11)), -80.0) << "true peak still at its floor";

    // From 15.99 it ends past the cycle start: measured and counted.
    for (int b = 0; b < 100; ++b) {
        driver.transport.positionQuarters = 15.99;
        driver.run(loud.next(kTenMs), out.pointers(), kTenMs);
    }
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:01"});
    session.requestData();
    driver.transport.positionQuarters = 15.99;
    driver.run(loud.next(kTenMs), out.pointers(), kTenMs);
    EXPECT_GT(MeterReadings::readingFromNormalized(driver.value(11)), -3.0) << "true peak measured";
}

TEST_F(ProcessorCycleSkip, RealtimeBlocksBeforeTheCycleAreMeasured) {
    ProcessingSession session;
    ProcessingSession::Options options;
    options.processMode = kRealtime;
    ASSERT_TRUE(open(session, options));
    Driver driver = driverFor(session);
    Signal loud(2, 0.9);
    OutputBuffers out(2, kTenMs);
    driver.processMode = kRealtime;
    // Only offline rendering skips ahead to the cycle; realtime blocks are measured and counted.
    for (int b = 0; b < 100; ++b) driver.run(loud.next(kTenMs), out.pointers(), kTenMs);
    EXPECT_EQ(session.peer().timeTexts(), std::vector<std::string>{"00:00:01"});
    session.requestData();
    driver.run(loud.next(kTenMs), out.pointers(), kTenMs);
    EXPECT_GT(MeterReadings::readingFromNormalized(driver.value(11)), -3.0) << "true peak measured";
}

} // namespace
} // namespace ProcessorThroughModule
