// The 400 ms window collector: the window sum it rests on, the momentary
// loudness, the gated integrated loudness and its block store, with and
// without the worker thread. The collectors receive squared, weighted
// samples, so the tests feed squared values directly: a constant value z
// per channel is a window of mean square z.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "dsp/Collector.h"
#include "dsp/CollectorIntegrated.h"
#include "dsp/VectorOps.h"
#include "CollectorTestSupport.h"

namespace DSP {
namespace {

constexpr float kFloor = -80.0f;

// A mean square whose block loudness is exactly lufs in single precision.
float meanSquareReadingExactly(float lufs) {
    const float start = meanSquareFor(lufs);
    float up = start, down = start;
    for (int i = 0; i < 4096; ++i) {
        if (blockLoudness(up) == lufs) return up;
        if (blockLoudness(down) == lufs) return down;
        up = std::nextafter(up, 1.0f);
        down = std::nextafter(down, 0.0f);
    }
    return -1.0f;
}

// ---- Collector: the window sum --------------------------------------------------

class CollectorWindowSum : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(collector.initialize(), 0);
        collector.reset();
        for (int32_t c = 0; c < 3; ++c) frame[c] = data[c].data();
        for (int32_t i = 0; i < 8; ++i) {
            data[0][i] = static_cast<float>(i + 1); // sums to 36
            data[1][i] = 0.5f;                      // 4
            data[2][i] = 2.0f;                      // 16
        }
    }
    void TearDown() override { collector.terminate(); }

    Collector collector{8, 3};
    std::vector<float> data[3] = {std::vector<float>(8), std::vector<float>(8), std::vector<float>(8)};
    float* frame[3];
};

TEST_F(CollectorWindowSum, WeightsEachChannelAndDividesByWindowLength) {
    for (int32_t c = 0; c < 3; ++c) EXPECT_EQ(collector.weights()[c], 1.0f);
    collector.sumWindow(frame, 8);
    EXPECT_EQ(collector.channelSum(0), 36.0f);
    EXPECT_EQ(collector.channelSum(1), 4.0f);
    EXPECT_EQ(collector.channelSum(2), 16.0f);
    EXPECT_EQ(collector.meanSquare(), 56.0f / 8.0f);

    const float weights[] = {1.0f, 2.0f, 0.25f};
    ASSERT_TRUE(collector.setWeights(weights, 3));
    collector.sumWindow(frame, 8);
    EXPECT_EQ(collector.meanSquare(), (36.0f + 8.0f + 4.0f) / 8.0f);

    collector.reset();
    EXPECT_EQ(collector.meanSquare(), 0.0f);
    EXPECT_EQ(collector.channelSum(0), 0.0f);
}

TEST_F(CollectorWindowSum, ShortFramesAreNotSummed) {
    collector.sumWindow(frame, 7);
    EXPECT_EQ(collector.meanSquare(), 0.0f); // warm-up frames after reset are never evaluated
    EXPECT_EQ(collector.channelSum(0), 0.0f);

    collector.sumWindow(frame, 8);
    const float z = collector.meanSquare();
    for (auto& d : data) d.assign(8, 100.0f);
    collector.sumWindow(frame, 4);
    EXPECT_EQ(collector.meanSquare(), z);
    EXPECT_EQ(collector.channelSum(0), 36.0f);
}

TEST_F(CollectorWindowSum, SetWeightsCopiesAndRejectsTooMany) {
    float weights[] = {1.5f, 0.5f, 3.0f, 7.0f};
    ASSERT_TRUE(collector.setWeights(weights, 3));
    weights[0] = 99.0f; // the collector keeps its own copy
    EXPECT_EQ(collector.weights()[0], 1.5f);
    EXPECT_EQ(collector.weights()[2], 3.0f);

    EXPECT_FALSE(collector.setWeights(weights, 4));
    EXPECT_EQ(collector.weights()[0], 1.5f);

    const float one[] = {4.0f};
    ASSERT_TRUE(collector.setWeights(one, 1));
    EXPECT_EQ(collector.weights()[0], 4.0f);
    EXPECT_EQ(collector.weights()[1], 0.5f);
}

