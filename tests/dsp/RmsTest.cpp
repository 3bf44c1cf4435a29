// The RMS meter: averaging speed and level, held maxima, and channels that
// average only their own input. Silence, resets and channel changes are
// covered through the meter.

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

// And silence decays with the same time constant.
TEST(RmsAveraging, FullScaleSineSettlesAtHalfWithTimeConstantPointNineSeconds) {
    Rms rms(kRate, kBlock, 900.0);
    int64_t index = 0;
    auto measureSine = [&](int32_t samples) {
        Block block(1, kBlock);
        for (int32_t done = 0; done < samples; done += kBlock) {
            for (float& x : block.data[0])
                x = static_cast<float>(std::sin(2.0 * std::numbers::pi * 1000.0 * double(index++) / kRate));
            rms.measure(block.in(), kBlock);
        }
    };
    measureSine(43200); // one time constant
    EXPECT_NEAR(rms.getChannelValue(0), 0.5 * (1.0 - std::exp(-1.0)), 2e-3);
    measureSine(2 * 43200);
    EXPECT_NEAR(rms.getChannelValue(0), 0.5 * (1.0 - std::exp(-3.0)), 2e-3);
    measureSine(480000 - 3 * 43200);
    EXPECT_NEAR(rms.getChannelValue(0), 0.5, 1e-3);
    // The state rises from 0, so the held value is the largest state reached.
    EXPECT_GE(rms.getHeld(0), rms.getChannelValue(0));
    EXPECT_NEAR(rms.getHeld(0), 0.5, 1e-3);
    EXPECT_EQ(rms.getMax(), rms.getHeld(0));

    const float settled = rms.getChannelValue(0);
    Block zeros(1, kBlock, 0.0f);
    for (int i = 0; i < 90; ++i) rms.measure(zeros.in(), kBlock); // 0.9 s
    EXPECT_NEAR(rms.getChannelValue(0), settled * std::exp(-1.0), 1e-3);
}

TEST(RmsHeld, HeldValuesFollowTheLargestStateUntilCleared) {
    Rms rms(kRate, kBlock, 900.0);
    Block dc(1, kBlock, 1.0f), zeros(1, kBlock, 0.0f);
    for (int i = 0; i < 20; ++i) rms.measure(dc.in(), kBlock);
    const float top = rms.getChannelValue(0);
    rms.measure(zeros.in(), kBlock);
    const float decayed = rms.getChannelValue(0);
    EXPECT_LT(decayed, top);
    EXPECT_EQ(rms.getHeld(0), top); // a rising state: the last one before the fall is the largest
    EXPECT_EQ(rms.getMax(), top);

    rms.clearHeld();
    EXPECT_EQ(rms.getHeld(0), 0.0f);
    EXPECT_EQ(rms.getMax(), 0.0f);
    EXPECT_EQ(rms.getChannelValue(0), decayed); // the average itself goes on
    // From 0 again: the first decaying sample after the clear is now the largest.
    rms.measure(zeros.in(), kBlock);
    EXPECT_FLOAT_EQ(rms.getHeld(0), rms.coefficient() * decayed);
    EXPECT_FLOAT_EQ(rms.getMax(), rms.coefficient() * decayed);

    // An average far below 1e-9 is taken as silence, but still held.
    Rms quiet(kRate, kBlock, 900.0);
    Block tiny(1, kBlock, 1e-3f);
    quiet.measure(tiny.in(), 16);
    EXPECT_EQ(quiet.getChannelValue(0), 0.0f);
    EXPECT_GT(quiet.getHeld(0), 0.0f);
}

// Channels are processed in groups; each must match a mono meter fed the
// same samples, and the overall maximum is the largest channel's.
TEST(RmsChannels, EveryChannelAveragesOnlyItsOwnInput) {
    for (int32_t channels : {2, 3, 4, 5, 7, 9}) {
        SCOPED_TRACE(::testing::Message() << channels << " channels");
        Rms multi(kRate, kBlock, 900.0);
        ASSERT_EQ(multi.setChannels(channels, channels, 0), 0);
        std::vector<std::unique_ptr<Rms>> mono;
        for (int32_t c = 0; c < channels; ++c) mono.push_back(std::make_unique<Rms>(kRate, kBlock, 900.0));

        Block block(channels, 100);
        for (int round = 0; round < 5; ++round) {
            for (int32_t c = 0; c < channels; ++c) {
                for (int32_t i = 0; i < 100; ++i)
                    block.data[c][i] = 0.1f * float(c + 1) * std::sin(0.01f * float((c + 1) * (i + round)));
                mono[c]->measure(&block.ptrs[c], 100);
            }
            multi.measure(block.in(), 100);
        }
        float max = 0.0f;
        for (int32_t c = 0; c < channels; ++c) {
            EXPECT_EQ(multi.getChannelValue(c), mono[c]->getChannelValue(0)) << "channel " << c;
            EXPECT_EQ(multi.getHeld(c), mono[c]->getHeld(0)) << "channel " << c;
            max = std::max(max, mono[c]->getHeld(0));
        }
        EXPECT_EQ(multi.getMax(), max);
    }
}

} // namespace
} // namespace DSP
