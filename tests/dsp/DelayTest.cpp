// Ring-buffer delays: exact delay in samples across block boundaries, the
// clamps, the power-of-two sizing, pending-sound detection, and the
// multichannel dry path built from them.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
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

std::vector<float> runBlocks(Delay& delay, const std::vector<float>& in, bool inPlace) {
    std::vector<float> out(in.size(), -1.0f);
    size_t start = 0;
    for (size_t b = 0; start < in.size(); ++b) {
        const size_t n = std::min<size_t>(static_cast<size_t>(kBlocks[b % kBlocks.size()]), in.size() - start);
        if (inPlace) {
            std::copy(in.begin() + static_cast<std::ptrdiff_t>(start), in.begin() + static_cast<std::ptrdiff_t>(start + n),
                      out.begin() + static_cast<std::ptrdiff_t>(start));
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

struct Kind {
    const char* name;
    std::function<std::unique_ptr<Delay>(double, float)> make;
};

const Kind kKinds[] = {
    {"Delay", [](double rate, float maxMs) { return std::make_unique<Delay>(rate, kBlock, maxMs); }},
    {"DelayPow2", [](double rate, float maxMs) { return std::make_unique<DelayPow2>(rate, kBlock, maxMs); }},
};

bool isPowerOfTwo(int32_t n) { return n > 0 && (n & (n - 1)) == 0; }

// ---- Single-channel delays ---------------------------------------------------

TEST(DelayLine, DelaysByExactlyTheRequestedSamples) {
    for (const Kind& kind : kKinds) {
        const int32_t capacity = kind.make(kRate, 100.0f)->capacity();
        for (int32_t n : {1, 2, 10, 511, 512, 513, 960, capacity - 1}) {
            for (bool inPlace : {false, true}) {
                SCOPED_TRACE(::testing::Message() << kind.name << ", delay " << n << (inPlace ? ", in place" : ""));
                auto delay = kind.make(kRate, 100.0f);
                delay->setDelaySamples(n);
                ASSERT_EQ(delay->delaySamples(), n);
                delay->reset();
                const std::vector<float> in = ramp(static_cast<size_t>(capacity) + 3000);
                EXPECT_TRUE(delayedBy(in, runBlocks(*delay, in, inPlace), n));

                // An impulse just before a block boundary comes out exactly n samples later.
                delay->reset();
                std::vector<float> impulse(static_cast<size_t>(n) + 700, 0.0f);
                impulse[6] = 1.0f;
                EXPECT_TRUE(delayedBy(impulse, runBlocks(*delay, impulse, inPlace), n));
            }
        }
    }
}

TEST(DelayLine, SampleBySampleEqualsBlockwise) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        auto a = kind.make(kRate, 50.0f), b = kind.make(kRate, 50.0f);
        a->setDelaySamples(333);
        b->setDelaySamples(333);
        std::mt19937 rng(5u);
        std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
        std::vector<float> in(5000);
        for (auto& x : in) x = dist(rng);
        const std::vector<float> blockwise = runBlocks(*a, in, false);
        for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(b->processSample(in[i]), blockwise[i]) << "sample " << i;
    }
}

TEST(DelayLine, InitialDelayIsTwentyMilliseconds) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        auto delay = kind.make(kRate, 100.0f);
        EXPECT_EQ(delay->delaySamples(), 960);
        EXPECT_FLOAT_EQ(delay->delayMs(), 20.0f);
        const std::vector<float> in = ramp(3000);
        EXPECT_TRUE(delayedBy(in, runBlocks(*delay, in, false), 960));
    }
}

TEST(DelayLine, ZeroDelayPassesAudioUnchanged) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        auto delay = kind.make(kRate, 100.0f);
        delay->setDelaySamples(0);
        EXPECT_EQ(delay->delaySamples(), 0);
        EXPECT_EQ(delay->delayMs(), 0.0f);
        const std::vector<float> in = ramp(2000);
        EXPECT_TRUE(delayedBy(in, runBlocks(*delay, in, false), 0));
        EXPECT_TRUE(delayedBy(in, runBlocks(*delay, in, true), 0));
    }
}

