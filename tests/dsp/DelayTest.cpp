// The power-of-two ring-buffer delay: exact delay in samples across block
// boundaries, the clamps, the sizing, pending-sound detection, and the
// multichannel dry path built from it.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "dsp/Delay.h"
#include "dsp/DelayMultiCh.h"

namespace DSP {
namespace {

constexpr double kRate = 48000.0;
constexpr uint32_t kBlock = 512;
// Irregular block sizes so a delay has to carry over every kind of boundary.
const std::vector<int32_t> kBlocks = {7, 1, 512, 64, 3, 100, 2, 511};

std::vector<float> ramp(size_t n) {
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<float>(i + 1); // exact in float, never 0
    return v;
}

// Runs in through the block call in irregular blocks, in place or not.
std::vector<float> runBlocks(Delay& delay, const std::vector<float>& in, bool inPlace = false) {
    std::vector<float> out(in.size(), -1.0f);
    size_t start = 0;
    for (size_t b = 0; start < in.size(); ++b) {
        const size_t n = std::min<size_t>(static_cast<size_t>(kBlocks[b % kBlocks.size()]), in.size() - start);
        if (inPlace) {
            std::copy_n(in.data() + start, n, out.data() + start);
            delay.processBlock(out.data() + start, out.data() + start, static_cast<int32_t>(n));
        } else {
            delay.processBlock(in.data() + start, out.data() + start, static_cast<int32_t>(n));
        }
        start += n;
    }
    return out;
}

::testing::AssertionResult delayedBy(const std::vector<float>& in, const std::vector<float>& out, int32_t n) {
    for (size_t i = 0; i < in.size(); ++i) {
        const float expected = static_cast<int64_t>(i) >= n ? in[i - static_cast<size_t>(n)] : 0.0f;
        if (out[i] != expected)
            return ::testing::AssertionFailure() << "output " << i << " is " << out[i] << ", expected " << expected
                                                 << " for a delay of " << n;
    }
    return ::testing::AssertionSuccess();
}

std::unique_ptr<DelayPow2> makeDelay(double rate = kRate) { return std::make_unique<DelayPow2>(rate, kBlock, 100.0f); }

// ---- Single-channel delays ---------------------------------------------------

// In blocks (out of place and in place) and sample by sample alike.
TEST(DelayLine, DelaysByExactlyTheRequestedSamples) {
    const int32_t capacity = makeDelay()->capacity();
    for (int32_t n : {0, 1, 2, 10, 511, 512, 513, 960, capacity - 1}) {
        for (bool inPlace : {false, true}) {
            SCOPED_TRACE(::testing::Message() << "delay " << n << (inPlace ? ", in place" : ""));
            auto delay = makeDelay();
            delay->setDelaySamples(n);
            ASSERT_EQ(delay->delaySamples(), n);
            delay->reset();
            const std::vector<float> in = ramp(static_cast<size_t>(capacity) + 3000);
            const std::vector<float> out = runBlocks(*delay, in, inPlace);
            EXPECT_TRUE(delayedBy(in, out, n));

            // An impulse just before a block boundary comes out exactly n samples later.
            delay->reset();
            std::vector<float> impulse(static_cast<size_t>(n) + 700, 0.0f);
            impulse[6] = 1.0f;
            EXPECT_TRUE(delayedBy(impulse, runBlocks(*delay, impulse, inPlace), n));

            if (inPlace) continue;
            auto bySample = makeDelay();
            bySample->setDelaySamples(n);
            for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(bySample->processSample(in[i]), out[i]) << i;
        }
    }
}

TEST(DelayLine, PowerOfTwoRingIsNotWrittenWhileThereIsNoDelay) {
    DelayPow2 delay(kRate, kBlock, 100.0f);
    delay.setDelaySamples(0);
    delay.reset();
    const std::vector<float> loud = ramp(1000);
    EXPECT_TRUE(delayedBy(loud, runBlocks(delay, loud), 0));
    EXPECT_TRUE(delay.isSilent(1));
    // With a delay again, what was passed through is not in the ring: the first outputs are silence.
    delay.setDelaySamples(4);
    const std::vector<float> next = ramp(20);
    EXPECT_TRUE(delayedBy(next, runBlocks(delay, next), 4));
}

// 20 ms at first; requests beyond the ring or below zero are held to it.
TEST(DelayLine, RequestsAreClamped) {
    auto delay = makeDelay();
    EXPECT_EQ(delay->delaySamples(), 960);
    const int32_t capacity = delay->capacity();

    delay->setDelaySamples(capacity + 100);
    EXPECT_EQ(delay->delaySamples(), capacity - 1);
    delay->reset();
    std::vector<float> impulse(static_cast<size_t>(capacity) + 50, 0.0f);
    impulse[0] = 1.0f;
    EXPECT_TRUE(delayedBy(impulse, runBlocks(*delay, impulse), capacity - 1));

    delay->setDelaySamples(-5);
    EXPECT_EQ(delay->delaySamples(), 0);

    delay->setDelayMs(50.0f);
    EXPECT_EQ(delay->delaySamples(), 2400);

    // Milliseconds beyond the maximum are cut to it; the ring still bounds the samples.
    delay->setDelayMs(5000.0f);
    EXPECT_NEAR(delay->delayMs(), delay->maxDelayMs(), 0.05f);
    EXPECT_LE(delay->delaySamples(), capacity - 1);
    EXPECT_GE(delay->delaySamples(), capacity - 2);

    // Regression: a negative delay in milliseconds put the read index past the ring.
    delay->setDelayMs(-3.0f);
    EXPECT_EQ(delay->delaySamples(), 0);
    delay->reset();
    const std::vector<float> in = ramp(static_cast<size_t>(capacity) + 50);
    EXPECT_TRUE(delayedBy(in, runBlocks(*delay, in), 0));
}

// The smallest power of two above the samples the maximum needs (2 at least);
// a smaller ring cuts the delay to what it holds.
TEST(DelayLine, PowerOfTwoCapacity) {
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        for (float maxMs : {1.0f, 10.0f, 100.0f, 200.0f, 1000.0f}) {
            SCOPED_TRACE(::testing::Message() << rate << " Hz, " << maxMs << " ms");
            DelayPow2 delay(rate, kBlock, maxMs);
            const int32_t c = delay.capacity();
            const double wanted = 0.001 * maxMs * rate;
            EXPECT_TRUE(c > 0 && (c & (c - 1)) == 0) << c;
            EXPECT_GT(c, wanted - 1e-3);
            EXPECT_LE(c, 2.0 * wanted + 2.0);
            EXPECT_NEAR(delay.maxDelayMs(), c * 1000.0 / rate, 1e-3); // the maximum grows to what the ring holds
        }
    }