TEST(CollectorWindowSumPrecision, ChannelSumKeepsSmallSamplesAfterALargeOne) {
    // In single precision every 1 added to 2^24 is lost.
    Collector collector(1025, 1);
    ASSERT_EQ(collector.initialize(), 0);
    collector.reset();
    std::vector<float> x(1025, 1.0f);
    x[0] = 16777216.0f;
    float* frame[] = {x.data()};
    collector.sumWindow(frame, 1025);
    EXPECT_EQ(collector.channelSum(0), 16777216.0f + 1024.0f);
    EXPECT_EQ(collector.meanSquare(), (16777216.0f + 1024.0f) / 1025.0f);
    collector.terminate();
}

TEST(CollectorWindowSumPrecision, BlockLoudnessOfAMeanSquare) {
    EXPECT_FLOAT_EQ(blockLoudness(1.0f), -0.691f);
    EXPECT_FLOAT_EQ(blockLoudness(10.0f), 9.309f);
    EXPECT_NEAR(blockLoudness(meanSquareFor(-23.0)), -23.0f, 1e-4f);
}

// ---- CollectorIntegrated -----------------------------------------------------------

constexpr double kRate = 48000.0;
constexpr int32_t kHop = 4800; // 100 ms

struct IntegratedRig : CollectorRig<CollectorIntegrated> {
    explicit IntegratedRig(bool useWorker) : CollectorRig(useWorker, kRate, kHop) {}
};

// Reaches the block evaluation directly, to build store contents exactly.
class IntegratedProbe : public CollectorIntegrated {
public:
    IntegratedProbe() : CollectorIntegrated(kRate, 1, kHop, false) {
        initialize();
        reset();
    }
    ~IntegratedProbe() override { terminate(); }
    using CollectorIntegrated::evaluateBlock;
};

TEST(CollectorIntegratedGeometry, WindowAndHistoryFromSampleRate) {
    EXPECT_EQ(CollectorIntegrated::windowLengthFor(48000.0), 19200);
    EXPECT_EQ(CollectorIntegrated::historyLengthFor(48000.0), 14400);
    EXPECT_EQ(CollectorIntegrated::windowLengthFor(44100.0), 17640);
    EXPECT_EQ(CollectorIntegrated::historyLengthFor(44100.0), 13230);
    IntegratedRig rig(false);
    EXPECT_EQ(rig.collector.windowLength(), 19200);
    EXPECT_EQ(rig.collector.hopLength(), kHop);
}

TEST(CollectorIntegrated, WarmUpFramesGiveNothingAndTheFirstFullWindowGivesMomentary) {
    IntegratedRig rig(false);
    const float z = meanSquareFor(-23.0);
    for (int h = 1; h <= 3; ++h) {
        rig.hop(z); // 100, 200, 300 ms frames
        EXPECT_EQ(rig.collector.current(), kFloor) << "hop " << h;
        EXPECT_EQ(rig.collector.result(), kFloor) << "hop " << h;
        EXPECT_EQ(rig.collector.storedCount(), 0) << "hop " << h;
    }
    rig.hop(z);
    EXPECT_NEAR(rig.collector.current(), -23.0f, 1e-3f);
    EXPECT_EQ(rig.collector.storedCount(), 1);
    // The integrated value needs a second's worth of windows: the third one.
    EXPECT_EQ(rig.collector.result(), kFloor);
    rig.hop(z);
    EXPECT_EQ(rig.collector.result(), kFloor);
    rig.hop(z);
    EXPECT_NEAR(rig.collector.result(), -23.0f, 1e-3f);
    EXPECT_EQ(rig.collector.storedCount(), 3);
}

TEST(CollectorIntegrated, IntegratedIsRecomputedOnEveryThirdWindow) {
    IntegratedRig rig(false);
    rig.hops(meanSquareFor(-23.0), 6);
    const float first = rig.collector.result();
    ASSERT_NEAR(first, -23.0f, 1e-3f);
    const float louder = meanSquareFor(-13.0);
    rig.hops(louder, 2);
    EXPECT_GT(rig.collector.current(), -20.0f);
    EXPECT_EQ(rig.collector.result(), first);
    rig.hop(louder);
    EXPECT_GT(rig.collector.result(), first + 1.0f);
}

TEST(CollectorIntegrated, ConstantSignalIntegratesToItsMomentaryLoudness) {
    for (double lufs : {-5.0, -23.0, -50.0, -69.0}) {
        IntegratedRig rig(false);
        rig.hops(meanSquareFor(lufs), 40);
        EXPECT_NEAR(rig.collector.current(), lufs, 1e-3) << lufs;
        EXPECT_NEAR(rig.collector.result(), rig.collector.current(), 1e-3f) << lufs;
        EXPECT_FALSE(rig.collector.isBelowRelativeGate()) << lufs;
        EXPECT_EQ(rig.collector.storedCount(), 37) << lufs;
    }
}