TEST(DelayLine, PowerOfTwoRingIsNotWrittenWhileThereIsNoDelay) {
    DelayPow2 delay(kRate, kBlock, 100.0f);
    delay.setDelaySamples(0);
    delay.reset();
    const std::vector<float> loud = ramp(1000);
    EXPECT_TRUE(delayedBy(loud, runBlocks(delay, loud, false), 0));
    EXPECT_TRUE(delay.isSilent(1));
    // With a delay again, what was passed through is not in the ring: the first outputs are silence.
    delay.setDelaySamples(4);
    const std::vector<float> next = ramp(20);
    EXPECT_TRUE(delayedBy(next, runBlocks(delay, next, false), 4));
}

TEST(DelayLine, RequestsAreClamped) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        auto delay = kind.make(kRate, 100.0f);
        const int32_t capacity = delay->capacity();

        delay->setDelaySamples(capacity + 100);
        EXPECT_EQ(delay->delaySamples(), capacity - 1);
        delay->reset();
        std::vector<float> impulse(static_cast<size_t>(capacity) + 50, 0.0f);
        impulse[0] = 1.0f;
        EXPECT_TRUE(delayedBy(impulse, runBlocks(*delay, impulse, false), capacity - 1));

        delay->setDelaySamples(-5);
        EXPECT_EQ(delay->delaySamples(), 0);
        EXPECT_EQ(delay->delayMs(), 0.0f);

        delay->setDelayMs(50.0f);
        EXPECT_EQ(delay->delaySamples(), 2400);
        EXPECT_FLOAT_EQ(delay->delayMs(), 50.0f);

        // Milliseconds beyond the maximum are cut to it; the ring still bounds the samples.
        delay->setDelayMs(5000.0f);
        EXPECT_NEAR(delay->delayMs(), delay->maxDelayMs(), 0.05f);
        EXPECT_LE(delay->delaySamples(), capacity - 1);
        EXPECT_GE(delay->delaySamples(), capacity - 2);

        // Regression: a negative delay in milliseconds put the read index past the ring.
        delay->setDelayMs(-3.0f);
        EXPECT_EQ(delay->delaySamples(), 0);
        delay->reset();
        std::vector<float> ramp(static_cast<size_t>(capacity) + 50);
        for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i + 1);
        EXPECT_TRUE(delayedBy(ramp, runBlocks(*delay, ramp, false), 0));
    }
    Delay plain(kRate, kBlock, 100.0f);
    EXPECT_EQ(plain.capacity(), 4800);
    EXPECT_FLOAT_EQ(plain.maxDelayMs(), 100.0f);
    plain.setDelayMs(250.0f);
    EXPECT_FLOAT_EQ(plain.delayMs(), 100.0f);
    EXPECT_EQ(plain.delaySamples(), 4799);
}

TEST(DelayLine, PowerOfTwoCapacity) {
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        for (float maxMs : {1.0f, 10.0f, 100.0f, 200.0f, 1000.0f}) {
            DelayPow2 delay(rate, kBlock, maxMs);
            const double wanted = 0.001 * maxMs * rate;
            EXPECT_TRUE(isPowerOfTwo(delay.capacity())) << delay.capacity();
            EXPECT_GT(delay.capacity(), wanted - 1e-3) << rate << " Hz, " << maxMs << " ms";
            EXPECT_LE(delay.capacity(), 2.0 * wanted + 2.0) << rate << " Hz, " << maxMs << " ms";
            // The maximum grows to what the ring holds.
            EXPECT_NEAR(delay.maxDelayMs(), delay.capacity() * 1000.0 / rate, 1e-3);
        }
    }

    DelayPow2 delay(kRate, kBlock, 100.0f);
    EXPECT_EQ(delay.capacity(), 8192);
    delay.setDelaySamples(1500);
    delay.setCapacity(1000);
    EXPECT_EQ(delay.capacity(), 1024);
    EXPECT_EQ(delay.delaySamples(), 1023); // the delay no longer fits
    EXPECT_NEAR(delay.maxDelayMs(), 1024 * 1000.0 / kRate, 1e-3);
    const std::vector<float> in = ramp(3000);
    EXPECT_TRUE(delayedBy(in, runBlocks(delay, in, false), 1023));

    delay.setCapacity(1024); // strictly above: the next power
    EXPECT_EQ(delay.capacity(), 2048);
    delay.setCapacity(3);
    EXPECT_EQ(delay.capacity(), 4);
    EXPECT_EQ(delay.delaySamples(), 3);
    delay.setCapacity(1);
    EXPECT_EQ(delay.capacity(), 2);
    EXPECT_EQ(delay.delaySamples(), 1);
    const std::vector<float> shortIn = ramp(50);
    EXPECT_TRUE(delayedBy(shortIn, runBlocks(delay, shortIn, false), 1));

    Delay plain(kRate, kBlock, 100.0f);
    plain.setCapacity(1000);
    EXPECT_EQ(plain.capacity(), 1000);
    EXPECT_EQ(plain.delaySamples(), 960);
    EXPECT_TRUE(delayedBy(in, runBlocks(plain, in, false), 960));
}

