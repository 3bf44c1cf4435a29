// The bypass cross-fade: its length and curve, what it writes while fading
// and that it leaves the output alone before and after.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/CrossFader.h"

namespace DSP {
namespace {

constexpr double kRate = 48000.0;
constexpr int32_t kBlock = 512;
constexpr int32_t kFade = 4800; // 100 ms at 48 kHz
constexpr float kUntouched = 42.0f;

// Per-channel blocks: a fades out, b fades in, out starts at a marker value.
struct Signals {
    std::vector<std::vector<float>> a, b, out;
    std::vector<float*> pa, pb, pout;

    Signals(int32_t channels, int32_t n, float av, float bv)
        : a(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(n), av)),
          b(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(n), bv)),
          out(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(n), kUntouched)) {
        for (int32_t c = 0; c < channels; ++c) {
            pa.push_back(a[static_cast<size_t>(c)].data());
            pb.push_back(b[static_cast<size_t>(c)].data());
            pout.push_back(out[static_cast<size_t>(c)].data());
        }
    }
    void mark() {
        for (auto& ch : out) std::fill(ch.begin(), ch.end(), kUntouched);
    }
    bool untouched() const {
        for (const auto& ch : out)
            for (float y : ch)
                if (y != kUntouched) return false;
        return true;
    }
};

class CrossFade : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(fader.initialize(), 0); }

    // Runs blocks with a = 1 and b = 0 so the output is the first signal's
    // weight; collects it until the fade stops (or maxBlocks).
    std::vector<float> weights(int32_t block, int maxBlocks = 100) {
        std::vector<float> w;
        Signals s(fader.channelCount(), block, 1.0f, 0.0f);
        for (int k = 0; k < maxBlocks && fader.isFading(); ++k) {
            s.mark();
            fader.crossfade(s.pa.data(), s.pb.data(), s.pout.data(), block);
            w.insert(w.end(), s.out[0].begin(), s.out[0].end());
        }
        return w;
    }

    CrossFader<float> fader{kRate, kBlock, 100.0f};
};

TEST_F(CrossFade, HundredMillisecondsAtFortyEightKilohertzIsFortyEightHundredSamples) {
    EXPECT_EQ(fader.fadeLength(), kFade);
    CrossFader<float> other(44100.0, kBlock, 100.0f);
    EXPECT_EQ(other.fadeLength(), 4410);
    CrossFader<float> longer(96000.0, kBlock, 250.0f);
    EXPECT_EQ(longer.fadeLength(), 24000);
}

TEST_F(CrossFade, CurveFallsFromOneThroughMinusThreeDecibelsHalfway) {
    EXPECT_EQ(fader.weightAt(0), 1.0f);
    EXPECT_NEAR(fader.weightAt(kFade / 2), 0.708f, 0.001f);
    EXPECT_NEAR(fader.weightAt(kFade / 2), std::pow(10.0, -0.15), 1e-4);
    for (int32_t i = 1; i < kFade; ++i) ASSERT_LT(fader.weightAt(i), fader.weightAt(i - 1)) << "at " << i;
    // The last weight is small: the fade ends essentially on the second signal.
    EXPECT_GT(fader.weightAt(kFade - 1), 0.0001f);
    EXPECT_LT(fader.weightAt(kFade - 1), 0.001f);
    // A power curve, steeper than linear at first: e = log(0.292 / 0.9999) / log(0.5) ~ 1.776.
    const double e = std::log((std::pow(10.0, -0.15) - 1.0) / (0.0001 - 1.0)) / std::log(0.5);
    for (int32_t i : {480, 1200, 3600, 4500})
        EXPECT_NEAR(fader.weightAt(i), 1.0 - 0.9999 * std::pow(i / double(kFade), e), 1e-4) << "at " << i;
    // Past the fade the table is zero, so a block that overruns the end reads the second signal.
    for (int32_t i = kFade; i < kFade + kBlock; ++i) ASSERT_EQ(fader.weightAt(i), 0.0f) << "at " << i;
}

