// A state restored while the processor runs reaches the meter on the audio
// thread, before the next block, and never under a running analysis.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "host/MemoryStream.h"
#include "host/PluginModule.h"
#include "host/ProcessingSession.h"

namespace {

using namespace NivoloHost;

constexpr Zel::TUID kProcessor = Zel::tuidFromRegistry("{42613CDE-3556-4653-B0D4-0AD6BDC2AA79}");
constexpr int32_t kBlock = 480;

using IPtr_t = Zel::IPtr<MemoryStream>;

class StateWhileProcessing : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(module.load(NIVOLO_MODULE_PATH, error)) << error;
        ASSERT_TRUE(session.open(module.factory(), kProcessor, {}, error)) << error;
        for (int32_t c = 0; c < 2; ++c) {
            buffers[c].resize(kBlock);
            pointers[c] = buffers[c].data();
        }
    }
    // A -23 dBFS tone at 997 Hz, phase-continuous across blocks.
    void play(int blocks) {
        for (int b = 0; b < blocks; ++b) {
            for (int32_t i = 0; i < kBlock; ++i, ++sample)
                buffers[0][i] = buffers[1][i] =
                    static_cast<float>(std::pow(10.0, -23.0 / 20.0) * std::sin(2 * M_PI * 997.0 * sample / 48000.0));
            session.processBlock(pointers, pointers, kBlock);
        }
    }
    // The processor's saved state with the unit switch on.
    IPtr_t luState() {
        session.changeParameter(MeterReadings::kUnitSwitch, 1.0);
        session.processNothing();
        auto stream = Zel::IPtr<MemoryStream>::adopt(new MemoryStream);
        EXPECT_EQ(session.component()->getState(stream.get()), Zel::kResultOk);
        session.changeParameter(MeterReadings::kUnitSwitch, 0.0);
        session.processNothing();
        return stream;
    }
    PluginModule module;
    ProcessingSession session;
    std::vector<float> buffers[2];
    float* pointers[2] = {};
    int64_t sample = 0;
};

TEST_F(StateWhileProcessing, RestoredUnitSwitchTakesEffectWithTheNextBlock) {
    play(50);
    IPtr_t saved = luState();
    saved->rewind();
    ASSERT_EQ(session.component()->setState(saved.get()), Zel::kResultOk);
    // The next block applies the state: the restored values restart the measurement
    // (the reset parameter is among them) and the readings come in LU.
    session.requestData();
    play(1);
    EXPECT_NEAR(session.readings().momentary, -80.0 + 23.0, 0.01);
    play(50); // half a second: a full momentary window again
    // The windows are evaluated on a worker thread: give it time (bounded).
    for (int tries = 0; tries < 200 && std::fabs(session.readings().momentary) > 0.2; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        session.requestData();
        play(1);
    }
    EXPECT_NEAR(session.readings().momentary, 0.0, 0.2) << "a -23 LUFS tone reads 0 LU";
}

TEST_F(StateWhileProcessing, StatesRestoredFromAnotherThreadDuringProcessingLeaveTheMeterSound) {
    IPtr_t saved = luState();
    std::atomic<bool> stop{false};
    std::thread restorer([&] {
        while (!stop.load()) {
            auto copy = Zel::IPtr<MemoryStream>::adopt(new MemoryStream(saved->bytes()));
            session.component()->setState(copy.get());
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

} // namespace