TEST(DelayLine, SampleRateChangeKeepsTheDelayInMilliseconds) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        auto delay = kind.make(kRate, 100.0f);
        delay->setDelayMs(10.0f);
        ASSERT_EQ(delay->delaySamples(), 480);
        const std::vector<float> loud = ramp(100);
        runBlocks(*delay, loud, false);
        EXPECT_EQ(delay->setSampleRate(96000.0), 1);
        EXPECT_EQ(delay->delaySamples(), 960);
        EXPECT_GE(delay->capacity(), 9600);
        EXPECT_TRUE(delay->isSilent(1)); // the ring starts empty at the new rate
        const std::vector<float> in = ramp(3000);
        EXPECT_TRUE(delayedBy(in, runBlocks(*delay, in, false), 960));
    }
}

TEST(DelayLine, PendingSoundIsSeenUntilItHasLeft) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        auto delay = kind.make(kRate, 100.0f);
        delay->setDelaySamples(10);
        delay->reset();
        EXPECT_TRUE(delay->isSilent(1));
        EXPECT_EQ(delay->processSample(0.5f), 0.0f);
        for (int k = 1; k < 10; ++k) {
            EXPECT_FALSE(delay->isSilent(1)) << "after " << k;
            EXPECT_EQ(delay->processSample(0.0f), 0.0f);
        }
        EXPECT_FALSE(delay->isSilent(1));
        EXPECT_EQ(delay->processSample(0.0f), 0.5f);
        EXPECT_TRUE(delay->isSilent(1));

        // Anything at or below one millionth counts as silence.
        delay->processSample(1e-7f);
        EXPECT_TRUE(delay->isSilent(1));
    }
}

TEST(DelayLine, DeactivationEmptiesTheRing) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        auto delay = kind.make(kRate, 100.0f);
        delay->setDelaySamples(8);
        delay->processSample(1.0f);
        delay->setActive(false);
        EXPECT_FALSE(delay->isActive());
        EXPECT_TRUE(delay->isSilent(1));
        for (int k = 0; k < 20; ++k) EXPECT_EQ(delay->processSample(0.0f), 0.0f);
        EXPECT_EQ(delay->delaySamples(), 8);
    }
}

// ---- Multichannel dry path ------------------------------------------------------

TEST(DelayMultiChannel, RingSizePerRate) {
    const std::pair<double, int32_t> expected[] = {{44100.0, 16384}, {48000.0, 16384}, {96000.0, 32768}, {192000.0, 65536}};
    for (const auto& [rate, capacity] : expected) {
        DelayMultiCh delay(rate, kBlock, 200.0f);
        ASSERT_EQ(delay.channelCount(), 1);
        EXPECT_EQ(delay.channel(0)->capacity(), capacity) << rate << " Hz";
        EXPECT_EQ(delay.channel(0)->delaySamples(), static_cast<int32_t>(0.002 * rate)) << rate << " Hz"; // 2 ms
    }
}