TEST_F(CrossFade, NothingIsWrittenWhileNotFading) {
    Signals s(1, kBlock, 0.3f, -0.6f);
    for (int k = 0; k < 3; ++k) {
        fader.crossfade(s.pa.data(), s.pb.data(), s.pout.data(), kBlock);
        EXPECT_TRUE(s.untouched());
    }
    EXPECT_FALSE(fader.isFading());
    EXPECT_EQ(fader.position(), 0);
}

TEST_F(CrossFade, WeightsRunTheCurveOnceAndThenStop) {
    fader.startFade();
    ASSERT_TRUE(fader.isFading());
    const std::vector<float> w = weights(kBlock);
    // 4800 samples need ten blocks of 512; the fade then stops by itself.
    ASSERT_EQ(w.size(), 10u * kBlock);
    EXPECT_FALSE(fader.isFading());
    EXPECT_EQ(fader.position(), 0);
    EXPECT_EQ(w[0], 1.0f);
    EXPECT_NEAR(w[kFade / 2], 0.708f, 0.001f);
    for (int32_t i = 1; i < kFade; ++i) ASSERT_LT(w[static_cast<size_t>(i)], w[static_cast<size_t>(i - 1)]) << "at " << i;
    EXPECT_LT(w[kFade - 1], 0.001f);
    for (size_t i = kFade; i < w.size(); ++i) ASSERT_EQ(w[i], 0.0f) << "at " << i; // the second signal alone

    Signals later(1, kBlock, 1.0f, 0.0f);
    fader.crossfade(later.pa.data(), later.pb.data(), later.pout.data(), kBlock);
    EXPECT_TRUE(later.untouched());
}

TEST_F(CrossFade, OutputMixesFirstIntoSecondSignal) {
    fader.startFade();
    Signals s(1, kBlock, 0.8f, -0.4f);
    std::vector<float> out;
    while (fader.isFading()) {
        s.mark();
        fader.crossfade(s.pa.data(), s.pb.data(), s.pout.data(), kBlock);
        out.insert(out.end(), s.out[0].begin(), s.out[0].end());
    }
    ASSERT_EQ(out.size(), 10u * kBlock);
    EXPECT_FLOAT_EQ(out[0], 0.8f);
    // Halfway: 0.708 of the first, 0.292 of the second.
    const double w = fader.weightAt(kFade / 2);
    EXPECT_NEAR(out[kFade / 2], 0.8 * w - 0.4 * (1.0 - w), 1e-6);
    EXPECT_NEAR(out[kFade / 2], 0.8 * 0.708 - 0.4 * 0.292, 1e-3);
    // The last faded sample carries only a trace of the first signal.
    EXPECT_NEAR(out[kFade - 1], -0.4f, 1.2f * 0.001f);
    for (size_t i = kFade; i < out.size(); ++i) ASSERT_EQ(out[i], -0.4f) << "at " << i;
}

TEST_F(CrossFade, EveryChannelGetsTheSameWeightsAndPositionAdvancesPerBlock) {
    fader.setChannels(3, 3, 0);
    EXPECT_EQ(fader.channelCount(), 3);
    fader.startFade();
    Signals s(3, 100, 1.0f, 0.0f);
    s.a[1].assign(100, 2.0f);
    s.b[2].assign(100, 1.0f);
    fader.crossfade(s.pa.data(), s.pb.data(), s.pout.data(), 100);
    EXPECT_EQ(fader.position(), 100);
    for (int32_t i = 0; i < 100; ++i) {
        const float w = fader.weightAt(i);
        ASSERT_EQ(s.out[0][static_cast<size_t>(i)], w) << "at " << i;
        ASSERT_EQ(s.out[1][static_cast<size_t>(i)], 2.0f * w) << "at " << i;
        ASSERT_FLOAT_EQ(s.out[2][static_cast<size_t>(i)], w + (1.0f - w)) << "at " << i;
    }
}

