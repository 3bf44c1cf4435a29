// The RMS meter: averaging speed and level, held maxima, the silence short
// cut and the channel set-up.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "dsp/Rms.h"

namespace DSP {
namespace {

constexpr double kRate = 48000.0;
constexpr int32_t kBlock = 480;

// Per-channel blocks behind the pointer array measure takes.
struct Block {
    std::vector<std::vector<float>> data;
    std::vector<float*> ptrs;

    Block(int32_t channels, int32_t n, float value = 0.0f)
        : data(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(n), value)) {
        for (auto& d : data) ptrs.push_back(d.data());
    }
    float** in() { return ptrs.data(); }
};

// A full-scale 1 kHz sine, continuous across blocks.
class Sine {
public:
    explicit Sine(float amplitude = 1.0f) : amplitude_(amplitude) {}
    void fill(float* out, int32_t n) {
        for (int32_t i = 0; i < n; ++i, ++index_)
            out[i] = amplitude_ * static_cast<float>(std::sin(2.0 * std::numbers::pi * 1000.0 * index_ / kRate));
    }

private:
    float amplitude_;
    int64_t index_ = 0;
};

void measureSine(Rms& rms, Sine& sine, int32_t samples) {
    Block block(1, kBlock);
    for (int32_t done = 0; done < samples; done += kBlock) {
        sine.fill(block.data[0].data(), kBlock);
        rms.measure(block.in(), kBlock);
    }
}

TEST(RmsAveraging, CoefficientGivesTheTimeConstant) {
    Rms rms(kRate, kBlock, 900.0);
    EXPECT_NEAR(rms.coefficient(), 0.99997685, 1e-7);
    EXPECT_NEAR(rms.coefficient(), std::exp(-1000.0 / (900.0 * kRate)), 1e-7);
    Rms fast(44100.0, kBlock, 10.0);
    EXPECT_NEAR(fast.coefficient(), std::exp(-1.0 / 441.0), 1e-7);
}

TEST(RmsAveraging, FullScaleSineSettlesAtHalfWithTimeConstantPointNineSeconds) {
    Rms rms(kRate, kBlock, 900.0);
    Sine sine;
    measureSine(rms, sine, 43200); // one time constant
    EXPECT_NEAR(rms.getChannelValue(0), 0.5 * (1.0 - std::exp(-1.0)), 2e-3);
    measureSine(rms, sine, 2 * 43200);
    EXPECT_NEAR(rms.getChannelValue(0), 0.5 * (1.0 - std::exp(-3.0)), 2e-3);
    measureSine(rms, sine, 480000 - 3 * 43200);
    EXPECT_NEAR(rms.getChannelValue(0), 0.5, 1e-3);
    EXPECT_NEAR(std::sqrt(rms.getChannelValue(0)), std::sqrt(0.5), 1e-3);
    // The state rises from 0, so the held value is the largest state reached.
    EXPECT_GE(rms.getHeld(0), rms.getChannelValue(0));
    EXPECT_NEAR(rms.getHeld(0), 0.5, 1e-3);
    EXPECT_EQ(rms.getMax(), rms.getHeld(0));
}

TEST(RmsAveraging, SilenceDecaysWithTheSameTimeConstant) {
    Rms rms(kRate, kBlock, 900.0);
    Sine sine;
    measureSine(rms, sine, 480000); // 10 s: settled
    const float settled = rms.getChannelValue(0);
    ASSERT_NEAR(settled, 0.5f, 1e-3f);
    Block zeros(1, kBlock, 0.0f);
    for (int i = 0; i < 90; ++i) rms.measure(zeros.in(), kBlock); // 0.9 s
    EXPECT_NEAR(rms.getChannelValue(0), settled * std::exp(-1.0), 1e-3);
}

TEST(RmsAveraging, RectifiedAverageSharesTheStateAndWritesIt) {
    Rms rms(kRate, kBlock, 900.0);
    Block in(1, kBlock, -0.5f), out(1, kBlock, 7.0f);
    float previous = 0.0f;
    for (int b = 0; b < 1000; ++b) {
        rms.process(in.in(), out.in(), kBlock);
        for (float y : out.data[0]) {
            ASSERT_GE(y, previous);
            previous = y;
        }
        ASSERT_EQ(rms.getChannelValue(0), out.data[0].back());
    }
    EXPECT_NEAR(rms.getChannelValue(0), 0.5f, 1e-3f); // |x|, not x
    // measure carries on from the same state: with x^2 = 0.25 it starts falling.
    Block square(1, 1, 0.5f);
    rms.measure(square.in(), 1);
    EXPECT_LT(rms.getChannelValue(0), previous);
    EXPECT_GT(rms.getChannelValue(0), previous - 1e-4f);
}

TEST(RmsHeld, HeldValuesFollowTheLargestStateUntilCleared) {
    Rms rms(kRate, kBlock, 900.0);
    Block dc(1, kBlock, 1.0f), zeros(1, kBlock, 0.0f);
    for (int i = 0; i < 20; ++i) rms.measure(dc.in(), kBlock);
    const float top = rms.getChannelValue(0);
    EXPECT_EQ(rms.getHeld(0), top); // a rising state: the last one is the largest
    EXPECT_EQ(rms.getMax(), top);

    rms.measure(zeros.in(), kBlock);
    const float decayed = rms.getChannelValue(0);
    EXPECT_LT(decayed, top);
    EXPECT_EQ(rms.getHeld(0), top);
    EXPECT_EQ(rms.getMax(), top);

    rms.clearHeld();
    EXPECT_EQ(rms.getHeld(0), 0.0f);
    EXPECT_EQ(rms.getMax(), 0.0f);
    EXPECT_EQ(rms.getChannelValue(0), decayed); // the average itself goes on

    // From 0 again: the first decaying sample after the clear is now the largest.
    rms.measure(zeros.in(), kBlock);
    const float expectedHeld = rms.coefficient() * decayed;
    EXPECT_FLOAT_EQ(rms.getHeld(0), expectedHeld);
    EXPECT_FLOAT_EQ(rms.getMax(), expectedHeld);
    EXPECT_LT(rms.getHeld(0), top);
}

TEST(RmsHeld, OverallMaxIsTheLargestChannel) {
    Rms rms(kRate, kBlock, 900.0);
    ASSERT_EQ(rms.setChannels(3, 3, 0), 0);
    Block block(3, kBlock);
    std::fill(block.data[0].begin(), block.data[0].end(), 0.2f);
    std::fill(block.data[1].begin(), block.data[1].end(), 0.9f);
    std::fill(block.data[2].begin(), block.data[2].end(), 0.5f);
    for (int i = 0; i < 50; ++i) rms.measure(block.in(), kBlock);
    EXPECT_LT(rms.getHeld(0), rms.getHeld(2));
    EXPECT_LT(rms.getHeld(2), rms.getHeld(1));
    EXPECT_EQ(rms.getMax(), rms.getHeld(1));
    // A quiet loud channel and a loud quiet one: the max stays with the earlier peak.
    std::fill(block.data[1].begin(), block.data[1].end(), 0.0f);
    std::fill(block.data[0].begin(), block.data[0].end(), 0.3f);
    const float before = rms.getMax();
    rms.measure(block.in(), kBlock);
    EXPECT_EQ(rms.getMax(), before);
}

TEST(RmsHeld, VeryQuietAverageIsTakenAsSilenceButStillHeld) {
    Rms rms(kRate, kBlock, 900.0);
    Block tiny(1, kBlock, 1e-3f); // x^2 = 1e-6, the average stays far below 1e-9 for a few blocks
    rms.measure(tiny.in(), 16);
    EXPECT_EQ(rms.getChannelValue(0), 0.0f);
    EXPECT_GT(rms.getHeld(0), 0.0f);
}

TEST(RmsSilence, FirstSilentBlockClearsTheStatesAndKeepsHeldValues) {
    Rms rms(kRate, kBlock, 900.0);
    ASSERT_EQ(rms.setChannels(2, 2, 0), 0);
    Block loud(2, kBlock, 0.7f);
    for (int i = 0; i < 10; ++i) rms.measure(loud.in(), kBlock);
    ASSERT_GT(rms.getChannelValue(0), 0.0f);
    const float held = rms.getHeld(1), max = rms.getMax();

    rms.processSilence(kBlock);
    EXPECT_EQ(rms.getChannelValue(0), 0.0f);
    EXPECT_EQ(rms.getChannelValue(1), 0.0f);
    EXPECT_EQ(rms.getHeld(1), held);
    EXPECT_EQ(rms.getMax(), max);

    rms.processSilence(kBlock);
    EXPECT_EQ(rms.getChannelValue(0), 0.0f);
    EXPECT_EQ(rms.getChannelValue(1), 0.0f);
    EXPECT_EQ(rms.getMax(), max);

    // Sound again starts from a truly empty average, and the next silence clears again.
    rms.measure(loud.in(), 1);
    const float first = rms.getChannelValue(0);
    EXPECT_FLOAT_EQ(first, (1.0f - rms.coefficient()) * 0.49f);
    rms.processSilence(kBlock);
    EXPECT_EQ(rms.getChannelValue(0), 0.0f);
}

TEST(RmsChannels, SetUpAndReset) {
    Rms rms(kRate, kBlock, 900.0);
    EXPECT_EQ(rms.channels(), 1);
    EXPECT_EQ(rms.setChannels(2, 1, 0), 1);
    EXPECT_EQ(rms.channels(), 1);
    EXPECT_EQ(rms.setChannels(1, 1, 0), 0);

    Block mono(1, kBlock, 0.5f);
    rms.measure(mono.in(), kBlock);
    ASSERT_GT(rms.getChannelValue(0), 0.0f);
    ASSERT_EQ(rms.setChannels(2, 2, 0), 0);
    EXPECT_EQ(rms.channels(), 2);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(rms.getChannelValue(c), 0.0f);
        EXPECT_EQ(rms.getHeld(c), 0.0f);
    }
    EXPECT_EQ(rms.getMax(), 0.0f);

