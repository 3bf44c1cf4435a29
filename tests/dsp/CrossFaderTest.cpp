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
        : a(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(n), av)), b(a.size(), a[0]),
          out(a.size(), a[0]) {
        for (size_t c = 0; c < a.size(); ++c) {
            std::fill(b[c].begin(), b[c].end(), bv);
            std::fill(out[c].begin(), out[c].end(), kUntouched);
            pa.push_back(a[c].data());
            pb.push_back(b[c].data());
            pout.push_back(out[c].data());
        }
    }
    void through(CrossFader<float>& fader) {
        fader.crossfade(pa.data(), pb.data(), pout.data(), static_cast<int32_t>(a[0].size()));
    }
    bool untouched() const {
        return out == std::vector<std::vector<float>>(out.size(), std::vector<float>(out[0].size(), kUntouched));
    }
};

class CrossFade : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(fader.initialize(), 0); }

    // Runs blocks with a = 1 and b = 0 so the output is the first signal's
    // weight; collects it until the fade stops (or maxBlocks).
    std::vector<float> weights(int32_t block, int maxBlocks = 100) {
        std::vector<float> w;
        for (int k = 0; k < maxBlocks && fader.isFading(); ++k) {
            Signals s(fader.channelCount(), block, 1.0f, 0.0f);
            s.through(fader);
            w.insert(w.end(), s.out[0].begin(), s.out[0].end());
        }
        return w;
    }

    CrossFader<float> fader{kRate, kBlock, 100.0f};
};

// Falling from 1 on a power curve, steeper than linear at first:
// e = log(0.292 / 0.9999) / log(0.5), about 1.776. Nothing is written
// before it starts or after it has stopped by itself.
TEST_F(CrossFade, AHundredMillisecondFadeAt48kHzRuns4800SamplesThroughMinusThreeDecibelsHalfway) {
    EXPECT_EQ(fader.fadeLength(), kFade);
    EXPECT_EQ(CrossFader<float>(44100.0, kBlock, 100.0f).fadeLength(), 4410);
    Signals before(1, kBlock, 0.3f, -0.6f);
    before.through(fader);
    EXPECT_TRUE(before.untouched());

    fader.startFade();
    const std::vector<float> w = weights(kBlock);
    // 4800 samples need ten blocks of 512; past the fade the second signal alone.
    ASSERT_EQ(w.size(), 10u * kBlock);
    EXPECT_FALSE(fader.isFading());
    EXPECT_EQ(fader.position(), 0);
    EXPECT_EQ(w[0], 1.0f);
    EXPECT_NEAR(w[kFade / 2], 0.708f, 0.001f);
    EXPECT_NEAR(w[kFade / 2], std::pow(10.0, -0.15), 1e-4);
    for (size_t i = 1; i < kFade; ++i) ASSERT_LT(w[i], w[i - 1]) << "at " << i;
    EXPECT_GT(w[kFade - 1], 0.0001f);
    EXPECT_LT(w[kFade - 1], 0.001f);
    const double e = std::log((std::pow(10.0, -0.15) - 1.0) / (0.0001 - 1.0)) / std::log(0.5);
    for (int32_t i : {480, 1200, 3600, 4500})
        EXPECT_NEAR(w[static_cast<size_t>(i)], 1.0 - 0.9999 * std::pow(i / double(kFade), e), 1e-4) << "at " << i;
    for (size_t i = kFade; i < w.size(); ++i) ASSERT_EQ(w[i], 0.0f) << "at " << i;

    Signals after(1, kBlock, 1.0f, 0.0f);
    after.through(fader);
    EXPECT_TRUE(after.untouched());
}