TEST_F(CrossFade, SecondStartDuringAFadeDoesNotRestartIt) {
    fader.startFade();
    std::vector<float> first = weights(kBlock, 3);
    ASSERT_EQ(fader.position(), 3 * kBlock);
    fader.startFade();
    EXPECT_EQ(fader.position(), 3 * kBlock);
    std::vector<float> rest = weights(kBlock);
    EXPECT_EQ(rest.size(), 7u * kBlock); // ends when the first would have
    EXPECT_EQ(rest[0], fader.weightAt(3 * kBlock));
    EXPECT_LT(rest[0], 0.9f);
}

TEST_F(CrossFade, BlocksOfAnySizeFollowTheSameCurve) {
    fader.startFade();
    const std::vector<float> reference = weights(kBlock);
    ASSERT_FALSE(fader.isFading());
    fader.startFade();
    std::vector<float> odd;
    const int32_t sizes[] = {1, 7, 500, 64, 3, 512};
    for (int k = 0; fader.isFading(); ++k) {
        const int32_t n = sizes[k % 6];
        Signals s(1, n, 1.0f, 0.0f);
        fader.crossfade(s.pa.data(), s.pb.data(), s.pout.data(), n);
        odd.insert(odd.end(), s.out[0].begin(), s.out[0].end());
    }
    ASSERT_GE(odd.size(), static_cast<size_t>(kFade));
    for (int32_t i = 0; i < kFade; ++i)
        ASSERT_EQ(odd[static_cast<size_t>(i)], reference[static_cast<size_t>(i)]) << "at " << i;
}

TEST_F(CrossFade, DeactivationRewindsAndClearsTheBuffers) {
    fader.setChannels(2, 2, 0);
    for (int c = 0; c < 2; ++c) std::fill(fader.channelBuffers()[c], fader.channelBuffers()[c] + kBlock, 0.5f);
    fader.startFade();
    weights(kBlock, 2);
    ASSERT_EQ(fader.position(), 2 * kBlock);
    fader.setActive(false);
    EXPECT_FALSE(fader.isActive());
    EXPECT_EQ(fader.position(), 0);
    for (int c = 0; c < 2; ++c)
        for (int32_t i = 0; i < kBlock; ++i) ASSERT_EQ(fader.channelBuffers()[c][i], 0.0f) << "channel " << c;
}

TEST_F(CrossFade, NewBlockSizeStopsTheFadeAndKeepsTheCurve) {
    fader.startFade();
    weights(kBlock, 2);
    ASSERT_TRUE(fader.isFading());
    fader.setMaxSamplesPerCall(kBlock); // same size: nothing happens
    EXPECT_TRUE(fader.isFading());
    EXPECT_EQ(fader.position(), 2 * kBlock);

    fader.setMaxSamplesPerCall(2048);
    EXPECT_FALSE(fader.isFading());
    EXPECT_EQ(fader.position(), 0);
    EXPECT_NEAR(fader.weightAt(kFade / 2), 0.708f, 0.001f);
    // The table now covers an overrunning block of 2048.
    for (int32_t i = kFade; i < kFade + 2048; ++i) ASSERT_EQ(fader.weightAt(i), 0.0f) << "at " << i;

    fader.startFade();
    const std::vector<float> w = weights(2048);
    EXPECT_EQ(w.size(), 3u * 2048);
    EXPECT_EQ(w[0], 1.0f);
    EXPECT_EQ(w[kFade], 0.0f);
    EXPECT_FALSE(fader.isFading());
}

TEST_F(CrossFade, NewRateRecomputesTheLengthAndStopsTheFade) {
    fader.startFade();
    weights(kBlock, 1);
    fader.setFadeRate(96000.0);
    EXPECT_FALSE(fader.isFading());
    EXPECT_EQ(fader.position(), 0);
    EXPECT_EQ(fader.fadeLength(), 9600);
    EXPECT_NEAR(fader.weightAt(4800), 0.708f, 0.001f);
    fader.startFade();
    EXPECT_EQ(weights(kBlock).size(), 19u * kBlock);
}

} // namespace
} // namespace DSP
