// What the meter processor tells the host and the controller: the readings as
// normalized values of their parameters, in LUFS or LU, the two warnings, one
// answer per request and none while bypassed, the last point of a parameter
// change, the elapsed time of counted playback, and the offline cycle skip.

#include <gtest/gtest.h>

#include "ProcessorRig.h"

namespace ProcessorTesting {
namespace {

using namespace Param;

// A steady stereo tone at P dBFS reads P LUFS, P + 23 LU, P dBTP; the
// integrated value turns on its warning above -22 LUFS, the true peak above -1 dBTP.
TEST(ProcessorReadings, ATonesReadingsInLufsAndLuAndItsWarnings) {
    const struct {
        double dbfs, integratedOver, truePeakOver;
    } tones[] = {{-23.0, 0, 0}, {-22.5, 0, 0}, {-21.5, 1, 0}, {-1.5, 1, 0}, {-0.5, 1, 1}};
    for (const auto& t : tones)
        for (double lu : {0.0, 1.0}) {
            SCOPED_TRACE(::testing::Message() << t.dbfs << " dBFS" << (lu ? " in LU" : ""));
            Rig rig;
            rig.change(kScaleModeLoudness, 1.0 - lu); // of several points in one block, the last one counts
            rig.inputs->addChange(kScaleModeLoudness, 100, lu);
            rig.play(3.5, t.dbfs);
            auto r = rig.readings();
            for (ParamID id : {kLoudnessM, kLoudnessS, kLoudnessI, kLoudnessMMax, kLoudnessSTMax})
                EXPECT_NEAR(r[id], t.dbfs + 23.0 * lu, 0.1) << "id " << id;
            EXPECT_NEAR(r[kLoudnessRange], 0.0, 0.1);
            EXPECT_NEAR(r[kTruePeak], t.dbfs, 0.1);
            EXPECT_EQ(r[kLoudnessIOver], t.integratedOver);
            EXPECT_EQ(r[kTruePeakOver], t.truePeakOver);
        }
}

// Floating-point audio may run above full scale: a square at +18 dBFS on 14
// channels reads +55 LU, beyond the +48 top of the range; nothing measured
// yet, the true peak's -120 dB floor lies below it. Both go out at the range's ends.
TEST(ProcessorReadings, EveryReadingGoesOutNormalized) {
    Rig rig(14);
    EXPECT_EQ(rig.readings()[kTruePeak], -80.0);
    rig.change(kScaleModeLoudness, 1.0);
    for (int b = 0; b < 320; ++b) rig.process(b % 2 ? 8.0f : -8.0f);
    const auto sent = rig.normalized();
    for (auto [id, value] : sent) EXPECT_TRUE(value >= 0.0 && value <= 1.0) << "id " << id;
    EXPECT_EQ(sent.at(kLoudnessMMax), 1.0);
}

// A request is answered by the next block only; while bypassed there is no
// answer, but the meter goes on measuring what it passes.
TEST(ProcessorReadings, OneRequestOneAnswerNoneWhileBypassedAndBypassKeepsMeasuring) {
    Rig rig;
    rig.play(1.0, -40.0);
    rig.send("PluginDataGet");
    rig.process(rig.pointers.data(), rig.pointers.data());
    EXPECT_GT(rig.outputs->getParameterCount(), 0);
    rig.process(rig.pointers.data(), rig.pointers.data());
    EXPECT_EQ(rig.outputs->getParameterCount(), 0);

    rig.change(kBypass, 1.0);
    rig.play(1.0, -23.0);
    rig.send("PluginDataGet");
    rig.process(rig.pointers.data(), rig.pointers.data());
    EXPECT_EQ(rig.outputs->getParameterCount(), 0);
    rig.change(kBypass, 0.0);
    EXPECT_NEAR(rig.readings()[kLoudnessM], -23.0, 0.1);
}

// A host may render offline without a new set-up: such a block's windows are
// evaluated where they arrive, exactly as after an offline set-up.
TEST(ProcessorReadings, AnOfflineBlockAfterARealtimeSetUpIsMeasuredInPlace) {
    Rig offline, switched(2, kRealtime);
    switched.blockMode = kOffline;
    for (double dbfs : {-30.0, -10.0, -25.0}) {
        offline.play(0.7, dbfs);
        switched.play(0.7, dbfs);
    }
    EXPECT_EQ(switched.readings(), offline.readings());
}

TEST(ProcessorTime, TheElapsedTimeTextIsHoursMinutesAndSeconds) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "00:00:00"}, {61, "00:01:01"}, {3599, "00:59:59"}, {3661, "01:01:01"}, {360005, "100:00:05"}};
    for (auto [seconds, text] : cases) {
        char formatted[32];
        VazEzaruZel::formatTime(seconds, formatted, sizeof formatted);
        EXPECT_STREQ(formatted, text);
    }
}

// Counted while the transport plays, sent once a second of audio; the
// loudness reset starts it over at once.
TEST(ProcessorTime, CountsPlayingBlocksAndStartsOverWithTheReset) {
    Rig rig;
    TransportContext transport{};
    rig.transport = &transport;
    auto run = [&](int blocks) {
        for (int b = 0; b < blocks; ++b) rig.process(0.0f);
    };
    run(200);
    EXPECT_EQ(rig.meter->elapsedSamples(), 0) << "counted while stopped";
    transport.state = TransportContext::kPlaying;
    run(235); // 2.5 s: a text after each full second
    ASSERT_FALSE(rig.peer->texts["time"].empty());
    EXPECT_EQ(rig.peer->texts["time"].back(), "00:00:02");
    rig.change(kResetLoudness, 1.0);
    rig.process(0.0f);
    EXPECT_EQ(rig.peer->texts["time"].back(), "00:00:00");
    EXPECT_EQ(rig.meter->elapsedSamples(), 0);
}

// Offline, a block that ends before the host's cycle starts passes its audio
// and is neither measured nor counted; the one that reaches into the cycle is.
TEST(ProcessorTime, OfflineBlocksBeforeTheCycleAreNotMeasured) {
    Rig rig(2, kOffline);
    TransportContext transport{};
    transport.state = TransportContext::kPlaying | TransportContext::kPositionValid | TransportContext::kTempoValid |
                      TransportContext::kCycleValid;
    transport.sampleRate = 48000.0;
    transport.tempo = 120.0; // a block of 512 samples is 0.0213 quarters
    transport.cycleStartQuarters = 10.0;
    rig.transport = &transport;
    for (double position : {5.0, 9.985}) {
        transport.positionQuarters = position;
        std::vector<float> in(kBlock, 0.5f), out(kBlock, 0.0f);
        float* i[] = {in.data(), in.data()};
        float* o[] = {out.data(), out.data()};
        rig.process(i, o);
        EXPECT_EQ(out, in) << position;
        EXPECT_EQ(rig.meter->elapsedSamples(), position < 9.9 ? 0 : kBlock) << position;
    }
}

} // namespace
} // namespace ProcessorTesting