TEST(CollectorIntegrated, BlocksAtOrBelowTheAbsoluteGateNeverEnterTheStore) {
    {
        IntegratedRig rig(false);
        rig.hops(meanSquareFor(-75.0), 40);
        EXPECT_NEAR(rig.collector.current(), -75.0f, 1e-3f);
        EXPECT_EQ(rig.collector.storedCount(), 0);
        EXPECT_EQ(rig.collector.result(), kFloor);
    }
    IntegratedProbe probe;
    const float atGate = meanSquareReadingExactly(-70.0f);
    ASSERT_GT(atGate, 0.0f) << "no mean square reads exactly -70 LUFS";
    probe.evaluateBlock(atGate, 48000);
    EXPECT_EQ(probe.current(), -70.0f);
    EXPECT_EQ(probe.storedCount(), 0);
    EXPECT_EQ(probe.result(), kFloor);

    float justAbove = atGate;
    while (!(blockLoudness(justAbove) > -70.0f)) justAbove = std::nextafter(justAbove, 1.0f);
    probe.evaluateBlock(justAbove, 48000);
    EXPECT_EQ(probe.storedCount(), 1);
    EXPECT_EQ(probe.result(), blockLoudness(justAbove));
}

TEST(CollectorIntegrated, LongQuietStretchesFallBelowTheRelativeGate) {
    IntegratedRig rig(false);
    const float loud = meanSquareFor(-20.0), quiet = meanSquareFor(-40.0);
    const int kStretch = 200; // 20 s
    for (int stretch = 0; stretch < 4; ++stretch) {
        const bool isQuiet = stretch % 2 == 1;
        for (int h = 0; h < kStretch; ++h) {
            rig.hop(isQuiet ? quiet : loud);
            if (h == 9 || h == kStretch - 1) {
                EXPECT_EQ(rig.collector.isBelowRelativeGate(), isQuiet) << "stretch " << stretch << ", hop " << h;
                if (stretch > 0) {
                    EXPECT_NEAR(rig.collector.result(), -20.0f, 0.2f) << "stretch " << stretch;
                }
            }
        }
    }
    EXPECT_NEAR(rig.collector.result(), -20.0f, 0.2f);
    // The quiet blocks are stored (they pass the absolute gate), only not counted.
    EXPECT_EQ(rig.collector.storedCount(), 4 * kStretch - 3);
}

TEST(CollectorIntegrated, BlockExactlyAtTheRelativeThresholdIsExcluded) {
    // Mean 10 gives a threshold of exactly 1 (10 * 0.1 in double rounds to 1.0f),
    // so a stored 1 sits on it. Including it would give 10 instead of 11.
    for (VectorOpsKind kind : {VectorOpsKind::kScalar, VectorOpsKind::kSse2, VectorOpsKind::kAvx2, VectorOpsKind::kAvx512}) {
        if (!selectVectorOps(kind)) continue;
        for (int position : {0, 5, 9}) {
            SCOPED_TRACE(::testing::Message() << vectorOps().name << ", threshold block at " << position);
            IntegratedProbe probe;
            for (int i = 0; i < 10; ++i) probe.evaluateBlock(i == position ? 1.0f : 11.0f, i == 9 ? 48000 : 0);
            EXPECT_EQ(probe.storedCount(), 10);
            EXPECT_EQ(probe.result(), blockLoudness(11.0f));
            // A block at the threshold is not below it either.
            EXPECT_FALSE(probe.isBelowRelativeGate());
        }
        IntegratedProbe pair;
        pair.evaluateBlock(19.0f, 0);
        pair.evaluateBlock(1.0f, 48000);
        EXPECT_EQ(pair.result(), blockLoudness(19.0f)) << vectorOps().name;
        EXPECT_FALSE(pair.isBelowRelativeGate()) << vectorOps().name;
        pair.evaluateBlock(0.5f, 48000);
        EXPECT_TRUE(pair.isBelowRelativeGate()) << vectorOps().name;
    }
    selectVectorOps();
}

