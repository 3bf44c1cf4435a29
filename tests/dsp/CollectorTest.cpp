// The window collectors behind the readings. The 400 ms one: momentary
// loudness and the gated integrated loudness over its block store. The 3 s
// one: short-term loudness and the loudness range over an ordered block list.
// Both take squared, weighted samples, so the tests feed squares directly: a
// constant z is a window of mean square z. Their workers never carry anything
// across a reset, and offline every window is evaluated where it arrives;
// those races are played out deterministically by holding a worker at a gate.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <random>
#include <thread>
#include <type_traits>
#include <vector>

#include "DspTestSupport.h"
#include "dsp/CollectorIntegrated.h"
#include "dsp/CollectorLoudnessRange.h"
#include "dsp/SortedSumsList.h"

namespace DSP::testing {
namespace {

// A mono collector fed one hop per call, so every call is one frame; with a
// worker, each call waits until it has evaluated.
template <class C>
class CollectorRig {
public:
    CollectorRig(bool useWorker, double rate, int32_t hop)
        : collector(rate, 1, static_cast<uint32_t>(hop), useWorker), input(static_cast<size_t>(hop)) {
        collector.initialize();
        collector.reset();
    }
    ~CollectorRig() { collector.terminate(); }
    void hop(float z, bool wait = true) {
        std::fill(input.begin(), input.end(), z);
        float* channels[] = {input.data()};
        collector.processInput(channels, static_cast<int32_t>(input.size()));
        if (wait) collector.waitForWorker();
    }
    void hops(float z, int count) {
        for (int i = 0; i < count; ++i) hop(z);
    }
    C collector;
    std::vector<float> input;
};

std::vector<float> figuresOf(const CollectorIntegrated& c) {
    return {c.current(), c.result(), c.isBelowRelativeGate() ? 1.0f : 0.0f, static_cast<float>(c.storedCount())};
}
std::vector<float> figuresOf(const CollectorLoudnessRange& c) {
    return {c.current(), c.loudnessRange(), c.rangeLow(), c.rangeHigh(), static_cast<float>(c.list()->count())};
}

// Reaches the evaluation of single blocks, to build store contents exactly.
class IntegratedProbe : public CollectorIntegrated {
public:
    IntegratedProbe() : CollectorIntegrated(48000.0, 1, 4800, false) {
        initialize();
        reset();
    }
    ~IntegratedProbe() override { terminate(); }
    using CollectorIntegrated::evaluateBlock;
};

// Whole 3 s windows of one constant value each: no overlap mixes two levels.
class RangeProbe : public CollectorLoudnessRange {
public:
    RangeProbe() : CollectorLoudnessRange(1000.0, 1, 1000, false), window(3000) {
        initialize();
        reset();
    }
    ~RangeProbe() override { terminate(); }
    void evaluate3s(float value) {
        std::fill(window.begin(), window.end(), value);
        float* frame[] = {window.data()};
        evaluateWindow(frame, windowLength());
    }
    std::vector<float> window;
};

// ---- Integrated loudness ---------------------------------------------------------

// Blocks exactly on a gate are left out: -70 LUFS for both figures, and the
// relative threshold of the integrated loudness.
TEST(CollectorGates, ABlockExactlyOnAGateIsLeftOut) {
    float atGate = meanSquareFor(-70.0);
    while (blockLoudness(atGate) < -70.0f) atGate = std::nextafter(atGate, 1.0f);
    while (blockLoudness(atGate) > -70.0f) atGate = std::nextafter(atGate, 0.0f);
    ASSERT_EQ(blockLoudness(atGate), -70.0f);
    IntegratedProbe integrated;
    integrated.evaluateBlock(atGate, 48000);
    EXPECT_EQ(integrated.current(), -70.0f);
    EXPECT_EQ(integrated.storedCount(), 0);
    EXPECT_EQ(integrated.result(), -80.0f);

    // The range collector sums its own windows: step the sample value until its sum reads -70.
    RangeProbe range;
    auto readsAt = [&](float v) {
        range.reset();
        range.evaluate3s(v);
        return range.current();
    };
    float value = meanSquareFor(-70.0);
    while (readsAt(value) < -70.0f) value = std::nextafter(value, 1.0f);
    while (readsAt(value) > -70.0f) value = std::nextafter(value, 0.0f);
    ASSERT_EQ(readsAt(value), -70.0f);
    EXPECT_EQ(range.list()->count(), 0);
    while (!(range.current() > -70.0f)) range.evaluate3s(value = std::nextafter(value, 1.0f));
    EXPECT_EQ(range.list()->count(), 1);

    // Mean 10: the relative threshold is exactly 1 (10 * 0.1 rounds to 1.0f).
    for (int position : {0, 5, 9}) {
        SCOPED_TRACE(::testing::Message() << "threshold block at " << position);
        IntegratedProbe probe;
        for (int i = 0; i < 10; ++i) probe.evaluateBlock(i == position ? 1.0f : 11.0f, i == 9 ? 48000 : 0);
        EXPECT_EQ(probe.result(), blockLoudness(11.0f)); // with the 1 counted: 10
        EXPECT_FALSE(probe.isBelowRelativeGate());       // on the threshold is not below it
    }
}

// After 9.6 hours of blocks the store starts over; the last result stands until the next.
TEST(CollectorIntegrated, AFullStoreStartsOverWithOnlyNewBlocks) {
    IntegratedProbe probe;
    const float a = meanSquareFor(-30.0), b = meanSquareFor(-20.0), c = meanSquareFor(-26.0);
    probe.evaluateBlock(a, 48000);
    for (int32_t i = 1; i < CollectorOverlap::kStoreCapacity - 1; ++i) probe.evaluateBlock(a, 0);
    probe.evaluateBlock(a, 48000); // fills the store
    EXPECT_EQ(probe.storedCount(), 0);
    EXPECT_EQ(probe.result(), blockLoudness(a));
    probe.evaluateBlock(b, 0); // the filling block's samples still count toward the next evaluation
    EXPECT_EQ(probe.result(), blockLoudness(b));
    probe.evaluateBlock(c, 48000);
    EXPECT_FLOAT_EQ(probe.result(), blockLoudness((b + c) / 2.0f));
}

// ---- The range collector's block list ------------------------------------------------

std::vector<float> walk(const SortedSumsList& list) {
    std::vector<float> values;
    for (const SortedSumsList::Node* n = list.head(); n && values.size() <= 5000u; n = n->next)
        values.push_back(n->value);
    return values;
}

// Values 1 .. n scrambled, some with quiet values 0.1 .. 0.5 (repeated, as
// real programmes give equal blocks) at or below the threshold: the list keeps
// them ascending with their sum, its percentile positions count only values
// above the threshold, and with its pool used up it starts over.
TEST(SortedSumsList, KeepsItsValuesInOrderAndItsPercentilesCountOnlyValuesAboveTheThreshold) {
    const struct {
        int n;
        bool quiet;
        float threshold, low, high; // low 0: no percentiles
    } cases[] = {{1, false, 0.0f, 1, 1},  {2, false, 0.0f, 1, 2},  {10, false, 0.0f, 2, 10}, {21, false, 0.0f, 3, 20},
                 {10, true, 0.5f, 2, 10}, {10, true, 1.0f, 3, 10}, {10, true, 10.0f, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "n = " << c.n << ", threshold " << c.threshold);
        SortedSumsList list(64);
        std::vector<float> values;
        for (int i = 1; i <= c.n; ++i) values.push_back(static_cast<float>(i));
        if (c.quiet) values.insert(values.end(), {0.1f, 0.5f, 0.2f, 0.5f, 0.1f});
        std::shuffle(values.begin(), values.end(), std::mt19937(static_cast<unsigned>(c.n)));
        for (float v : values) list.insert(v);
        float low = -1.0f, high = -1.0f;
        ASSERT_EQ(list.percentiles(c.threshold, low, high), c.low > 0.0f);
        if (c.low > 0.0f) { EXPECT_EQ(std::make_pair(low, high), std::make_pair(c.low, c.high)); }
        const double sum = std::accumulate(values.begin(), values.end(), 0.0);
        std::sort(values.begin(), values.end());
        EXPECT_EQ(walk(list), values);
        EXPECT_NEAR(list.sum(), sum, sum * 1e-6);
    }
    SortedSumsList full(3);
    for (float v : {3.0f, 1.0f, 2.0f, 0.5f}) full.insert(v);
    EXPECT_EQ(walk(full), std::vector<float>{0.5f});
    EXPECT_EQ(full.sum(), 0.5f);
}

// ---- Workers -------------------------------------------------------------------------

// Holds a worker inside one evaluation, twice: with the window taken but not
// evaluated (stage 1), and with its figures published (stage 2).
class EvaluationGate {
public:
    void arm() {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = true;
    }
    template <typename Evaluate>
    void run(Evaluate evaluate) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!armed_) {
            lock.unlock();
            evaluate();
            return;
        }
        armed_ = false;
        pass(lock, 1);
        lock.unlock();
        evaluate();
        lock.lock();
        pass(lock, 2);
    }
    void reached(int stage) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stage_ >= stage; });
    }
    void allow(int stage) {
        std::lock_guard<std::mutex> lock(mutex_);
        allowed_ = stage;
        changed_.notify_all();
    }