TEST(DelayMultiChannel, ChannelSetUp) {
    DelayMultiCh delay(kRate, kBlock, 200.0f);
    EXPECT_EQ(delay.setChannels(2, 1, 0), 1);
    EXPECT_EQ(delay.channelCount(), 1);
    ASSERT_EQ(delay.setChannels(2, 2, 0), 0);
    ASSERT_EQ(delay.channelCount(), 2);
    EXPECT_NE(delay.channel(0), delay.channel(1));
    for (int c = 0; c < 2; ++c) EXPECT_EQ(delay.channel(c)->capacity(), 16384);
    EXPECT_EQ(delay.setChannels(2, 2, 0), 0);
    EXPECT_EQ(delay.setChannels(3, 2, 0), 1);
    EXPECT_EQ(delay.channelCount(), 2);
}

TEST(DelayMultiChannel, EveryChannelIsDelayedAloneByTheSameAmount) {
    DelayMultiCh delay(kRate, kBlock, 200.0f);
    ASSERT_EQ(delay.setChannels(2, 2, 0), 0);
    delay.setDelaySamples(37);
    EXPECT_EQ(delay.delaySamples(), 37);
    for (int c = 0; c < 2; ++c) EXPECT_EQ(delay.channel(c)->delaySamples(), 37);
    delay.reset();

    const size_t total = 3000;
    std::vector<float> a = ramp(total), b(total, 0.0f);
    b[100] = -1.0f;
    b[101] = 0.5f;
    std::vector<float> outA(total), outB(total);
    size_t start = 0;
    for (size_t k = 0; start < total; ++k) {
        const size_t n = std::min<size_t>(static_cast<size_t>(kBlocks[k % kBlocks.size()]), total - start);
        float* in[2] = {a.data() + start, b.data() + start};
        float* out[2] = {outA.data() + start, outB.data() + start};
        delay.process(in, out, static_cast<int32_t>(n));
        start += n;
    }
    EXPECT_TRUE(delayedBy(a, outA, 37));
    EXPECT_TRUE(delayedBy(b, outB, 37));

    // No delay: both channels pass straight through.
    delay.setDelaySamples(0);
    EXPECT_EQ(delay.channel(1)->delaySamples(), 0);
    std::vector<float> c = ramp(64), d = ramp(64), outC(64), outD(64);
    float* in[2] = {c.data(), d.data()};
    float* out[2] = {outC.data(), outD.data()};
    delay.process(in, out, 64);
    EXPECT_EQ(outC, c);
    EXPECT_EQ(outD, d);
}

TEST(DelayMultiChannel, RebuiltChannelsKeepTheDelay) {
    // The dry path must stay aligned with the meter's latency when the
    // channel count or block size changes under it.
    for (int32_t latency : {1, 37, 100, 257, 480, 1000, 2047, 4096}) {
        SCOPED_TRACE(::testing::Message() << "latency " << latency);
        DelayMultiCh delay(kRate, kBlock, 200.0f);
        delay.setDelaySamples(latency);
        ASSERT_EQ(delay.setChannels(3, 3, 0), 0);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(delay.channel(c)->delaySamples(), latency) << "channel " << c;
        delay.setMaxSamplesPerCall(1024);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(delay.channel(c)->delaySamples(), latency) << "channel " << c;
    }
}

TEST(DelayMultiChannel, CapacityPassesToEveryChannel) {
    DelayMultiCh delay(kRate, kBlock, 200.0f);
    ASSERT_EQ(delay.setChannels(2, 2, 0), 0);
    delay.setDelaySamples(50);
    delay.setCapacity(100);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(delay.channel(c)->capacity(), 128);
        EXPECT_EQ(delay.channel(c)->delaySamples(), 50);
    }
    delay.setCapacity(20);
    for (int c = 0; c < 2; ++c) EXPECT_EQ(delay.channel(c)->delaySamples(), 31);
    EXPECT_EQ(delay.delaySamples(), 31);
}

} // namespace
} // namespace DSP
