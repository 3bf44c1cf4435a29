// The audio-thread guard around the module's process calls: which sessions it
// watches, their one audio thread, and the meter's whole audio path (both
// message peers, every user command, bypass, silence, restored states, 5.1)
// without one allocation, blocking call or late block.

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "ProcessorThroughModuleSupport.h"
#include "host/AudioThreadGuard.h"
#include "host/PluginInstance.h"

namespace ProcessorThroughModule {
namespace {

using NivoloHost::AudioThreadGuard;
using NivoloHost::PluginInstance;

class GuardedSession : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        wasEnabled_ = AudioThreadGuard::enabled();
        AudioThreadGuard::enable(false); // only the sessions' own option
        AudioThreadGuard::reset();
    }
    void TearDown() override { AudioThreadGuard::enable(wasEnabled_); }

    static ProcessingSession::Options guarded(int32_t channels = 2) {
        ProcessingSession::Options options;
        options.channels = channels;
        options.blockSize = kTenMs;
        options.audioGuard = true;
        return options;
    }
    static void expectClean() {
        std::ostringstream details;
        EXPECT_TRUE(AudioThreadGuard::finish(details)) << details.str();
    }

    bool wasEnabled_ = false;
};

TEST_F(GuardedSession, TheGuardWatchesSessionsThatAskAndAllOnceEnabled) {
    ProcessingSession plain, checked;
    ProcessingSession::Options unguarded = guarded();
    unguarded.audioGuard = false;
    ASSERT_TRUE(open(plain, unguarded));
    ASSERT_TRUE(open(checked, guarded()));
    plain.processNothing();
    EXPECT_EQ(AudioThreadGuard::counts().blocks, 0);
    checked.processNothing();
    EXPECT_EQ(AudioThreadGuard::counts().blocks, 1);
    AudioThreadGuard::enable(true);
    plain.processNothing();
    EXPECT_EQ(AudioThreadGuard::counts().blocks, 2);
}

TEST_F(GuardedSession, AProcessCallFromASecondThreadIsAViolation) {
    ProcessingSession session;
    ASSERT_TRUE(open(session, guarded()));
    session.processNothing();
    std::thread([&] { session.processNothing(); }).join();
    EXPECT_EQ(AudioThreadGuard::counts().wrongThreads, 1);
    // Opened again, the session takes whichever thread comes first.
    ASSERT_TRUE(open(session, guarded()));
    std::thread([&] { session.processNothing(); }).join();
    EXPECT_EQ(AudioThreadGuard::counts().wrongThreads, 1);
    session.processNothing();
    EXPECT_EQ(AudioThreadGuard::counts().wrongThreads, 2);
    AudioThreadGuard::reset(); // made on purpose
}

// With the host's stand-in as peer: elapsed time, requests, every parameter
// command, bypass, silence and a restored state, in stereo and 5.1.
TEST_F(GuardedSession, TheMetersAudioPathNeitherAllocatesNorBlocks) {
    for (int32_t channels : {2, 6}) {
        SCOPED_TRACE(channels);
        ProcessingSession session;
        ASSERT_TRUE(open(session, guarded(channels)));
        Signal tone(channels, dbToAmplitude(-20.0)), silence(channels, 0.0);
        feed(session, tone, 4.0); // past the first short-term window and several "time" messages
        session.changeParameter(kUnitSwitch, 1.0);
        session.changeParameter(kResetTruePeak, 1.0);
        settleAndRead(session, tone);
        session.changeParameter(kResetLoudness, 1.0); // sends "time" at once
        feed(session, silence, 1.0);
        session.changeParameter(kBypass, 1.0);
        settleAndRead(session, tone);
        session.changeParameter(kBypass, 0.0);
        session.peer().sendIntMessage("resetMaxLevelIn", 0);
        session.peer().sendIntMessage("resetMaxLevelOut", 0);
        feed(session, tone, 1.0);
        ASSERT_EQ(restoreState(session.component(), saveState(session.component())), kResultOk);
        settleAndRead(session, tone); // the next block applies the restored state
        EXPECT_TRUE(session.readings().received);
        EXPECT_GE(session.peer().timeTexts().size(), 6u);
        // Every block was watched: 6 s in 10 ms blocks, and two blocks per settle.
        EXPECT_EQ(AudioThreadGuard::counts().blocks, (4 + 1 + 1) * 100 + 3 * 2);
        expectClean();
        AudioThreadGuard::reset();
    }
}

// With the module's own controller as peer and its editor open: "time" then
// reaches the controller's text on the audio thread, clicks reach the processor.
TEST_F(GuardedSession, TheMetersAudioPathWithItsControllerNeitherAllocatesNorBlocks) {
    PluginInstance plugin;
    std::string error;
    ASSERT_TRUE(plugin.open(factory(), guarded(), error)) << error;
    ASSERT_NE(plugin.editor(), nullptr);
    Signal tone(2, dbToAmplitude(-18.0));
    auto play = [&](double seconds) {
        for (int b = 0; b < static_cast<int>(seconds * kRate / kTenMs); ++b) {
            float* const* in = tone.next(kTenMs);
            plugin.processBlock(in, in, kTenMs);
        }
    };
    play(3.5);
    for (const char* name : {"scaleModeLoudness", "resetTruePeak", "resetLoudnessMMax", "loudnessMView", "about", "about",
                             "resetLoudness"}) {
        ASSERT_TRUE(plugin.editor()->clickElement(name)) << name;
        play(0.5); // the click reaches the processor, its answer the editor
    }
    play(1.25);
    EXPECT_EQ(plugin.controlText("time"), "00:00:01") << "1.75 s since the reset";
    EXPECT_EQ(AudioThreadGuard::counts().blocks, static_cast<int64_t>(3.5 * 100 + 7 * 50 + 125));
    expectClean();
}

} // namespace
} // namespace ProcessorThroughModule