private:
    void pass(std::unique_lock<std::mutex>& lock, int stage) {
        stage_ = stage;
        changed_.notify_all();
        changed_.wait(lock, [&] { return allowed_ >= stage; });
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false;
    int stage_ = 0, allowed_ = 0;
};

// A collector whose worker can be held inside one evaluation, and whose hand-off the test can hold.
template <class C>
class Holdable : public C {
public:
    using C::C;
    bool holdHandOff() { return this->tryLockHandOff(); }
    void releaseHandOff() { this->unlockHandOff(); }
    EvaluationGate gate;
};
template <class C>
class Gated;
template <>
class Gated<CollectorIntegrated> : public Holdable<CollectorIntegrated> {
    using Holdable::Holdable;
    void evaluateBlock(float z, int32_t length, uint32_t g) override {
        gate.run([&] { CollectorIntegrated::evaluateBlock(z, length, g); });
    }
};
template <>
class Gated<CollectorLoudnessRange> : public Holdable<CollectorLoudnessRange> {
    using Holdable::Holdable;
    void evaluateWindow(float** frame, int32_t length, uint32_t g) override {
        gate.run([&] { CollectorLoudnessRange::evaluateWindow(frame, length, g); });
    }
};

// Rates at which both collectors hop by 100 samples: 400-sample windows at
// 1 kHz, 300-sample windows at 100 Hz.
template <class C>
class EachCollector : public ::testing::Test {
protected:
    static constexpr bool kIntegrated = std::is_same_v<C, CollectorIntegrated>;
    static constexpr double kRate = kIntegrated ? 1000.0 : 100.0;
    static constexpr int kHopsPerWindow = kIntegrated ? 4 : 3;
    // The published figures: all but the store's count, the worker's to clear.
    static std::vector<float> published(const C& c) {
        std::vector<float> f = figuresOf(c);
        f.pop_back();
        return f;
    }
    static std::vector<float> nothingMeasured() { return published(CollectorRig<C>(false, kRate, 100).collector); }
    // Hops the rig and a reference without a worker alike, at level(h) LUFS; their figures agree after each hop.
    template <class Rig, class Level>
    static void hopAlongside(Rig& rig, CollectorRig<C>& reference, int hops, Level level) {
        for (int h = 0; h < hops; ++h) {
            rig.hop(meanSquareFor(level(h)));
            reference.hop(meanSquareFor(level(h)));
            ASSERT_EQ(figuresOf(rig.collector), figuresOf(reference.collector)) << "after hop " << h;
        }
    }
};
using BothCollectors = ::testing::Types<CollectorIntegrated, CollectorLoudnessRange>;
TYPED_TEST_SUITE(EachCollector, BothCollectors);

