// The window collectors. The 400 ms one: the window sum it rests on, the
// momentary loudness, the gated integrated loudness and its block store. The
// 3 s one: short-term loudness and the loudness range (absolute gate,
// relative gate 20 LU below the power mean, 10th to 95th percentile) over an
// ordered block list. And what a worker does must never cross a reset. The
// collectors receive squared, weighted samples, so the tests feed squared
// values directly: a constant value z per channel is a window of mean square z.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <mutex>
#include <random>
#include <thread>
#include <type_traits>
#include <vector>

#include "CollectorTestSupport.h"
#include "dsp/Collector.h"
#include "dsp/CollectorIntegrated.h"
#include "dsp/CollectorLoudnessRange.h"
#include "dsp/SortedSumsList.h"
#include "dsp/VectorOps.h"
#include "tests/dsp/LoudnessTestSupport.h"

namespace DSP {
namespace {

using namespace std::chrono_literals;

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

// Frames shorter than the window (warm-up frames after a reset) are never summed.
TEST(CollectorWindowSum, WeightsEachChannelDividesByTheWindowAndSkipsShortFrames) {
    Collector collector(8, 3);
    ASSERT_EQ(collector.initialize(), 0);
    collector.reset();
    std::vector<float> data[3] = {{1, 2, 3, 4, 5, 6, 7, 8}, std::vector<float>(8, 0.5f), std::vector<float>(8, 2.0f)};
    float* frame[3] = {data[0].data(), data[1].data(), data[2].data()};
    collector.sumWindow(frame, 7);
    EXPECT_EQ(collector.meanSquare(), 0.0f);
    collector.sumWindow(frame, 8);
    EXPECT_EQ(collector.channelSum(0), 36.0f);
    EXPECT_EQ(collector.channelSum(1), 4.0f);
    EXPECT_EQ(collector.channelSum(2), 16.0f);
    EXPECT_EQ(collector.meanSquare(), 56.0f / 8.0f);

    float weights[] = {1.0f, 2.0f, 0.25f, 7.0f};
    ASSERT_TRUE(collector.setWeights(weights, 3));
    weights[1] = 99.0f; // the collector keeps its own copy
    collector.sumWindow(frame, 8);
    EXPECT_EQ(collector.meanSquare(), (36.0f + 8.0f + 4.0f) / 8.0f);
    EXPECT_FALSE(collector.setWeights(weights, 4)); // more than its channels: refused
    const float one[] = {4.0f};
    ASSERT_TRUE(collector.setWeights(one, 1)); // the first only; the others keep theirs
    collector.sumWindow(frame, 8);
    EXPECT_EQ(collector.meanSquare(), (4.0f * 36.0f + 8.0f + 4.0f) / 8.0f);
    for (auto& d : data) d.assign(8, 100.0f);
    collector.sumWindow(frame, 4);
    EXPECT_EQ(collector.meanSquare(), (4.0f * 36.0f + 8.0f + 4.0f) / 8.0f);

    collector.reset();
    EXPECT_EQ(collector.meanSquare(), 0.0f);
    EXPECT_EQ(collector.channelSum(0), 0.0f);
    collector.terminate();
}

// ---- CollectorIntegrated -----------------------------------------------------------

constexpr int32_t kIntegratedHop = 4800; // 100 ms at 48 kHz

struct IntegratedRig : CollectorRig<CollectorIntegrated> {
    explicit IntegratedRig(bool useWorker) : CollectorRig(useWorker, 48000.0, kIntegratedHop) {}
};

// Reaches the block evaluation directly, to build store contents exactly.
class IntegratedProbe : public CollectorIntegrated {
public:
    IntegratedProbe() : CollectorIntegrated(48000.0, 1, kIntegratedHop, false) {
        initialize();
        reset();
    }
    ~IntegratedProbe() override { terminate(); }
    using CollectorIntegrated::evaluateBlock;
};

// The momentary value follows every window; the integrated value is
// recomputed on every third one only.
TEST(CollectorIntegrated, IntegratedIsRecomputedOnEveryThirdWindow) {
    IntegratedRig rig(false);
    rig.hops(meanSquareFor(-23.0), 6); // three warm-up frames, then three windows
    const float first = rig.collector.result();
    ASSERT_NEAR(first, -23.0f, 1e-3f);
    const float louder = meanSquareFor(-13.0);
    rig.hops(louder, 2);
    EXPECT_GT(rig.collector.current(), -20.0f);
    EXPECT_EQ(rig.collector.result(), first);
    rig.hop(louder);
    EXPECT_GT(rig.collector.result(), first + 1.0f);
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

// 20 s stretches 20 LU apart: the quiet blocks are stored (they pass the
// absolute gate) but not counted, and the momentary flag follows the level.
TEST(CollectorIntegrated, LongQuietStretchesFallBelowTheRelativeGate) {
    IntegratedRig rig(false);
    for (int stretch = 0; stretch < 4; ++stretch) {
        const bool quiet = stretch % 2 == 1;
        rig.hops(meanSquareFor(quiet ? -40.0 : -20.0), 10);
        EXPECT_EQ(rig.collector.isBelowRelativeGate(), quiet) << "stretch " << stretch;
        rig.hops(meanSquareFor(quiet ? -40.0 : -20.0), 190);
        EXPECT_EQ(rig.collector.isBelowRelativeGate(), quiet) << "stretch " << stretch;
        EXPECT_NEAR(rig.collector.result(), -20.0f, 0.2f) << "stretch " << stretch;
    }
    EXPECT_EQ(rig.collector.storedCount(), 4 * 200 - 3);
}

TEST(CollectorIntegrated, BlockExactlyAtTheRelativeThresholdIsExcluded) {
    // Mean 10 gives a threshold of exactly 1 (10 * 0.1 in double rounds to 1.0f),
    // so a stored 1 sits on it. Including it would give 10 instead of 11.
    testing::DefaultTableOnExit restore;
    for (VectorOpsKind kind : testing::kAllTables) {
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

// ---- CollectorLoudnessRange -------------------------------------------------------

constexpr int32_t kRangeHop = 48000; // 1 s at 48 kHz

int32_t listCount(const CollectorLoudnessRange& c) { return c.list() ? c.list()->count() : -1; }

struct RangeRig : CollectorRig<CollectorLoudnessRange> {
    explicit RangeRig(bool useWorker) : CollectorRig(useWorker, 48000.0, kRangeHop) {}
};

// Evaluates whole windows directly, each of one constant value: no overlap
// mixes neighbouring levels, so every block's mean square is known.
class RangeProbe : public CollectorLoudnessRange {
public:
    static constexpr double kProbeRate = 1000.0;
    RangeProbe() : CollectorLoudnessRange(kProbeRate, 1, 1000, false), window(3000) {
        initialize();
        reset();
    }
    ~RangeProbe() override { terminate(); }

    // Returns the window's mean square as the collector computed it.
    float window3s(float value) {
        std::fill(window.begin(), window.end(), value);
        float* frame[] = {window.data()};
        evaluateWindow(frame, windowLength());
        return collector()->meanSquare();
    }

    std::vector<float> window;
};

TEST(CollectorLoudnessRange, StretchesTenLuApartGiveTenLuAndQuietStretchesAreGatedOut) {
    RangeRig rig(false);
    const float loud = meanSquareFor(-20.0), soft = meanSquareFor(-30.0), quiet = meanSquareFor(-45.0);
    const int kStretch = 20; // seconds
    for (int i = 0; i < 2; ++i) {
        rig.hops(loud, kStretch);
        rig.hops(soft, kStretch);
    }
    const float twoLevels = rig.collector.loudnessRange();
    EXPECT_NEAR(twoLevels, 10.0f, 0.1f);
    // The percentiles sit on the plateaus, not on the mixed transition windows.
    EXPECT_NEAR(rig.collector.rangeLow(), soft, soft * 1e-4f);
    EXPECT_NEAR(rig.collector.rangeHigh(), loud, loud * 1e-4f);
    const int32_t before = listCount(rig.collector);
    EXPECT_EQ(before, 4 * kStretch - 2);

    // -45 LUFS lies more than 20 LU below the power mean: kept, but not ranged.
    rig.hops(quiet, kStretch);
    rig.hops(loud, kStretch);
    rig.hops(soft, kStretch);
    rig.hops(quiet, kStretch);
    EXPECT_EQ(listCount(rig.collector), before + 4 * kStretch);
    EXPECT_NEAR(rig.collector.current(), -45.0f, 1e-3f);
    EXPECT_NEAR(rig.collector.loudnessRange(), twoLevels, 0.05f);
    EXPECT_NEAR(rig.collector.rangeLow(), soft, soft * 1e-4f);
    EXPECT_NEAR(rig.collector.rangeHigh(), loud, loud * 1e-4f);
}

TEST(CollectorLoudnessRange, BlocksAtOrBelowTheAbsoluteGateAreNeverInserted) {
    {
        RangeRig rig(false);
        rig.hops(meanSquareFor(-72.0), 8);
        EXPECT_NEAR(rig.collector.current(), -72.0f, 1e-3f);
        EXPECT_EQ(listCount(rig.collector), 0);
        EXPECT_EQ(rig.collector.loudnessRange(), 0.0f);
        EXPECT_EQ(rig.collector.rangeLow(), 0.0f);
        EXPECT_EQ(rig.collector.rangeHigh(), 0.0f);
    }
    // A window whose short-term loudness is exactly -70 LUFS, found by stepping
    // the sample value until the collector's own sum reads that.
    RangeProbe probe;
    const float start = meanSquareFor(-70.0);
    float up = start, down = start, value = -1.0f;
    for (int i = 0; i < 4096 && value < 0.0f; ++i) {
        for (float candidate : {up, down}) {
            probe.reset();
            probe.window3s(candidate);
            if (probe.current() == -70.0f) {
                value = candidate;
                break;
            }
        }
        up = std::nextafter(up, 1.0f);
        down = std::nextafter(down, 0.0f);
    }
    ASSERT_GT(value, 0.0f) << "no window reads exactly -70 LUFS";
    EXPECT_EQ(listCount(probe), 0);
    EXPECT_EQ(probe.loudnessRange(), 0.0f);

    while (!(probe.current() > -70.0f)) probe.window3s(value = std::nextafter(value, 1.0f));
    EXPECT_EQ(listCount(probe), 1);
}

TEST(CollectorLoudnessRange, LowAndHighAreTheMeanSquaresAtThePercentilePositions) {
    RangeProbe probe;
    // 21 levels 1 LU apart, in scrambled order; all within 20 LU of the power mean.
    std::vector<float> seen;
    for (int k = 0; k < 21; ++k) {
        const int level = (k * 8) % 21; // a permutation of 0..20
        seen.push_back(probe.window3s(meanSquareFor(-40.0 + level)));
        if (k == 9) { // n = 10: positions 1 and 9
            std::vector<float> sorted = seen;
            std::sort(sorted.begin(), sorted.end());
            EXPECT_EQ(probe.rangeLow(), sorted[1]);
            EXPECT_EQ(probe.rangeHigh(), sorted[9]);
            EXPECT_NEAR(probe.loudnessRange(), 10.0f * std::log10(sorted[9] / sorted[1]), 1e-3f);
        }
    }
    std::vector<float> sorted = seen;
    std::sort(sorted.begin(), sorted.end());
    // n = 21: positions 2 and 19.
    EXPECT_EQ(probe.rangeLow(), sorted[2]);
    EXPECT_EQ(probe.rangeHigh(), sorted[19]);
    EXPECT_NEAR(probe.loudnessRange(), 17.0f, 1e-2f);

    // A block far below the relative gate is kept but moves neither percentile.
    probe.window3s(meanSquareFor(-65.0));
    EXPECT_EQ(listCount(probe), 22);
    EXPECT_EQ(probe.rangeLow(), sorted[2]);
    EXPECT_EQ(probe.rangeHigh(), sorted[19]);
    EXPECT_NEAR(probe.loudnessRange(), 17.0f, 1e-2f);
}

// ---- The ordered block list ---------------------------------------------------

std::vector<float> walk(const SortedSumsList& list) {
    std::vector<float> values;
    for (const SortedSumsList::Node* n = list.head(); n && values.size() <= static_cast<size_t>(list.capacity());
         n = n->next)
        values.push_back(n->value);
    return values;
}

TEST(SortedSumsList, RandomInsertsStayAscendingWithTheirSum) {
    SortedSumsList list(5000);
    std::mt19937 rng(7u);
    std::uniform_real_distribution<float> dist(1e-6f, 1.0f);
    std::vector<float> inserted;
    double exact = 0.0;
    for (int i = 0; i < 3000; ++i) {
        // Repeats of a few values as well: real programmes produce equal blocks.
        const float v = i % 5 == 0 ? 0.25f * static_cast<float>(1 + i % 3) : dist(rng);
        list.insert(v);
        inserted.push_back(v);
        exact += v;
    }
    EXPECT_EQ(list.count(), 3000);
    std::vector<float> expected = inserted;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(walk(list), expected);
    EXPECT_NEAR(list.sum(), exact, exact * 1e-5);
}

// Once the pool is used up the next value starts the list over; clear empties it.
TEST(SortedSumsList, FullListStartsOverEmpty) {
    SortedSumsList list(3);
    for (float v : {5.0f, 1.0f, 3.0f, 2.0f}) list.insert(v);
    EXPECT_EQ(walk(list), std::vector<float>{2.0f});
    EXPECT_EQ(list.sum(), 2.0f);
    list.insert(4.0f);
    list.insert(0.5f);
    EXPECT_EQ(walk(list), (std::vector<float>{0.5f, 2.0f, 4.0f}));
    EXPECT_EQ(list.sum(), 6.5f);

    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.head(), nullptr);
    EXPECT_EQ(list.sum(), 0.0f);
    float low = -1.0f, high = -1.0f;
    EXPECT_FALSE(list.percentiles(0.0f, low, high));
}

// Values 1 .. n in scrambled order, in some cases with quiet values at or
// below the threshold that must not be counted.
TEST(SortedSumsList, PercentilePositionsCountOnlyValuesAboveTheThreshold) {
    struct Case {
        int n;
        bool quietExtras; // 0.1 .. 0.5 inserted as well
        float threshold;
        float low, high; // 0: no percentiles
    };
    const Case cases[] = {
        {1, false, 0.0f, 1, 1},   {2, false, 0.0f, 1, 2},   {10, false, 0.0f, 2, 10}, {21, false, 0.0f, 3, 20},
        // 0.5 sits on the threshold: counted, n would be 11 and the low position would hold 1.
        {10, true, 0.5f, 2, 10},
        // 2 .. 10 left: n = 9, positions 1 and 8.
        {10, true, 1.0f, 3, 10},  {10, true, 10.0f, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "n = " << c.n << ", threshold " << c.threshold);
        SortedSumsList list(64);
        std::vector<float> values;
        for (int i = 1; i <= c.n; ++i) values.push_back(static_cast<float>(i));
        if (c.quietExtras) values.insert(values.end(), {0.1f, 0.2f, 0.3f, 0.4f, 0.5f});
        std::shuffle(values.begin(), values.end(), std::mt19937(static_cast<unsigned>(c.n)));
        for (float v : values) list.insert(v);
        float low = -1.0f, high = -1.0f;
        ASSERT_EQ(list.percentiles(c.threshold, low, high), c.low > 0.0f);
        if (c.low == 0.0f) continue;
        EXPECT_EQ(low, c.low);
        EXPECT_EQ(high, c.high);
    }
}

// ---- Workers across a reset ------------------------------------------------------

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

// A collector whose worker can be held inside one evaluation.
template <class C>
class Gated;

template <>
class Gated<CollectorIntegrated> : public CollectorIntegrated {
public:
    using CollectorIntegrated::CollectorIntegrated;
    EvaluationGate gate;
    bool holdHandOff() { return tryLockHandOff(); }
    void releaseHandOff() { unlockHandOff(); }

protected:
    void evaluateBlock(float z, int32_t length, uint32_t g) override {
        gate.run([&] { CollectorIntegrated::evaluateBlock(z, length, g); });
    }
};

template <>
class Gated<CollectorLoudnessRange> : public CollectorLoudnessRange {
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

// Rates at which both collectors hop by 100 samples: 400-sample windows at
// 1 kHz, 300-sample windows at 100 Hz.
template <class C>
class EachCollector : public ::testing::Test {
protected:
    static constexpr double kRate = std::is_same_v<C, CollectorIntegrated> ? 1000.0 : 100.0;
    static constexpr int32_t kHop = 100;
    static constexpr int kHopsPerWindow = std::is_same_v<C, CollectorIntegrated> ? 4 : 3;
    static CollectorRig<C> rig(bool useWorker) { return CollectorRig<C>(useWorker, kRate, kHop); }
    // The published figures: all but the store's count, which is the worker's to clear.
    static std::vector<float> published(const C& c) {
        std::vector<float> f = figuresOf(c);
        f.pop_back();
        return f;
    }
    static std::vector<float> nothingMeasured() { return published(rig(false).collector); }
};
using BothCollectors = ::testing::Types<CollectorIntegrated, CollectorLoudnessRange>;
TYPED_TEST_SUITE(EachCollector, BothCollectors);

// The worker takes a window and is held; the reset arrives; the window's
// figures are published from before the reset and must not show after it.
TYPED_TEST(EachCollector, AWindowEvaluatedDuringTheResetDoesNotShowAfterIt) {
    CollectorRig<Gated<TypeParam>> rig(true, this->kRate, this->kHop);
    auto& collector = rig.collector;
    ASSERT_TRUE(collector.hasWorker());
    rig.hops(meanSquareFor(-10.0), this->kHopsPerWindow);
    ASSERT_NEAR(collector.current(), -10.0f, 0.01f);

    collector.gate.arm();
    float* channels[] = {rig.input.data()}; // one more hop of the same level
    collector.processInput(channels, this->kHop);
    ASSERT_TRUE(collector.gate.reached(1));
    collector.reset();
    collector.gate.allow(1);
    ASSERT_TRUE(collector.gate.reached(2));
    EXPECT_EQ(this->published(collector), this->nothingMeasured());
    collector.gate.allow(2);
    collector.waitForWorker();

    // The new measurement holds its own windows only.
    auto fresh = this->rig(false);
    for (int h = 0; h < 10; ++h) {
        const float z = meanSquareFor(h < 3 ? -10.0 : -20.0);
        rig.hop(z);
        fresh.hop(z);
    }
    EXPECT_EQ(figuresOf(collector), figuresOf(fresh.collector));
    EXPECT_NEAR(collector.current(), -20.0f, 0.01f);
}

// Offline nothing may be lost whatever the worker does: with its hand-off held
// (a worker that never gets the CPU), realtime drops every window, offline
// evaluates each where it arrives, equal to a collector without a worker.
TYPED_TEST(EachCollector, OfflineEveryWindowIsEvaluatedWhileTheWorkerIsHeld) {
    CollectorRig<Gated<TypeParam>> rig(true, this->kRate, this->kHop);
    auto& collector = rig.collector;
    ASSERT_TRUE(collector.hasWorker());
    collector.waitForWorker(); // the reset of the new collector is done: the worker sleeps
    ASSERT_TRUE(collector.holdHandOff());
    rig.hops(meanSquareFor(-10.0), 2 * this->kHopsPerWindow);
    EXPECT_EQ(this->published(collector), this->nothingMeasured()) << "realtime windows reached a held worker";

    collector.setEvaluateInPlace(true);
    collector.reset();
    auto reference = this->rig(false);
    for (int h = 0; h < 12; ++h) {
        const float z = meanSquareFor(h % 5 == 0 ? -40.0 : -12.0 - h);
        rig.hop(z);
        reference.hop(z);
        ASSERT_EQ(figuresOf(collector), figuresOf(reference.collector)) << "after hop " << h;
    }
    collector.releaseHandOff();
}

// Switching to offline waits for the window the worker is evaluating, so the
// windows keep their order: the figures equal those of a collector without a worker.
TYPED_TEST(EachCollector, SwitchingToOfflineFirstLetsTheWorkerFinish) {
    CollectorRig<Gated<TypeParam>> rig(true, this->kRate, this->kHop);
    auto& collector = rig.collector;
    auto reference = this->rig(false);
    const float loud = meanSquareFor(-10.0), quiet = meanSquareFor(-30.0);
    for (int h = 0; h < this->kHopsPerWindow; ++h) {
        rig.hop(loud);
        reference.hop(loud);
    }
    collector.gate.arm();
    std::fill(rig.input.begin(), rig.input.end(), loud);
    float* channels[] = {rig.input.data()};
    collector.processInput(channels, this->kHop); // the worker takes it and is held
    reference.hop(loud);
    ASSERT_TRUE(collector.gate.reached(1));
    auto switched = std::async(std::launch::async, [&] { collector.setEvaluateInPlace(true); });
    EXPECT_EQ(switched.wait_for(50ms), std::future_status::timeout) << "offline began under a running evaluation";
    collector.gate.allow(2);
    switched.get();
    EXPECT_TRUE(collector.evaluatesInPlace());
    for (int h = 0; h < 6; ++h) {
        rig.hop(quiet);
        reference.hop(quiet);
    }
    EXPECT_EQ(figuresOf(collector), figuresOf(reference.collector));
}

// The worker sums with denormals read as zero, as the audio thread filters:
// a window of denormal-range squares is silence and changes nothing.
TEST(CollectorLoudnessRangeWorker, AWindowOfDenormalSquaresIsSilence) {
    CollectorRig<CollectorLoudnessRange> rig(true, 100.0, 100);
    ASSERT_TRUE(rig.collector.hasWorker());
    rig.hops(1e-40f, 6);
    EXPECT_EQ(rig.collector.current(), CollectorOverlap::kFloorLoudness);
    rig.hops(meanSquareFor(-20.0), 3);
    EXPECT_NEAR(rig.collector.current(), -20.0f, 1e-3f);
}

TEST(CollectorLoudnessRangeWorker, NewWeightsWaitForTheWindowTheWorkerIsSumming) {
    Gated<CollectorLoudnessRange> collector(100.0, 2, 100, true);
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

// Holds the worker's clearing at a gate, so windows can be handed over between
// the reset and the clearing every time.
class GatedClearing : public CollectorIntegrated {
public:
    GatedClearing() : CollectorIntegrated(48000.0, 1, 4800, true) {}
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
    std::vector<float> input(4800, meanSquareFor(-20.0));
    float* channels[] = {input.data()};
    for (int h = 0; h < 10; ++h) collector.processInput(channels, 4800);
    collector.waitForWorker();

    collector.reset();
    collector.waitUntilEntered(); // the worker now sits in its clearing
    std::fill(input.begin(), input.end(), meanSquareFor(-35.0));
    for (int h = 0; h < 8; ++h) collector.processInput(channels, 4800);
    collector.openGate();
    collector.waitForWorker();
    EXPECT_EQ(collector.storedCount(), 5); // 8 hops after the reset, the first 3 warming up
    EXPECT_NEAR(collector.current(), -35.0f, 1e-3f);
    EXPECT_NEAR(collector.result(), -35.0f, 1e-3f);
    collector.terminate();
}

} // namespace
} // namespace DSP