TEST(CollectorIntegrated, FullStoreStartsOverAndLaterEvaluationsUseOnlyNewBlocks) {
    IntegratedProbe probe;
    const int32_t capacity = CollectorOverlap::kStoreCapacity;
    const float a = meanSquareFor(-30.0), b = meanSquareFor(-20.0), c = meanSquareFor(-26.0);
    probe.evaluateBlock(a, 48000);
    ASSERT_EQ(probe.result(), blockLoudness(a));
    // Length 0: stored without reaching the once-a-second evaluation.
    for (int32_t i = 1; i < capacity - 1; ++i) probe.evaluateBlock(a, 0);
    ASSERT_EQ(probe.storedCount(), capacity - 1);

    probe.evaluateBlock(a, 48000); // fills the store: it starts over, the last result stands
    EXPECT_EQ(probe.storedCount(), 0);
    EXPECT_EQ(probe.result(), blockLoudness(a));

    // The filling block's samples still count toward the next evaluation.
    probe.evaluateBlock(b, 0);
    EXPECT_EQ(probe.storedCount(), 1);
    EXPECT_EQ(probe.result(), blockLoudness(b));
    probe.evaluateBlock(c, 48000);
    EXPECT_EQ(probe.storedCount(), 2);
    EXPECT_FLOAT_EQ(probe.result(), blockLoudness((b + c) / 2.0f));
}

TEST(CollectorIntegrated, SilentWindowsChangeNothing) {
    IntegratedRig rig(false);
    rig.hops(0.0f, 10);
    EXPECT_EQ(rig.collector.current(), kFloor);
    EXPECT_EQ(rig.collector.result(), kFloor);
    EXPECT_EQ(rig.collector.storedCount(), 0);

    rig.hops(meanSquareFor(-40.0), 20);
    rig.hops(meanSquareFor(-20.0), 20);
    rig.hops(meanSquareFor(-40.0), 4);
    rig.hops(0.0f, 3); // windows still partly filled
    const float current = rig.collector.current(), result = rig.collector.result();
    const bool below = rig.collector.isBelowRelativeGate();
    const int32_t stored = rig.collector.storedCount();
    ASSERT_TRUE(below);
    rig.hops(0.0f, 30);
    EXPECT_EQ(rig.collector.current(), current);
    EXPECT_EQ(rig.collector.result(), result);
    EXPECT_EQ(rig.collector.isBelowRelativeGate(), below);
    EXPECT_EQ(rig.collector.storedCount(), stored);
}

TEST(CollectorIntegrated, ResetClearsStoreAndFiguresAndRestartsWarmUp) {
    IntegratedRig rig(false);
    rig.hops(meanSquareFor(-20.0), 30);
    rig.hops(meanSquareFor(-40.0), 10);
    ASSERT_TRUE(rig.collector.isBelowRelativeGate());
    rig.collector.reset();
    EXPECT_EQ(rig.collector.current(), kFloor);
    EXPECT_EQ(rig.collector.result(), kFloor);
    EXPECT_EQ(rig.collector.storedCount(), 0);
    EXPECT_FALSE(rig.collector.isBelowRelativeGate());

    IntegratedRig fresh(false);
    const float z = meanSquareFor(-30.0);
    for (int h = 1; h <= 9; ++h) {
        rig.hop(z);
        fresh.hop(z);
        if (h <= 3) {
            EXPECT_EQ(rig.collector.current(), kFloor) << "hop " << h;
        }
        EXPECT_EQ(rig.collector.current(), fresh.collector.current()) << "hop " << h;
        EXPECT_EQ(rig.collector.result(), fresh.collector.result()) << "hop " << h;
        EXPECT_EQ(rig.collector.storedCount(), fresh.collector.storedCount()) << "hop " << h;
    }
    EXPECT_NEAR(rig.collector.result(), -30.0f, 1e-3f);
}

// ---- With the worker thread ---------------------------------------------------------

void expectSameFigures(const IntegratedRig& a, const IntegratedRig& b, int hop) {
    EXPECT_EQ(a.collector.current(), b.collector.current()) << "hop " << hop;
    EXPECT_EQ(a.collector.result(), b.collector.result()) << "hop " << hop;
    EXPECT_EQ(a.collector.isBelowRelativeGate(), b.collector.isBelowRelativeGate()) << "hop " << hop;
    EXPECT_EQ(a.collector.storedCount(), b.collector.storedCount()) << "hop " << hop;
}