// The worker takes a window and is held; the reset comes; the window's
// figures, published from before the reset, must not show after it.
TYPED_TEST(EachCollector, AWindowEvaluatedDuringAResetDoesNotShowAfterIt) {
    CollectorRig<Gated<TypeParam>> rig(true, this->kRate, 100);
    auto& collector = rig.collector;
    ASSERT_TRUE(collector.hasWorker());
    rig.hops(meanSquareFor(-10.0), this->kHopsPerWindow);
    collector.gate.arm();
    rig.hop(meanSquareFor(-10.0), false);
    collector.gate.reached(1);
    collector.reset();
    collector.gate.allow(1);
    collector.gate.reached(2);
    EXPECT_EQ(this->published(collector), this->nothingMeasured());
    collector.gate.allow(2);
    collector.waitForWorker();

    CollectorRig<TypeParam> fresh(false, this->kRate, 100);
    this->hopAlongside(rig, fresh, 10, [](int h) { return h < 3 ? -10.0 : -20.0; });
}

// With the hand-off held (a worker that never gets the processor) realtime
// drops every window; offline evaluates each where it arrives.
TYPED_TEST(EachCollector, OfflineEveryWindowIsEvaluatedWhileTheWorkerIsHeld) {
    CollectorRig<Gated<TypeParam>> rig(true, this->kRate, 100);
    auto& collector = rig.collector;
    collector.waitForWorker();
    ASSERT_TRUE(collector.holdHandOff());
    rig.hops(meanSquareFor(-10.0), 2 * this->kHopsPerWindow);
    EXPECT_EQ(this->published(collector), this->nothingMeasured()) << "realtime windows reached a held worker";

    collector.setEvaluateInPlace(true);
    collector.reset();
    CollectorRig<TypeParam> reference(false, this->kRate, 100);
    this->hopAlongside(rig, reference, 12, [](int h) { return h % 5 == 0 ? -40.0 : -12.0 - h; });
    collector.releaseHandOff();
}

