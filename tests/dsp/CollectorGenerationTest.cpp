// What a collector's worker does must never cross a reset: a window being
// evaluated when the reset arrives publishes nothing into the new
// measurement, and channel weights never change under a window sum.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "CollectorTestSupport.h"
#include "dsp/CollectorIntegrated.h"
#include "dsp/CollectorLoudnessRange.h"
#include "dsp/VectorOps.h"

namespace DSP {
namespace {

using namespace std::chrono_literals;

// Holds the worker twice inside one evaluation: once with the window taken but
// not evaluated, once with its figures published. The test acts in between.
class EvaluationGate {
public:
    void arm() { armed_ = true; }
    // [worker] Around one evaluation; only the armed one waits.
    template <typename Evaluate>
    void run(Evaluate evaluate) {
        if (!armed_.exchange(false)) {
            evaluate();
            return;
        }
        stage_ = 1;
        waitFor(allowed_, 1);
        evaluate();
        stage_ = 2;
        waitFor(allowed_, 2);
    }
    // [test]
    bool reached(int stage) { return waitFor(stage_, stage); }
    void allow(int stage) { allowed_ = stage; }

private:
    static bool waitFor(const std::atomic<int>& value, int wanted) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (value.load() < wanted) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(100us);
        }
        return true;
    }
    std::atomic<bool> armed_{false};
    std::atomic<int> stage_{0};
    std::atomic<int> allowed_{0};
};

class GatedIntegrated : public CollectorIntegrated {
public:
    using CollectorIntegrated::CollectorIntegrated;
    EvaluationGate gate;

protected:
    void evaluateBlock(float z, int32_t length, uint32_t g) override {
        gate.run([&] { CollectorIntegrated::evaluateBlock(z, length, g); });
    }
};

class GatedRange : public CollectorLoudnessRange {
public:
    using CollectorLoudnessRange::CollectorLoudnessRange;
    EvaluationGate gate;
    bool holdHandOff() { return tryLockHandOff(); }
    void releaseHandOff() { unlockHandOff(); }

protected:
    void evaluateWindow(float** frame, int32_t length, uint32_t g) override {
        gate.run([&] { CollectorLoudnessRange::evaluateWindow(frame, length, g); });
    }
};

class CollectorAcrossReset : public ::testing::Test {
protected:
    void SetUp() override { selectVectorOps(); }
};

// 1 kHz: 400-sample windows every 100 samples.
TEST_F(CollectorAcrossReset, MomentaryWindowEvaluatedDuringTheResetDoesNotShowAfterIt) {
    CollectorRig<GatedIntegrated> rig(true, 1000.0, 100);
    GatedIntegrated& collector = static_cast<GatedIntegrated&>(rig.collector);
    ASSERT_TRUE(collector.hasWorker());
    rig.hops(meanSquareFor(-10.0), 4);
    ASSERT_NEAR(collector.current(), -10.0f, 0.01f);

    collector.gate.arm();
    std::fill(rig.input.begin(), rig.input.end(), meanSquareFor(-10.0));
    float* channels[] = {rig.input.data()};
    collector.processInput(channels, 100); // the worker takes this window and waits
    ASSERT_TRUE(collector.gate.reached(1));
    collector.reset();
    collector.gate.allow(1);
    ASSERT_TRUE(collector.gate.reached(2)); // its -10 LUFS is published now, from before the reset
    EXPECT_EQ(collector.current(), CollectorOverlap::kFloorLoudness);
    EXPECT_EQ(collector.result(), CollectorOverlap::kFloorLoudness);
    collector.gate.allow(2);
    ASSERT_TRUE(collector.waitForWorker(5000));

    // The new measurement holds its own windows only.
    rig.hops(meanSquareFor(-20.0), 6);
    EXPECT_NEAR(collector.current(), -20.0f, 0.01f);
    EXPECT_NEAR(collector.result(), -20.0f, 0.01f);
}

// 100 Hz: 300-sample windows every 100 samples.
TEST_F(CollectorAcrossReset, ShortTermWindowEvaluatedDuringTheResetDoesNotShowAfterIt) {
    CollectorRig<GatedRange> rig(true, 100.0, 100);
    GatedRange& collector = static_cast<GatedRange&>(rig.collector);
    ASSERT_TRUE(collector.hasWorker());
    rig.hops(meanSquareFor(-10.0), 3);
    ASSERT_NEAR(collector.current(), -10.0f, 0.01f);

    collector.gate.arm();
    std::fill(rig.input.begin(), rig.input.end(), meanSquareFor(-10.0));
    float* channels[] = {rig.input.data()};
    collector.processInput(channels, 100);
    ASSERT_TRUE(collector.gate.reached(1));
    collector.reset();
    collector.gate.allow(1);
    ASSERT_TRUE(collector.gate.reached(2));
    EXPECT_EQ(collector.current(), CollectorOverlap::kFloorLoudness);
    EXPECT_EQ(collector.loudnessRange(), 0.0f);
    collector.gate.allow(2);
    ASSERT_TRUE(collector.waitForWorker(5000));

    // Seven full windows after the reset, and none from before it, in the list.
    rig.hops(meanSquareFor(-10.0), 3);
    rig.hops(meanSquareFor(-20.0), 6);
    EXPECT_NEAR(collector.current(), -20.0f, 0.01f);
    EXPECT_EQ(collector.list()->count(), 7);
}

TEST_F(CollectorAcrossReset, NewWeightsWaitForTheWindowTheWorkerIsSumming) {
    GatedRange collector(100.0, 2, 100, true);
    collector.initialize();
    collector.reset();
    ASSERT_TRUE(collector.holdHandOff()); // as the worker holds it while it sums
    const float weights[] = {1.41f, 0.0f};
    auto done = std::async(std::launch::async, [&] { collector.setWeights(weights, 2); });
    EXPECT_EQ(done.wait_for(50ms), std::future_status::timeout) << "the weights changed under a window sum";
    EXPECT_EQ(collector.collector()->weights()[0], 1.0f);
    collector.releaseHandOff();
    ASSERT_EQ(done.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(collector.collector()->weights()[0], 1.41f);
    EXPECT_EQ(collector.collector()->weights()[1], 0.0f);
    collector.terminate();
}

} // namespace
} // namespace DSP
