// Whole programmes through the loudness analysis: gated integrated loudness
// and loudness range of stepped 1 kHz programmes at two sample rates and
// several host block sizes, the same figures with the evaluation on worker
// threads, and shutdown of those workers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "dsp/DenormalGuard.h"
#include "dsp/Loudness.h"
#include "tests/dsp/LoudnessTestSupport.h"

namespace DSP {
namespace {

using testing::Meter;
using testing::Tone;
using testing::finishesWithin;
using testing::kFloorLufs;
using testing::kShutdownLimit;
using testing::weightingGainDb;

constexpr uint64_t kStereo = 0x3;

// A stereo sine of peak P dBFS on both channels has a summed mean square of
// P dB (two channels of a^2/2), so it reads P + G(1 kHz) - 0.691 LUFS; the
// weighting gain at 1 kHz nearly cancels the offset.
double readingOffset(Loudness& l, double sampleRate) {
    return weightingGainDb(l, 1000.0, sampleRate) + testing::kLoudnessOffset;
}

// Power mean of equal-length stretches, in dB.
double powerMeanDb(std::initializer_list<double> levels) {
    double sum = 0.0;
    for (double db : levels) sum += std::pow(10.0, db / 10.0);
    return 10.0 * std::log10(sum / static_cast<double>(levels.size()));
}

struct Programme {
    std::string name;
    std::vector<Tone> tones;
    double integrated;    // level of the sine peaks that the gated mean comes to
    double range;         // LU
    double lastLevel;     // what momentary and short-term show at the end
    double loudestLevel;  // what the maxima hold
    bool endsBelowGate;   // the last stretch lies more than 10 LU under the gated mean
};

std::vector<Programme> programmes() {
    return {
        {"Steady23", {{20, -23}}, -23.0, 0.0, -23.0, -23.0, false},
        {"Steady33", {{20, -33}}, -33.0, 0.0, -33.0, -33.0, false},
        // The quiet ends lie below the relative gate and do not count.
        // Range: 16 of 78 short-term blocks are quiet, the 10th percentile is one.
        {"QuietLoudQuiet", {{10, -36}, {60, -23}, {10, -36}}, -23.0, 13.0, -36.0, -23.0, true},
        {"Range10", {{20, -20}, {20, -30}}, powerMeanDb({-20, -30}), 10.0, -30.0, -20.0, false},
        {"Range5", {{20, -20}, {20, -15}}, powerMeanDb({-20, -15}), 5.0, -15.0, -15.0, false},
        // -40 is more than 10 LU under the mean: gated out of the integrated
        // loudness, but within the 20 LU gate of the range.
        {"Range20", {{20, -40}, {20, -20}}, -20.0, 20.0, -20.0, -20.0, false},
    };
}

const Programme& programmeNamed(const std::string& name) {
    static const std::vector<Programme> all = programmes();
    for (const Programme& p : all)
        if (p.name == name) return p;
    throw std::runtime_error("no programme " + name);
}

struct Case {
    std::string programme;
    double sampleRate;
    int32_t blockSize;
};

std::string describe(const Case& c) {
    return c.programme + "_" + std::to_string(static_cast<int>(c.sampleRate)) + "_" + std::to_string(c.blockSize);
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) { return describe(info.param); }

void PrintTo(const Case& c, std::ostream* os) { *os << describe(c); }

std::vector<Case> programmeCases() {
    std::vector<Case> cases;
    for (const Programme& p : programmes()) {
        cases.push_back({p.name, 48000.0, 512});
        cases.push_back({p.name, 44100.0, 512});
    }
    // Blocks that do not divide the 100 ms hop.
    cases.push_back({"Steady23", 44100.0, 441});
    cases.push_back({"QuietLoudQuiet", 48000.0, 1000});
    cases.push_back({"Range10", 44100.0, 1000});
    cases.push_back({"Range20", 48000.0, 441});
    return cases;
}

// ---- Synchronous evaluation --------------------------------------------------

class LoudnessProgramme : public ::testing::TestWithParam<Case> {};

TEST_P(LoudnessProgramme, GatedFiguresMatchTheProgramme) {
    DenormalGuard guard;
    const Case& c = GetParam();
    const Programme& p = programmeNamed(c.programme);
    Meter meter(c.sampleRate, 2, kStereo, false);
    const double offset = readingOffset(*meter, c.sampleRate);
    ASSERT_NEAR(offset, 0.0, 0.05); // a -23 dBFS stereo sine is about -23 LUFS

    meter.playProgramme(p.tones, c.blockSize);

    EXPECT_NEAR(meter->getIntegrated(), p.integrated + offset, 0.1);
    EXPECT_NEAR(meter->getLoudnessRange(), p.range, p.range == 0.0 ? 0.1 : 1.0);
    EXPECT_NEAR(meter->getMomentary(), p.lastLevel + offset, 0.02);
    EXPECT_NEAR(meter->getShortTerm(), p.lastLevel + offset, 0.02);
    EXPECT_NEAR(meter->getMomentaryMax(), p.loudestLevel + offset, 0.02);
    EXPECT_NEAR(meter->getShortTermMax(), p.loudestLevel + offset, 0.02);
    EXPECT_EQ(meter->isBelowRelativeGate(), p.endsBelowGate);
    // The range is the distance of the two percentile blocks.
    EXPECT_NEAR(10.0 * std::log10(meter->getRangeHigh() / meter->getRangeLow()), meter->getLoudnessRange(), 1e-3);
    if (p.tones.size() == 1) {
        // A steady signal: every block equal, the gated mean is the block loudness.
        EXPECT_NEAR(meter->getIntegrated(), p.integrated + offset, 0.01);
        EXPECT_NEAR(meter->getIntegrated(), meter->getMomentary(), 0.01);
    }
}

INSTANTIATE_TEST_SUITE_P(Loudness, LoudnessProgramme, ::testing::ValuesIn(programmeCases()), caseName);

// ---- Worker threads -----------------------------------------------------------

class LoudnessWorkers : public ::testing::TestWithParam<Case> {};

// Fed no faster than the workers evaluate, no window is dropped: after every
// call the published figures are those of the synchronous evaluation.
TEST_P(LoudnessWorkers, SameFiguresAsSynchronousEvaluation) {
    DenormalGuard guard;
    const Case& c = GetParam();
    const Programme& p = programmeNamed(c.programme);
    Meter sync(c.sampleRate, 2, kStereo, false);
    Meter threaded(c.sampleRate, 2, kStereo, true);
    ASSERT_TRUE(threaded.ready());
    ASSERT_TRUE(threaded->integratedCollector()->hasWorker());
    ASSERT_TRUE(threaded->rangeCollector()->hasWorker());

    double worst = 0.0;
    int64_t calls = 0, firstDifference = -1, gateDifferences = 0;
    for (const Tone& t : p.tones) {
        const double peak = testing::linearFromDb(t.peakDb);
        for (int64_t left = sync.samplesFor(t.seconds); left > 0; left -= c.blockSize, ++calls) {
            const int64_t n = std::min<int64_t>(left, c.blockSize);
            sync.play(1000.0, sync.everyChannel(peak), n, c.blockSize);
            threaded.play(1000.0, threaded.everyChannel(peak), n, c.blockSize);
            ASSERT_FALSE(HasFatalFailure());
            const double d = std::max({
                std::abs(threaded->integratedCollector()->result() - sync->integratedCollector()->result()),
                std::abs(threaded->integratedCollector()->current() - sync->integratedCollector()->current()),
                std::abs(threaded->rangeCollector()->current() - sync->rangeCollector()->current()),
                std::abs(threaded->rangeCollector()->loudnessRange() - sync->rangeCollector()->loudnessRange()),
            });
            gateDifferences += threaded->isBelowRelativeGate() != sync->isBelowRelativeGate();
            if (d > 0.01 && firstDifference < 0) firstDifference = calls;
            worst = std::max(worst, d);
        }
    }
    EXPECT_LE(worst, 0.01) << "first differing call " << firstDifference << " of " << calls;
    EXPECT_EQ(gateDifferences, 0);

    // The analysis picks the published values up on its next call; one more
    // sample completes no window on either side.
    sync.play(1000.0, sync.everyChannel(0.0), 1, c.blockSize);
    threaded.play(1000.0, threaded.everyChannel(0.0), 1, c.blockSize);
    const std::vector<float> expected = testing::readingsOf(*sync), actual = testing::readingsOf(*threaded);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(actual[i], expected[i], 0.01) << "reading " << i;
    EXPECT_NEAR(threaded->getIntegrated(), p.integrated + readingOffset(*threaded, c.sampleRate), 0.1);
}

std::vector<Case> workerCases() {
    std::vector<Case> cases;
    for (const Programme& p : programmes()) cases.push_back({p.name, 48000.0, 512});
    cases.push_back({"Range10", 44100.0, 441});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Loudness, LoudnessWorkers, ::testing::ValuesIn(workerCases()), caseName);

// Stopping the workers never hangs: right after a reset (the clearing
// requests still pending, many times over), with both workers asleep, with
// windows still in flight, and on destruction without terminate.
TEST(LoudnessWorkerLifecycle, ShutdownReturnsInEveryState) {
    DenormalGuard guard;
    for (int round = 0; round < 20; ++round) {
        Meter meter(48000.0, 2, kStereo, true);
        ASSERT_TRUE(meter.ready());
        meter->reset();
        ASSERT_TRUE(finishesWithin(kShutdownLimit, [l = meter.release()] { l->terminate(); }))
            << "terminate right after reset, round " << round;
    }
    for (bool workersWaiting : {true, false}) {
        Meter meter(48000.0, 2, kStereo, true);
        ASSERT_TRUE(meter.ready());
        meter.setWaitAfterEachCall(workersWaiting);
        meter.playProgramme({{3.5, -23}}, workersWaiting ? 512 : 4096);
        if (workersWaiting) meter.waitForWorkers(); // both asleep on their semaphores now
        EXPECT_TRUE(finishesWithin(kShutdownLimit, [l = meter.release()] { l->terminate(); }))
            << (workersWaiting ? "workers waiting" : "windows in flight");
    }
    // Destruction alone must still stop the workers before their collectors go.
    Meter meter(48000.0, 2, kStereo, true);
    ASSERT_TRUE(meter.ready());
    meter->reset();
    EXPECT_TRUE(finishesWithin(kShutdownLimit, [owned = meter.release()]() mutable { owned.reset(); }))
        << "destruction without terminate";
}

// A change of channel count rebuilds the collectors, and with them their workers.
TEST(LoudnessWorkerLifecycle, ChannelCountChangeRestartsWorkers) {
    DenormalGuard guard;
    Meter meter(48000.0, 2, kStereo, true);
    ASSERT_TRUE(meter.ready());
    meter.playProgramme({{1, -23}}, 512);
    ASSERT_TRUE(finishesWithin(kShutdownLimit, [l = meter.shared()] { l->setChannelsAndArrangement(1, 1, 0, 0x1); }));
    meter.resizeBuffers(1);
    ASSERT_TRUE(meter->integratedCollector()->hasWorker());
    ASSERT_TRUE(meter->rangeCollector()->hasWorker());
    meter.play(1000.0, {1.0}, meter.samplesFor(3.0), 512);
    meter.play(1000.0, {0.0}, 1, 512);
    const double expected = testing::sineLoudness(1.0, weightingGainDb(*meter, 1000.0, 48000.0));
    EXPECT_NEAR(meter->getIntegrated(), expected, 0.02);
    EXPECT_NEAR(meter->getShortTerm(), expected, 0.02);
}

} // namespace
} // namespace DSP