TEST_F(CrossFade, EveryChannelMixesItsFirstSignalIntoItsSecondWithTheSameWeights) {
    fader.setChannels(3, 3, 0);
    fader.startFade();
    const float first[] = {0.8f, 2.0f, 1.0f}, second[] = {-0.4f, 0.0f, 1.0f};
    std::vector<std::vector<float>> out(3);
    while (fader.isFading()) {
        Signals s(3, kBlock, 0.0f, 0.0f);
        for (size_t c = 0; c < 3; ++c) {
            s.a[c].assign(kBlock, first[c]);
            s.b[c].assign(kBlock, second[c]);
        }
        s.through(fader);
        for (size_t c = 0; c < 3; ++c) out[c].insert(out[c].end(), s.out[c].begin(), s.out[c].end());
    }
    ASSERT_EQ(out[0].size(), 10u * kBlock);
    for (size_t c = 0; c < 3; ++c) {
        for (int32_t i = 0; i < kFade; ++i) {
            const double w = fader.weightAt(i);
            ASSERT_NEAR(out[c][static_cast<size_t>(i)], first[c] * w + second[c] * (1.0 - w), 1e-6)
                << "channel " << c << " at " << i;
        }
        for (size_t i = kFade; i < out[c].size(); ++i) ASSERT_EQ(out[c][i], second[c]) << "channel " << c;
    }
    EXPECT_NEAR(out[0][kFade / 2], 0.8 * 0.708 - 0.4 * 0.292, 1e-3);
}

TEST_F(CrossFade, SecondStartDuringAFadeDoesNotRestartIt) {
    fader.startFade();
    weights(kBlock, 3);
    ASSERT_EQ(fader.position(), 3 * kBlock);
    fader.startFade();
    EXPECT_EQ(fader.position(), 3 * kBlock);
    std::vector<float> rest = weights(kBlock);
    EXPECT_EQ(rest.size(), 7u * kBlock); // ends when the first would have
    EXPECT_EQ(rest[0], fader.weightAt(3 * kBlock));
}

TEST_F(CrossFade, BlocksOfAnySizeFollowTheSameCurve) {
    fader.startFade();
    const std::vector<float> reference = weights(kBlock);
    fader.startFade();
    std::vector<float> odd;
    const int32_t sizes[] = {1, 7, 500, 64, 3, 512};
    for (int k = 0; fader.isFading(); ++k) {
        const std::vector<float> w = weights(sizes[k % 6], 1);
        odd.insert(odd.end(), w.begin(), w.end());
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
    EXPECT_EQ(fader.position(), 0);
    for (int c = 0; c < 2; ++c)
        for (int32_t i = 0; i < kBlock; ++i) ASSERT_EQ(fader.channelBuffers()[c][i], 0.0f) << "channel " << c;
}

// A block size the table must cover, or a rate that changes the length, stops
// a running fade; the curve stays the same in time.
TEST_F(CrossFade, ANewBlockSizeOrRateStopsTheFadeAndKeepsTheCurve) {
    fader.startFade();
    weights(kBlock, 2);
    fader.setMaxSamplesPerCall(kBlock); // same size: nothing happens
    EXPECT_TRUE(fader.isFading());
    EXPECT_EQ(fader.position(), 2 * kBlock);

    fader.setMaxSamplesPerCall(2048);
    EXPECT_FALSE(fader.isFading());
    EXPECT_EQ(fader.position(), 0);
    // The table now covers an overrunning block of 2048.
    for (int32_t i = kFade; i < kFade + 2048; ++i) ASSERT_EQ(fader.weightAt(i), 0.0f) << "at " << i;
    fader.startFade();
    const std::vector<float> w = weights(2048);
    EXPECT_EQ(w.size(), 3u * 2048);
    EXPECT_NEAR(w[kFade / 2], 0.708f, 0.001f);
    EXPECT_EQ(w[kFade], 0.0f);

    fader.startFade();
    weights(2048, 1);
    fader.setFadeRate(96000.0);
    EXPECT_FALSE(fader.isFading());
    EXPECT_EQ(fader.position(), 0);
    EXPECT_EQ(fader.fadeLength(), 9600);
    EXPECT_NEAR(fader.weightAt(4800), 0.708f, 0.001f);
    fader.startFade();
    EXPECT_EQ(weights(2048).size(), 5u * 2048);
}

} // namespace
} // namespace DSP
