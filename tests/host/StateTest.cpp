// The processor's state as the host saves and restores it through the built
// module: a round trip into a fresh instance is the identity and in effect at
// once, a state cut after any byte changes nothing, and a state restored while
// the audio thread runs reaches the meter with its next block.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "tests/support/SessionKit.h"

namespace SessionKit {
namespace {

class State : public ModuleSuite {
protected:
    // A processor whose host switched it to LU, reset its true peak and bypassed it.
    static Bytes editedState() {
        ProcessingSession session;
        if (!open(session, factory())) return {};
        for (ParamID id : {Param::kScaleModeLoudness, Param::kResetTruePeak, Param::kBypass})
            session.changeParameter(id, 1.0);
        session.processNothing();
        return saveState(session.component());
    }
};

TEST_F(State, ARoundTripIsTheIdentityInEffectAtOnceAndACutStateChangesNothing) {
    const Bytes saved = editedState();
    ProcessingSession fresh;
    ASSERT_TRUE(open(fresh, factory()));
    const Bytes defaults = saveState(fresh.component());
    ASSERT_NE(defaults, saved);
    for (size_t length = 0; length < saved.size(); ++length) {
        auto stream = IPtr<MemoryStream>::adopt(new MemoryStream(saved));
        stream->truncate(length);
        fresh.component()->setState(stream.get());
        ASSERT_EQ(saveState(fresh.component()), defaults) << "cut after " << length << " bytes";
    }
    ASSERT_EQ(restoreState(fresh.component(), saved), kResultOk);
    EXPECT_EQ(saveState(fresh.component()), saved);

    // Bypassed: no answer and the input passes, while the meter goes on
    // measuring; the readings come in LU.
    Signal sine = Signal::sine(2, -23.0);
    std::vector<float> left(480), right(480);
    float* out[2] = {left.data(), right.data()};
    fresh.requestData();
    for (int b = 0; b < 100; ++b) {
        float* const* in = sine.next(480);
        fresh.processBlock(in, out, 480);
        ASSERT_EQ(fresh.lastOutputChanges().getParameterCount(), 0) << "block " << b;
        ASSERT_EQ(std::memcmp(in[0], out[0], sizeof left[0] * 480), 0) << "block " << b;
    }
    fresh.changeParameter(Param::kBypass, 0.0);
    EXPECT_NEAR(read(fresh).momentary, 0.0, 0.2) << "a -23 LUFS tone in LU";
}

// The restored values start the measurement over (the reset is among them)
// and switch the unit; states restored again and again from another thread
// leave the meter sound.
TEST_F(State, StatesRestoredWhileProcessingTakeEffectWithTheNextBlock) {
    ProcessingSession session;
    ASSERT_TRUE(open(session, factory()));
    session.changeParameter(Param::kScaleModeLoudness, 1.0);
    session.processNothing();
    const Bytes lu = saveState(session.component());
    session.changeParameter(Param::kScaleModeLoudness, 0.0);
    session.processNothing();
    Signal tone = Signal::sine(2, -23.0);
    play(session, tone, 0.5);
    ASSERT_EQ(restoreState(session.component(), lu), kResultOk);
    EXPECT_NEAR(read(session).momentary, -57.0, 0.01) << "the floor in LU";
    play(session, tone, 0.5);
    EXPECT_NEAR(read(session).momentary, 0.0, 0.2);

    std::atomic<bool> stop{false};
    std::thread restorer([&] {
        while (!stop.load()) {
            restoreState(session.component(), lu);
            std::this_thread::yield();
        }
    });
    play(session, tone, 4.0);
    stop = true;
    restorer.join();
    const MeterReadings& r = read(session);
    EXPECT_TRUE(std::isfinite(r.momentary));
    EXPECT_LE(r.truePeak, -22.8) << "what was measured since the last restore reads true";
}

} // namespace
} // namespace SessionKit
