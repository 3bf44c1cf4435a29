// The 3 s window collector: short-term loudness and the loudness range
// (absolute gate, relative gate 20 LU below the power mean, 10th to 95th
// percentile), with and without the worker thread. Squared values are fed
// directly: a constant value z per channel is a window of mean square z.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "dsp/CollectorLoudnessRange.h"
#include "CollectorTestSupport.h"

namespace DSP {
namespace {

constexpr float kFloor = -80.0f;
constexpr double kRate = 48000.0;
constexpr int32_t kHop = 48000; // 1 s

int32_t listCount(const CollectorLoudnessRange& c) { return c.list() ? c.list()->count() : -1; }

struct RangeRig : CollectorRig<CollectorLoudnessRange> {
    explicit RangeRig(bool useWorker) : CollectorRig(useWorker, kRate, kHop) {}
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

TEST(CollectorLoudnessRangeGeometry, WindowHistoryAndHopFromSampleRate) {
    EXPECT_EQ(CollectorLoudnessRange::windowLengthFor(48000.0), 144000);
    EXPECT_EQ(CollectorLoudnessRange::historyLengthFor(48000.0), 96000);
    EXPECT_EQ(CollectorLoudnessRange::windowLengthFor(44100.0), 132300);
    EXPECT_EQ(CollectorLoudnessRange::historyLengthFor(44100.0), 88200);
    RangeRig rig(false);
    EXPECT_EQ(rig.collector.hopLength(), kHop);
}

TEST(CollectorLoudnessRange, WarmUpFramesGiveNothingAndTheThirdSecondGivesTheFirstValues) {
    RangeRig rig(false);
    const float z = meanSquareFor(-23.0);
    for (int h = 1; h <= 2; ++h) {
        rig.hop(z); // 1 s and 2 s frames
        EXPECT_EQ(rig.collector.current(), kFloor) << "hop " << h;
        EXPECT_EQ(rig.collector.loudnessRange(), 0.0f) << "hop " << h;
        EXPECT_EQ(rig.collector.rangeLow(), 0.0f) << "hop " << h;
        EXPECT_EQ(rig.collector.rangeHigh(), 0.0f) << "hop " << h;
        EXPECT_EQ(listCount(rig.collector), 0) << "hop " << h;
    }
    rig.hop(z);
    EXPECT_NEAR(rig.collector.current(), -23.0f, 1e-3f);
    EXPECT_EQ(listCount(rig.collector), 1);
    EXPECT_EQ(rig.collector.loudnessRange(), 0.0f);
    EXPECT_EQ(rig.collector.rangeLow(), rig.collector.collector()->meanSquare());
    EXPECT_EQ(rig.collector.rangeHigh(), rig.collector.collector()->meanSquare());
}

TEST(CollectorLoudnessRange, StationaryInputKeepsTheRangeAtZero) {
    RangeRig rig(false);
    const float z = meanSquareFor(-31.0);
    for (int h = 1; h <= 25; ++h) {
        rig.hop(z);
        if (h >= 3) {
            EXPECT_EQ(rig.collector.loudnessRange(), 0.0f) << "hop " << h;
            EXPECT_EQ(listCount(rig.collector), h - 2) << "hop " << h;
            EXPECT_NEAR(rig.collector.current(), -31.0f, 1e-3f) << "hop " << h;
        }
    }
}

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

TEST(CollectorLoudnessRange, SilentWindowsChangeNothing) {
    RangeRig rig(false);
    rig.hops(0.0f, 5);
    EXPECT_EQ(rig.collector.current(), kFloor);
    EXPECT_EQ(listCount(rig.collector), 0);

    rig.hops(meanSquareFor(-20.0), 6);
    rig.hops(meanSquareFor(-28.0), 6);
    rig.hops(0.0f, 2); // windows still partly filled
    const float current = rig.collector.current(), range = rig.collector.loudnessRange();
    const float low = rig.collector.rangeLow(), high = rig.collector.rangeHigh();
    const int32_t count = listCount(rig.collector);
    ASSERT_GT(range, 0.0f);
    rig.hops(0.0f, 6);
    EXPECT_EQ(rig.collector.current(), current);
    EXPECT_EQ(rig.collector.loudnessRange(), range);
    EXPECT_EQ(rig.collector.rangeLow(), low);
    EXPECT_EQ(rig.collector.rangeHigh(), high);
    EXPECT_EQ(listCount(rig.collector), count);
}

TEST(CollectorLoudnessRange, ResetEmptiesTheListAndRestartsWarmUp) {
    RangeRig rig(false);
    rig.hops(meanSquareFor(-20.0), 8);
    rig.hops(meanSquareFor(-30.0), 8);
    ASSERT_GT(rig.collector.loudnessRange(), 5.0f);
    rig.collector.reset();
    EXPECT_EQ(rig.collector.current(), kFloor);
    EXPECT_EQ(rig.collector.loudnessRange(), 0.0f);
    EXPECT_EQ(rig.collector.rangeLow(), 0.0f);
    EXPECT_EQ(rig.collector.rangeHigh(), 0.0f);
    EXPECT_EQ(listCount(rig.collector), 0);

    const float z = meanSquareFor(-26.0);
    rig.hops(z, 2);
    EXPECT_EQ(rig.collector.current(), kFloor);
    rig.hop(z);
    EXPECT_EQ(listCount(rig.collector), 1);
    EXPECT_EQ(rig.collector.loudnessRange(), 0.0f);
    EXPECT_NEAR(rig.collector.current(), -26.0f, 1e-3f);
}

// ---- With the worker thread ---------------------------------------------------------

void expectSameFigures(const RangeRig& a, const RangeRig& b, int hop) {
    EXPECT_EQ(a.collector.current(), b.collector.current()) << "hop " << hop;
    EXPECT_EQ(a.collector.loudnessRange(), b.collector.loudnessRange()) << "hop " << hop;
    EXPECT_EQ(a.collector.rangeLow(), b.collector.rangeLow()) << "hop " << hop;
    EXPECT_EQ(a.collector.rangeHigh(), b.collector.rangeHigh()) << "hop " << hop;
    EXPECT_EQ(listCount(a.collector), listCount(b.collector)) << "hop " << hop;
}

TEST(CollectorLoudnessRangeWorker, GivesTheSameFiguresAsSynchronousEvaluation) {
    RangeRig threaded(true), direct(false);
    ASSERT_TRUE(threaded.collector.hasWorker());
    struct Stretch {
        float z;
        int hops;
    };
    const Stretch program[] = {{meanSquareFor(-20.0), 6}, {meanSquareFor(-30.0), 6}, {meanSquareFor(-45.0), 4},
                               {0.0f, 4},                 {meanSquareFor(-75.0), 3}, {meanSquareFor(-24.0), 5}};
    int hop = 0;
    for (const Stretch& s : program) {
        for (int i = 0; i < s.hops; ++i, ++hop) {
            threaded.hop(s.z);
            direct.hop(s.z);
            expectSameFigures(threaded, direct, hop);
            if (::testing::Test::HasFailure()) return;
        }
    }
    EXPECT_GT(threaded.collector.loudnessRange(), 5.0f);
}

TEST(CollectorLoudnessRangeWorker, FramesAfterResetAreEvaluatedAgainstAnEmptyList) {
    RangeRig threaded(true);
    threaded.hops(meanSquareFor(-20.0), 6);
    threaded.hops(meanSquareFor(-35.0), 6);
    ASSERT_GT(threaded.collector.loudnessRange(), 5.0f);
    threaded.collector.reset();
    EXPECT_EQ(threaded.collector.current(), kFloor);
    EXPECT_EQ(threaded.collector.loudnessRange(), 0.0f);

    RangeRig direct(false);
    const float z = meanSquareFor(-27.0);
    for (int h = 0; h < 6; ++h) {
        threaded.hop(z);
        direct.hop(z);
        expectSameFigures(threaded, direct, h);
    }
    EXPECT_EQ(listCount(threaded.collector), 4);
    EXPECT_EQ(threaded.collector.loudnessRange(), 0.0f);
}

TEST(CollectorLoudnessRangeWorker, TerminateReturnsPromptlyWhileTheWorkerWaits) {
    const std::chrono::milliseconds kBound(2000);
    {
        RangeRig rig(true);
        rig.hops(meanSquareFor(-23.0), 4);
        EXPECT_TRUE(terminatesWithin(std::move(rig.owned), kBound)) << "idle worker";
    }
    {
        RangeRig rig(true);
        rig.hops(meanSquareFor(-23.0), 4);
        rig.collector.reset();
        EXPECT_TRUE(terminatesWithin(std::move(rig.owned), kBound)) << "reset request pending";
    }
    {
        auto collector = std::make_unique<CollectorLoudnessRange>(kRate, 2, kHop, true);
        collector->initialize();
        ASSERT_TRUE(collector->hasWorker());
        EXPECT_TRUE(terminatesWithin(std::move(collector), kBound)) << "never signalled";
    }
}

} // namespace
} // namespace DSP