TEST(CollectorIntegratedWorker, GivesTheSameFiguresAsSynchronousEvaluation) {
    IntegratedRig threaded(true), direct(false);
    ASSERT_TRUE(threaded.collector.hasWorker());
    ASSERT_FALSE(direct.collector.hasWorker());
    struct Stretch {
        float z;
        int hops;
    };
    const Stretch program[] = {{meanSquareFor(-20.0), 40}, {meanSquareFor(-40.0), 40}, {meanSquareFor(-20.0), 30},
                               {meanSquareFor(-75.0), 10}, {0.0f, 10},                 {meanSquareFor(-23.0), 20}};
    int hop = 0;
    for (const Stretch& s : program) {
        for (int i = 0; i < s.hops; ++i, ++hop) {
            threaded.hop(s.z);
            direct.hop(s.z);
            expectSameFigures(threaded, direct, hop);
            if (::testing::Test::HasFailure()) return;
        }
    }
    EXPECT_NEAR(threaded.collector.result(), -20.6f, 0.5f);
}

TEST(CollectorIntegratedWorker, FramesAfterResetAreEvaluatedAgainstAnEmptyStore) {
    IntegratedRig threaded(true);
    threaded.hops(meanSquareFor(-20.0), 30);
    ASSERT_GT(threaded.collector.storedCount(), 0);
    threaded.collector.reset();
    // The audio side clears its own figures at once, before the worker runs.
    EXPECT_EQ(threaded.collector.current(), kFloor);
    EXPECT_EQ(threaded.collector.result(), kFloor);

    IntegratedRig direct(false);
    const float z = meanSquareFor(-35.0);
    for (int h = 0; h < 12; ++h) {
        threaded.hop(z);
        direct.hop(z);
        expectSameFigures(threaded, direct, h);
    }
    EXPECT_NEAR(threaded.collector.result(), -35.0f, 1e-3f);
}

// Holds the worker's clearing at a gate, so windows can be handed over between
// the reset and the clearing every time.
class GatedClearing : public CollectorIntegrated {
public:
    GatedClearing() : CollectorIntegrated(kRate, 1, kHop, true) {}
    void clearEvaluation() override {
        std::unique_lock<std::mutex> lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(5), [&] { return open; });
        lock.unlock();
        CollectorIntegrated::clearEvaluation();
    }
    void waitUntilEntered() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(5), [&] { return entered; });
    }
    void openGate() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        changed.notify_all();
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, open = false;
};

// Regression: windows handed over after a reset but before the worker cleared
// were cleared with the old measurement.
TEST(CollectorIntegratedWorker, WindowsHandedOverBeforeTheWorkerClearsBelongToTheNewMeasurement) {
    GatedClearing collector;
    collector.initialize();
    std::vector<float> input(kHop, meanSquareFor(-20.0));
    float* channels[] = {input.data()};
    for (int h = 0; h < 10; ++h) collector.processInput(channels, kHop);
    ASSERT_TRUE(collector.waitForWorker(5000));

    collector.reset();
    collector.waitUntilEntered(); // the worker now sits in its clearing
    std::fill(input.begin(), input.end(), meanSquareFor(-35.0));
    for (int h = 0; h < 8; ++h) collector.processInput(channels, kHop);
    collector.openGate();
    ASSERT_TRUE(collector.waitForWorker(5000));
    EXPECT_EQ(collector.storedCount(), 5); // 8 hops after the reset, the first 3 warming up
    EXPECT_NEAR(collector.current(), -35.0f, 1e-3f);
    EXPECT_NEAR(collector.result(), -35.0f, 1e-3f);
    collector.terminate();
}

TEST(CollectorIntegratedWorker, TerminateReturnsPromptlyWhileTheWorkerWaits) {
    const std::chrono::milliseconds kBound(2000);
    {
        IntegratedRig rig(true);
        rig.hops(meanSquareFor(-23.0), 8);
        EXPECT_TRUE(terminatesWithin(std::move(rig.owned), kBound)) << "idle worker";
    }
    {
        IntegratedRig rig(true);
        rig.hops(meanSquareFor(-23.0), 8);
        rig.collector.reset();
        EXPECT_TRUE(terminatesWithin(std::move(rig.owned), kBound)) << "reset request pending";
    }
    {
        auto collector = std::make_unique<CollectorIntegrated>(kRate, 2, kHop, true);
        collector->initialize();
        ASSERT_TRUE(collector->hasWorker());
        EXPECT_TRUE(terminatesWithin(std::move(collector), kBound)) << "never signalled";
    }
}

} // namespace
} // namespace DSP