    Block stereo(2, kBlock, 0.5f);
    rms.measure(stereo.in(), kBlock);
    rms.reset();
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(rms.getChannelValue(c), 0.0f);
        EXPECT_EQ(rms.getHeld(c), 0.0f);
    }
    EXPECT_EQ(rms.getMax(), 0.0f);
}

TEST(RmsChannels, EveryChannelAveragesOnlyItsOwnInput) {
    // Channels are processed in groups; each must match a mono meter fed the same samples.
    for (int32_t channels : {2, 3, 4, 5, 7, 9}) {
        SCOPED_TRACE(::testing::Message() << channels << " channels");
        Rms multi(kRate, kBlock, 900.0);
        ASSERT_EQ(multi.setChannels(channels, channels, 0), 0);
        std::vector<std::unique_ptr<Rms>> owned;
        for (int32_t c = 0; c < channels; ++c) owned.push_back(std::make_unique<Rms>(kRate, kBlock, 900.0));

        Block block(channels, 100);
        for (int round = 0; round < 5; ++round) {
            for (int32_t c = 0; c < channels; ++c)
                for (int32_t i = 0; i < 100; ++i)
                    block.data[static_cast<size_t>(c)][static_cast<size_t>(i)] =
                        0.1f * static_cast<float>(c + 1) * std::sin(0.01f * static_cast<float>((c + 1) * (i + round)));
            multi.measure(block.in(), 100);
            for (int32_t c = 0; c < channels; ++c) {
                float* in[1] = {block.data[static_cast<size_t>(c)].data()};
                owned[static_cast<size_t>(c)]->measure(in, 100);
            }
        }
        float max = 0.0f;
        for (int32_t c = 0; c < channels; ++c) {
            EXPECT_EQ(multi.getChannelValue(c), owned[static_cast<size_t>(c)]->getChannelValue(0)) << "channel " << c;
            EXPECT_EQ(multi.getHeld(c), owned[static_cast<size_t>(c)]->getHeld(0)) << "channel " << c;
            max = std::max(max, owned[static_cast<size_t>(c)]->getHeld(0));
        }
        EXPECT_EQ(multi.getMax(), max);
    }
}

} // namespace
} // namespace DSP