    DelayPow2 delay(kRate, kBlock, 100.0f);
    delay.setDelaySamples(1500);
    delay.setCapacity(1000);
    EXPECT_EQ(delay.capacity(), 1024);
    EXPECT_EQ(delay.delaySamples(), 1023);
    const std::vector<float> in = ramp(3000);
    EXPECT_TRUE(delayedBy(in, runBlocks(delay, in), 1023));
    const std::pair<int32_t, int32_t> capacities[] = {{1024, 2048}, {3, 4}, {1, 2}};
    for (auto [asked, got] : capacities) {
        delay.setCapacity(asked);
        EXPECT_EQ(delay.capacity(), got) << "asked " << asked;
    }
    EXPECT_EQ(delay.delaySamples(), 1);
    const std::vector<float> shortIn = ramp(50);
    EXPECT_TRUE(delayedBy(shortIn, runBlocks(delay, shortIn), 1));
}

TEST(DelayLine, SampleRateChangeKeepsTheDelayInMilliseconds) {
    auto delay = makeDelay();
    delay->setDelayMs(10.0f);
    ASSERT_EQ(delay->delaySamples(), 480);
    runBlocks(*delay, ramp(100));
    EXPECT_EQ(delay->setSampleRate(96000.0), 1);
    EXPECT_EQ(delay->delaySamples(), 960);
    EXPECT_GE(delay->capacity(), 9600);
    EXPECT_TRUE(delay->isSilent(1)); // the ring starts empty at the new rate
    const std::vector<float> in = ramp(3000);
    EXPECT_TRUE(delayedBy(in, runBlocks(*delay, in), 960));
}

// Until the last sample above one millionth has left; deactivation empties the ring.
TEST(DelayLine, PendingSoundIsSeenUntilItHasLeft) {
    auto delay = makeDelay();
    delay->setDelaySamples(10);
    delay->reset();
    EXPECT_TRUE(delay->isSilent(1));
    EXPECT_EQ(delay->processSample(0.5f), 0.0f);
    for (int k = 1; k <= 10; ++k) {
        EXPECT_FALSE(delay->isSilent(1)) << "after " << k;
        EXPECT_EQ(delay->processSample(0.0f), k == 10 ? 0.5f : 0.0f);
    }
    EXPECT_TRUE(delay->isSilent(1));
    delay->processSample(1e-7f);
    EXPECT_TRUE(delay->isSilent(1));

    delay->processSample(1.0f);
    delay->setActive(false);
    EXPECT_TRUE(delay->isSilent(1));
    for (int k = 0; k < 20; ++k) EXPECT_EQ(delay->processSample(0.0f), 0.0f);
    EXPECT_EQ(delay->delaySamples(), 10);
}

// ---- Multichannel dry path ------------------------------------------------------

TEST(DelayMultiChannel, EveryChannelIsDelayedAloneByTheSameAmount) {
    DelayMultiCh delay(kRate, kBlock, 200.0f);
    EXPECT_EQ(delay.setChannels(2, 1, 0), 1);
    EXPECT_EQ(delay.channelCount(), 1);
    ASSERT_EQ(delay.setChannels(2, 2, 0), 0);
    EXPECT_NE(delay.channel(0), delay.channel(1));
    const size_t total = 3000;
    std::vector<float> a = ramp(total), b(total, 0.0f);
    b[100] = -1.0f;
    b[101] = 0.5f;
    for (int32_t samples : {37, 0}) {
        delay.setDelaySamples(samples);
        delay.reset();
        std::vector<float> outA(total), outB(total);
        for (size_t k = 0, start = 0; start < total; ++k) {
            const size_t n = std::min<size_t>(static_cast<size_t>(kBlocks[k % kBlocks.size()]), total - start);
            float* in[2] = {a.data() + start, b.data() + start};
            float* out[2] = {outA.data() + start, outB.data() + start};
            delay.process(in, out, static_cast<int32_t>(n));
            start += n;
        }
        EXPECT_TRUE(delayedBy(a, outA, samples));
        EXPECT_TRUE(delayedBy(b, outB, samples));
    }
}

// The dry path must stay aligned with the meter's latency when the channel
// count, the block size or the ring changes under it.
TEST(DelayMultiChannel, RebuiltChannelsKeepTheDelay) {
    for (int32_t latency : {1, 37, 100, 257, 480, 1000, 2047, 4096}) {
        SCOPED_TRACE(::testing::Message() << "latency " << latency);
        DelayMultiCh delay(kRate, kBlock, 200.0f);
        delay.setDelaySamples(latency);
        ASSERT_EQ(delay.setChannels(3, 3, 0), 0);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(delay.channel(c)->delaySamples(), latency) << "channel " << c;
        delay.setMaxSamplesPerCall(1024);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(delay.channel(c)->delaySamples(), latency) << "channel " << c;
    }
    DelayMultiCh delay(kRate, kBlock, 200.0f);
    ASSERT_EQ(delay.setChannels(2, 2, 0), 0);
    delay.setDelaySamples(50);
    delay.setCapacity(100);
    for (int c = 0; c < 2; ++c) EXPECT_EQ(delay.channel(c)->capacity(), 128);
    for (int c = 0; c < 2; ++c) EXPECT_EQ(delay.channel(c)->delaySamples(), 50);
    delay.setCapacity(20);
    for (int c = 0; c < 2; ++c) EXPECT_EQ(delay.channel(c)->delaySamples(), 31);
    EXPECT_EQ(delay.delaySamples(), 31);
}

} // namespace
} // namespace DSP
