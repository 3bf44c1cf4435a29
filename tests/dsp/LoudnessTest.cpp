// The loudness analysis in isolation: the weighting sections it designs, the
// gain they give, the timing and level of the first readings, the reset and
// clear operations, and the channel weights of surround arrangements.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/DenormalGuard.h"
#include "dsp/KWeighting.h"
#include "dsp/Loudness.h"
#include "tests/dsp/LoudnessTestSupport.h"

namespace DSP {
namespace {

using testing::Meter;
using testing::gainDb;
using testing::kFloorLufs;
using testing::readingsOf;
using testing::sectionResponse;
using testing::sineLoudness;
using testing::weightingGainDb;

constexpr uint64_t kMono = 0x1;
constexpr uint64_t kStereo = 0x3;
constexpr uint64_t kFiveOne = 0x3F; // L R C LFE Ls Rs
constexpr float kCoefficientTolerance = 5e-6f;

// ---- Weighting sections ------------------------------------------------------

TEST(LoudnessWeighting, StoredCoefficientsAt48k) {
    Meter meter(48000.0, 1, kMono, false);
    const BiquadCoefficients& shelf = meter->shelf();
    EXPECT_NEAR(shelf.b0, 1.53333f, kCoefficientTolerance);
    EXPECT_NEAR(shelf.b1, -2.77281f, kCoefficientTolerance);
    EXPECT_NEAR(shelf.b2, 1.26690f, kCoefficientTolerance);
    EXPECT_NEAR(shelf.a1, -1.74447f, kCoefficientTolerance);
    EXPECT_NEAR(shelf.a2, 0.77189f, kCoefficientTolerance);

    const BiquadCoefficients& hp = meter->highPass();
    EXPECT_NEAR(hp.b0, 0.995045f, kCoefficientTolerance);
    EXPECT_NEAR(hp.b1, -1.990090f, kCoefficientTolerance);
    EXPECT_NEAR(hp.b2, 0.995045f, kCoefficientTolerance);
    EXPECT_NEAR(hp.a1, -1.990078f, kCoefficientTolerance);
    EXPECT_NEAR(hp.a2, 0.990102f, kCoefficientTolerance);
    // Symmetric numerator: the high-pass blocks DC exactly, even in single precision.
    EXPECT_EQ(hp.b0, hp.b2);
    EXPECT_EQ(hp.b0 + hp.b1 + hp.b2, 0.0f);
}

TEST(LoudnessWeighting, CascadeGainAt48k) {
    Meter meter(48000.0, 1, kMono, false);
    const double fs = 48000.0;
    EXPECT_NEAR(weightingGainDb(*meter, 997.0, fs), 0.69, 0.02);
    EXPECT_NEAR(weightingGainDb(*meter, 38.0, fs), -6.0, 0.1);
    EXPECT_NEAR(weightingGainDb(*meter, 20000.0, fs), 4.0, 0.1);
    EXPECT_LT(std::abs(sectionResponse(meter->highPass(), 0.0, fs)), 1e-6);
}

// Designed for the actual rate, so the response in Hz is the same at every
// rate; a 48 kHz table reused elsewhere would move the corners. The shelf
// alone: unity at DC, +4 dB at the Nyquist frequency.
TEST(LoudnessWeighting, DesignFollowsTheSampleRate) {
    const BiquadCoefficients shelf48 = shelfCoefficients(48000.0);
    const BiquadCoefficients hp48 = highPassCoefficients(48000.0);
    const double at997 = gainDb(sectionResponse(shelf48, 997.0, 48000.0) * sectionResponse(hp48, 997.0, 48000.0));
    for (double fs : {48000.0, 44100.0, 88200.0, 96000.0, 192000.0}) {
        SCOPED_TRACE(fs);
        Meter meter(fs, 1, kMono, false);
        EXPECT_EQ(meter->shelf().b0 == shelf48.b0, fs == 48000.0);
        EXPECT_EQ(meter->highPass().a1 == hp48.a1, fs == 48000.0);
        EXPECT_NEAR(weightingGainDb(*meter, 997.0, fs), at997, 0.01);
        EXPECT_NEAR(weightingGainDb(*meter, 38.0, fs), -6.0, 0.1);
        EXPECT_NEAR(weightingGainDb(*meter, 10000.0, fs), 4.0, 0.15);
        EXPECT_NEAR(gainDb(sectionResponse(meter->shelf(), 0.0, fs)), 0.0, 0.005);
        EXPECT_NEAR(gainDb(sectionResponse(meter->shelf(), fs / 2, fs)), 4.0, 0.01);
    }
}

// The filters actually run must realise the stored sections: a steady sine's
// short-term reading gives back the computed gain.
TEST(LoudnessWeighting, MeasuredGainMatchesTheStoredSections) {
    DenormalGuard guard;
    const double fs = 48000.0;
    const struct {
        double frequency;
        double nominalDb;
    } points[] = {{38.0, -6.0}, {20000.0, 4.0}};
    for (const auto& p : points) {
        SCOPED_TRACE(p.frequency);
        Meter meter(fs, 1, kMono, false);
        // 4 s: the short-term window covers 1..4 s, clear of the onset transient.
        meter.play(p.frequency, {1.0}, meter.samplesFor(4.0), 512);
        const double measuredGain = meter->getShortTerm() - sineLoudness(1.0, 0.0);
        EXPECT_NEAR(measuredGain, weightingGainDb(*meter, p.frequency, fs), 0.02);
        EXPECT_NEAR(measuredGain, p.nominalDb, 0.1);
    }
}

// ---- Readings ---------------------------------------------------------------

// Momentary after the first full 400 ms window, integrated after the third
// evaluated window (600 ms), short-term after the first full 3 s window.
TEST(LoudnessReadings, FirstReadingsAppearAfterFullWindows) {
    DenormalGuard guard;
    Meter meter(48000.0, 1, kMono, false);
    const double expected = sineLoudness(1.0, weightingGainDb(*meter, 997.0, 48000.0));
    EXPECT_NEAR(expected, -3.01, 0.02);

    meter.play(997.0, {1.0}, 19199, 512);
    EXPECT_EQ(meter->getMomentary(), kFloorLufs);
    EXPECT_EQ(meter->getMomentaryMax(), kFloorLufs);
    meter.play(997.0, {1.0}, 1, 512);
    EXPECT_NEAR(meter->getMomentary(), -3.01, 0.02);
    EXPECT_NEAR(meter->getMomentary(), expected, 0.005);
    EXPECT_EQ(meter->getMomentaryMax(), meter->getMomentary());
    EXPECT_EQ(meter->getIntegrated(), kFloorLufs);

    meter.play(997.0, {1.0}, 28799 - 19200, 512);
    EXPECT_EQ(meter->getIntegrated(), kFloorLufs);
    meter.play(997.0, {1.0}, 1, 512);
    EXPECT_NEAR(meter->getIntegrated(), expected, 0.005);

    meter.play(997.0, {1.0}, 143999 - 28800, 512);
    EXPECT_EQ(meter->getShortTerm(), kFloorLufs);
    EXPECT_EQ(meter->getShortTermMax(), kFloorLufs);
    meter.play(997.0, {1.0}, 1, 512);
    EXPECT_NEAR(meter->getShortTerm(), expected, 0.005);
    EXPECT_EQ(meter->getLoudnessRange(), 0.0f);
}

TEST(LoudnessReadings, ChannelsAddTheirPower) {
    DenormalGuard guard;
    for (int32_t block : {512, 1000}) {
        SCOPED_TRACE(block);
        Meter left(48000.0, 2, kStereo, false);
        left.play(997.0, left.onlyChannel(0, 1.0), 19200, block);
        EXPECT_NEAR(left->getMomentary(), -3.01, 0.02);

        Meter right(48000.0, 2, kStereo, false);
        right.play(997.0, right.onlyChannel(1, 1.0), 19200, block);
        EXPECT_NEAR(right->getMomentary(), left->getMomentary(), 1e-4);

        Meter both(48000.0, 2, kStereo, false);
        both.play(997.0, both.everyChannel(1.0), 19200, block);
        EXPECT_NEAR(both->getMomentary(), 0.0, 0.02);
        EXPECT_NEAR(both->getMomentary() - left->getMomentary(), 10.0 * std::log10(2.0), 1e-3);
    }
}

TEST(LoudnessReadings, EmptyCallsChangeNothing) {
    DenormalGuard guard;
    Meter withEmpty(48000.0, 2, kStereo, false);
    Meter plain(48000.0, 2, kStereo, false);

    withEmpty->analyze(nullptr, 0);
    withEmpty.play(997.0, withEmpty.everyChannel(1.0), 19199, 480, 3);
    EXPECT_EQ(withEmpty->getMomentary(), kFloorLufs);
    // Exactly at the window boundary: an empty call must not count as samples.
    withEmpty.play(997.0, withEmpty.everyChannel(1.0), 1, 480, 3);
    EXPECT_NEAR(withEmpty->getMomentary(), 0.0, 0.02);

    withEmpty.play(997.0, withEmpty.everyChannel(0.3), withEmpty.samplesFor(4.0) - 19200, 480, 3);
    plain.play(997.0, plain.everyChannel(1.0), 19200, 480);
    plain.play(997.0, plain.everyChannel(0.3), plain.samplesFor(4.0) - 19200, 480);
    // Same samples, same filter state, same windows: identical figures.
    EXPECT_EQ(readingsOf(*withEmpty), readingsOf(*plain));
}

// ---- Channel weights --------------------------------------------------------

std::vector<float> weightsOf(const float* w, int32_t n) { return std::vector<float>(w, w + n); }

void expectWeightsEverywhere(Loudness& l, const std::vector<float>& expected) {
    const int32_t n = static_cast<int32_t>(expected.size());
    ASSERT_EQ(l.channelCount(), n);
    EXPECT_EQ(weightsOf(l.weights(), n), expected);
    // Each collector applies its own copy.
    EXPECT_EQ(weightsOf(l.integratedCollector()->collector()->weights(), n), expected);
    EXPECT_EQ(weightsOf(l.rangeCollector()->collector()->weights(), n), expected);
}

TEST(LoudnessChannels, SecondLfeSpeakerIsSilencedToo) {
    // L R LFE Ls Rs LFE2: channel index = set bits below the speaker's bit.
    const uint64_t arrangement = 0x1 | 0x2 | 0x8 | 0x10 | 0x20 | (uint64_t{1} << 18);
    Meter meter(48000.0, 6, arrangement, false);
    const float s = Loudness::kSurroundWeight;
    expectWeightsEverywhere(*meter, {1, 1, 0, s, s, 0});
}

// 5.1: the LFE is not measured, the surrounds count 1.41. Weights start at 1
// only when the stages are rebuilt for a new channel count; another
// arrangement with the same count adds its own on top.
TEST(LoudnessChannels, FiveOneWeightsOutliveASameCountRearrangement) {
    Meter meter(48000.0, 6, kFiveOne, false);
    const float s = Loudness::kSurroundWeight;
    EXPECT_FLOAT_EQ(s, 1.41f);
    expectWeightsEverywhere(*meter, {1, 1, 1, 0, s, s});
    const uint64_t noLfeNoSurround = 0x1 | 0x2 | 0x4 | 0x40 | 0x80 | 0x100;
    EXPECT_EQ(meter->setChannelsAndArrangement(6, 6, 0, noLfeNoSurround), 0);
    expectWeightsEverywhere(*meter, {1, 1, 1, 0, s, s});

    // Surrounds at indices 3 and 4 now: index 3 takes 1.41, index 5 keeps it.
    const uint64_t surroundsLower = 0x1 | 0x2 | 0x4 | 0x10 | 0x20 | 0x100;
    meter->setChannelsAndArrangement(6, 6, 0, surroundsLower);
    expectWeightsEverywhere(*meter, {1, 1, 1, s, s, s});

    meter->setChannelsAndArrangement(2, 2, 0, kStereo);
    expectWeightsEverywhere(*meter, {1, 1});
    meter->setChannelsAndArrangement(6, 6, 0, noLfeNoSurround);
    expectWeightsEverywhere(*meter, {1, 1, 1, 1, 1, 1});
}

TEST(LoudnessChannels, NewChannelCountStartsAFreshMeasurement) {
    DenormalGuard guard;
    Meter meter(48000.0, 2, kStereo, false);
    meter.play(997.0, meter.everyChannel(1.0), meter.samplesFor(3.5), 512);
    ASSERT_GT(meter->getIntegrated(), kFloorLufs);

    EXPECT_EQ(meter->setChannelsAndArrangement(1, 1, 0, kMono), 0);
    EXPECT_EQ(meter->channelCount(), 1);
    EXPECT_EQ(readingsOf(*meter), testing::kNothingMeasured);
    meter.resizeBuffers(1);
    meter.play(997.0, {1.0}, 19200, 512);
    EXPECT_NEAR(meter->getMomentary(), -3.01, 0.02);

    // Back to a second channel: both count again.
    meter->setChannelsAndArrangement(2, 2, 0, kStereo);
    meter.resizeBuffers(2);
    EXPECT_EQ(readingsOf(*meter), testing::kNothingMeasured);
    meter.play(997.0, meter.everyChannel(1.0), 19200, 512);
    EXPECT_NEAR(meter->getMomentary(), 0.0, 0.02);
}

} // namespace
} // namespace DSP
