// The bypass's dry path: delay lines exact to the sample across any block
// boundary and held to their ring, and the cross-fade from one signal to the
// other on its curve whatever the block sizes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/CrossFader.h"
#include "dsp/DelayMultiCh.h"

namespace DSP {
namespace {

const std::vector<int32_t> kBlocks = {7, 1, 512, 64, 3, 100, 2, 511};

std::vector<float> ramp(size_t n) {
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<float>(i + 1);
    return v;
}

// Through the block call in irregular blocks, in place or not.
std::vector<float> run(Delay& delay, const std::vector<float>& in, bool inPlace = false) {
    std::vector<float> out = inPlace ? in : std::vector<float>(in.size(), -1.0f);
    for (size_t b = 0, at = 0; at < in.size(); at += kBlocks[b++ % kBlocks.size()]) {
        const auto n = static_cast<int32_t>(std::min<size_t>(kBlocks[b % kBlocks.size()], in.size() - at));
        delay.processBlock(inPlace ? out.data() + at : in.data() + at, out.data() + at, n);
    }
    return out;
}

::testing::AssertionResult delayedBy(const std::vector<float>& in, const std::vector<float>& out, int32_t n) {
    for (size_t i = 0; i < in.size(); ++i)
        if (out[i] != (static_cast<int64_t>(i) >= n ? in[i - static_cast<size_t>(n)] : 0.0f))
            return ::testing::AssertionFailure() << "output " << i << " is " << out[i] << " for a delay of " << n;
    return ::testing::AssertionSuccess();
}

// 20 ms at first; the ring holds a power of two above the maximum and
// requests beyond it or below zero are held to it; after a reset the delay is
// exact in irregular blocks, in place or not, and sample by sample.
TEST(DryPathDelay, DelaysByTheRequestHeldToTheRingInBlocksOrSampleBySample) {
    DelayPow2 delay(48000.0, 512, 100.0f), bySample(48000.0, 512, 100.0f);
    EXPECT_EQ(delay.delaySamples(), 960);
    ASSERT_EQ(delay.capacity(), 8192);
    const std::vector<float> in = ramp(8192 + 3000);
    const struct {
        bool ms;
        float asked;
        int32_t expected;
    } cases[] = {{false, 0, 0},       {false, 1, 1},      {false, 2, 2},         {false, 511, 511},
                 {false, 512, 512},   {false, 513, 513},  {false, 960, 960},     {false, 8191, 8191},
                 {false, 9000, 8191}, {false, -5, 0},     {true, 50.0f, 2400},   {true, -3.0f, 0} /* regression: read past the ring */};
    for (const auto& c : cases)
        for (bool inPlace : {false, true}) {
            SCOPED_TRACE(::testing::Message() << c.asked << (c.ms ? " ms" : " samples") << (inPlace ? ", in place" : ""));
            for (Delay* d : {static_cast<Delay*>(&delay), static_cast<Delay*>(&bySample)}) {
                c.ms ? d->setDelayMs(c.asked) : d->setDelaySamples(static_cast<int32_t>(c.asked));
                d->reset();
            }
            EXPECT_EQ(delay.delaySamples(), c.expected);
            const std::vector<float> out = run(delay, in, inPlace);
            EXPECT_TRUE(delayedBy(in, out, c.expected));
            for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(bySample.processSample(in[i]), out[i]) << i;
        }
    delay.setDelaySamples(1500);
    delay.setCapacity(1000);
    EXPECT_EQ(delay.capacity(), 1024);
    EXPECT_TRUE(delayedBy(in, run(delay, in), 1023));
}

// The dry path follows the meter's latency when its channels are rebuilt.
TEST(DryPathDelay, EveryChannelIsDelayedAloneAndKeepsItsDelayAcrossRebuilds) {
    DelayMultiCh delay(48000.0, 512, 200.0f);
    EXPECT_EQ(delay.setChannels(2, 1, 0), 1);
    delay.setDelaySamples(37);
    ASSERT_EQ(delay.setChannels(3, 3, 0), 0);
    delay.setMaxSamplesPerCall(1024);
    std::vector<std::vector<float>> in = {ramp(3000), std::vector<float>(3000, 0.0f), std::vector<float>(3000, 0.5f)}, out = in;
    in[1][100] = -1.0f;
    for (size_t at = 0; at < 3000; at += 500) {
        float* i[] = {in[0].data() + at, in[1].data() + at, in[2].data() + at};
        float* o[] = {out[0].data() + at, out[1].data() + at, out[2].data() + at};
        delay.process(i, o, 500);
    }
    for (size_t c = 0; c < 3; ++c) EXPECT_TRUE(delayedBy(in[c], out[c], 37)) << c;
}

// Runs blocks with the first signal 1 and the second 0: the output is the first one's weight.
std::vector<float> weights(CrossFader<float>& fader, const std::vector<int32_t>& blocks) {
    std::vector<float> w;
    for (size_t k = 0; fader.isFading(); ++k) {
        const int32_t n = blocks[k % blocks.size()];
        std::vector<float> one(static_cast<size_t>(n), 1.0f), zero(one.size(), 0.0f), out(one.size(), 42.0f);
        float *a = one.data(), *b = zero.data(), *o = out.data();
        fader.crossfade(&a, &b, &o, n);
        w.insert(w.end(), out.begin(), out.end());
    }
    return w;
}

// 100 ms from 1 down a power curve through -3 dB halfway to 0.0001, then the
// second signal alone; nothing is written before a fade or after it; a second
// start continues the running fade; a new block size or rate stops it.
TEST(DryPathFade, FallsThroughMinusThreeDecibelsHalfwayWhateverTheBlocks) {
    CrossFader<float> fader(48000.0, 512, 100.0f);
    ASSERT_EQ(fader.initialize(), 0);
    EXPECT_TRUE(weights(fader, {512}).empty());
    fader.startFade();
    const std::vector<float> w = weights(fader, {512});
    ASSERT_EQ(w.size(), 10u * 512);
    EXPECT_EQ(w[0], 1.0f);
    EXPECT_NEAR(w[2400], std::pow(10.0, -0.15), 1e-4);
    for (size_t i = 1; i < 4800; ++i) ASSERT_LT(w[i], w[i - 1]) << i;
    EXPECT_GT(w[4799], 0.0001f);
    EXPECT_LT(w[4799], 0.001f);
    for (size_t i = 4800; i < w.size(); ++i) ASSERT_EQ(w[i], 0.0f) << i;

    fader.startFade();
    std::vector<float> odd = weights(fader, {1, 7, 500, 64, 3});
    odd.resize(4800);
    EXPECT_EQ(odd, std::vector<float>(w.begin(), w.begin() + 4800));
    fader.startFade();
    std::vector<float> one(512, 1.0f);
    float* p = one.data();
    fader.crossfade(&p, &p, &p, 512);
    fader.startFade(); // running: continues
    EXPECT_EQ(fader.position(), 512);
    fader.setMaxSamplesPerCall(2048);
    EXPECT_FALSE(fader.isFading());
    fader.setFadeRate(96000.0);
    EXPECT_EQ(fader.fadeLength(), 9600);
    EXPECT_NEAR(fader.weightAt(4800), std::pow(10.0, -0.15), 1e-4);
}

} // namespace
} // namespace DSP