// Switching to offline first lets the worker finish the window it holds, so
// the windows keep their order.
TYPED_TEST(EachCollector, SwitchingToOfflineWaitsForTheWindowTheWorkerHolds) {
    CollectorRig<Gated<TypeParam>> rig(true, this->kRate, 100);
    auto& collector = rig.collector;
    CollectorRig<TypeParam> reference(false, this->kRate, 100);
    for (int h = 0; h <= this->kHopsPerWindow; ++h) {
        if (h == this->kHopsPerWindow) collector.gate.arm();
        rig.hop(meanSquareFor(-10.0), h < this->kHopsPerWindow);
        reference.hop(meanSquareFor(-10.0));
    }
    collector.gate.reached(1);
    std::atomic<bool> entered{false}, returned{false};
    std::thread audio([&] {
        entered = true;
        collector.setEvaluateInPlace(true);
        returned = true;
    });
    while (!entered) std::this_thread::yield();
    for (int i = 0; i < 1000 && !returned; ++i) std::this_thread::yield();
    EXPECT_FALSE(returned) << "offline began under a running evaluation";
    collector.gate.allow(2);
    audio.join();
    EXPECT_TRUE(collector.evaluatesInPlace());
    this->hopAlongside(rig, reference, 6, [](int) { return -30.0; });
}

// The worker sums with denormals read as zero, as the audio thread filters: a
// window of denormal squares is silence and leaves the reading alone.
TEST(CollectorWorker, AWindowOfDenormalSquaresIsSilence) {
    CollectorRig<CollectorLoudnessRange> rig(true, 100.0, 100);
    ASSERT_TRUE(rig.collector.hasWorker());
    rig.hops(1e-40f, 6);
    EXPECT_EQ(rig.collector.current(), -80.0f);
    rig.hops(meanSquareFor(-20.0), 3);
    EXPECT_NEAR(rig.collector.current(), -20.0f, 1e-3f);
}

TEST(CollectorWorker, NewWeightsWaitForTheWindowTheWorkerIsSumming) {
    Gated<CollectorLoudnessRange> collector(100.0, 2, 100, true);
    collector.initialize();
    collector.reset();
    ASSERT_TRUE(collector.holdHandOff()); // as the worker holds it while it sums
    const float weights[] = {1.41f, 0.0f};
    std::atomic<bool> returned{false};
    std::thread ui([&] {
        collector.setWeights(weights, 2);
        returned = true;
    });
    for (int i = 0; i < 1000 && !returned; ++i) std::this_thread::yield();
    EXPECT_FALSE(returned) << "the weights changed under a window sum";
    collector.releaseHandOff();
    ui.join();
    EXPECT_EQ(collector.collector()->weights()[0], 1.41f);
    EXPECT_EQ(collector.collector()->weights()[1], 0.0f);
    collector.terminate();
}

// Holds the worker's clearing, so windows are handed over between the reset and the clearing.
class GatedClearing : public CollectorIntegrated {
public:
    GatedClearing() : CollectorIntegrated(48000.0, 1, 4800, true) {}
    void clearEvaluation() override {
        gate.run([&] { CollectorIntegrated::clearEvaluation(); });
    }
    EvaluationGate gate;
};

// Regression: windows handed over after a reset but before the worker cleared
// were cleared with the old measurement.
TEST(CollectorWorker, WindowsHandedOverBeforeTheClearingBelongToTheNewMeasurement) {
    GatedClearing collector;
    collector.initialize();
    std::vector<float> input(4800, meanSquareFor(-20.0));
    float* channels[] = {input.data()};
    for (int h = 0; h < 10; ++h) collector.processInput(channels, 4800);
    collector.waitForWorker();
    collector.gate.arm();
    collector.reset();
    collector.gate.reached(1);
    std::fill(input.begin(), input.end(), meanSquareFor(-35.0));
    for (int h = 0; h < 8; ++h) collector.processInput(channels, 4800);
    collector.gate.allow(2);
    collector.waitForWorker();
    EXPECT_EQ(collector.storedCount(), 5); // 8 hops after the reset, the first 3 warming up
    EXPECT_NEAR(collector.result(), -35.0f, 1e-3f);
    collector.terminate();
}

} // namespace
} // namespace DSP::testing
