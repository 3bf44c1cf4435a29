// The true-peak chain: the interpolation kernel, the four-phase fast path of
// every vector table against a plain zero-stuff-and-filter reference (bit for
// bit, state carried across calls), and the meter's readings.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/TruePeak.h"
#include "dsp/UpsamplerSinc.h"
#include "tests/dsp/LoudnessTestSupport.h"

namespace DSP {
namespace {

using testing::EachTable;
using testing::randomSamples;
using testing::sameBits;

constexpr int32_t kMaxBlock = 1024;
// Odd and even call sizes, so every vector loop's tail is exercised and the
// history is carried across every kind of boundary.
const std::vector<int32_t> kCallSizes = {1, 3, 7, 64, 513, 2, 8, 9, 15, 16, 17, 1024, 5, 31, 33, 100};

std::vector<float> noise(std::mt19937& rng, int32_t n, float amplitude = 1.0f) {
    return randomSamples(rng, static_cast<size_t>(n), -amplitude, amplitude);
}

// Samples at fs/4 with a 45-degree phase: +-0.7071 on the samples, peaks of 1.0 between them.
std::vector<float> quarterRateSine(size_t n) {
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<float>(std::sin(std::numbers::pi / 2.0 * static_cast<double>(i) + std::numbers::pi / 4.0));
    return v;
}

// Zero-stuffing by 4 followed by a textbook FIR, y[n] = sum over k ascending
// of h[k] x[n - k], history kept across calls: what the fast path must reproduce.
class StuffedReference {
public:
    explicit StuffedReference(std::vector<float> taps) : h_(std::move(taps)), history_(h_.size() - 1, 0.0f) {}

    std::vector<float> run(const std::vector<float>& in) {
        std::vector<float> line = history_;
        for (float x : in) line.insert(line.end(), {x, 0.0f, 0.0f, 0.0f});
        std::vector<float> out(4 * in.size());
        const size_t t = h_.size();
        for (size_t i = 0; i < out.size(); ++i) {
            float sum = 0.0f;
            for (size_t k = 0; k < t; ++k) sum += h_[k] * line[t - 1 + i - k];
            out[i] = sum;
        }
        history_.assign(line.end() - static_cast<std::ptrdiff_t>(t - 1), line.end());
        return out;
    }

private:
    std::vector<float> h_;
    std::vector<float> history_;
};

std::vector<float> kernelOf(const UpsamplerSinc& up) {
    return std::vector<float>(up.kernel(), up.kernel() + up.kernelLength());
}

float peakOf(const std::vector<float>& v) {
    float peak = 0.0f;
    for (float x : v) peak = std::max(peak, std::fabs(x));
    return peak;
}

// ---- Kernel ----------------------------------------------------------------

// The factor, not the rate, shapes it: the same bits at every rate. Zero
// crossings on every 4th tap leave the input samples unchanged; each phase's
// taps sum to about 1, unity gain at DC for the interpolated stream.
TEST(UpsamplerKernel, SameEightyOneTapBlackmanWindowedSincAtEveryRate) {
    std::vector<float> h;
    for (double rate : {48000.0, 44100.0, 96000.0, 192000.0}) {
        SCOPED_TRACE(::testing::Message() << rate << " Hz");
        UpsamplerSinc up(rate, 512, 4.0f);
        ASSERT_EQ(up.initialize(), 0);
        ASSERT_EQ(up.kernelLength(), 81);
        EXPECT_EQ(up.kernelCenter(), 40);
        EXPECT_EQ(up.outputLength(513), 2052);
        if (h.empty()) h = kernelOf(up);
        EXPECT_TRUE(sameBits(h.data(), up.kernel(), h.size()));
    }
    const int c = 40;
    EXPECT_NEAR(h[c], 1.0f, 1e-6f);
    for (int m = 1; m <= 10; ++m) {
        EXPECT_NEAR(h[c + 4 * m], 0.0f, 1e-7f) << "tap " << c + 4 * m;
        EXPECT_NEAR(h[c - 4 * m], 0.0f, 1e-7f) << "tap " << c - 4 * m;
    }
    for (int n = 0; n < 81; ++n) {
        const double x = (n - c) / 4.0;
        const double sinc = n == c ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
        const double phi = 2.0 * std::numbers::pi * n / 80.0;
        const double window = 0.42 - 0.5 * std::cos(phi) + 0.08 * std::cos(2.0 * phi);
        EXPECT_NEAR(h[static_cast<size_t>(n)], sinc * window, 2e-6) << "tap " << n;
    }
    for (int p = 0; p < 4; ++p) {
        double sum = 0.0;
        for (int k = p; k < 81; k += 4) sum += h[static_cast<size_t>(k)];
        EXPECT_NEAR(sum, 1.0, 2e-3) << "phase " << p;
    }
}

// ---- Fast path of every vector table against the reference -----------------------

class UpsamplerTables : public EachTable {
protected:
    std::mt19937 rng{7031u};
};

// Into its own buffer and into the caller's, which gets 4n samples and no more.
TEST_P(UpsamplerTables, UpsampleEqualsZeroStuffedFirBitForBit) {
    UpsamplerSinc own(48000.0, kMaxBlock, 4.0f), caller(48000.0, kMaxBlock, 4.0f);
    ASSERT_EQ(own.initialize(), 0);
    ASSERT_EQ(caller.initialize(), 0);
    StuffedReference reference(kernelOf(own));
    std::vector<float> callerOut(4 * kMaxBlock + 1);
    for (int round = 0; round < 2; ++round) {
        for (int32_t n : kCallSizes) {
            SCOPED_TRACE(::testing::Message() << "call of " << n << ", round " << round);
            const std::vector<float> in = noise(rng, n);
            const std::vector<float> expected = reference.run(in);
            ASSERT_TRUE(sameBits(expected.data(), own.upsample(in.data(), n), expected.size()));
            callerOut[expected.size()] = 123.0f;
            caller.upsampleTo(in.data(), callerOut.data(), n);
            ASSERT_TRUE(sameBits(expected.data(), callerOut.data(), expected.size()));
            EXPECT_EQ(callerOut[expected.size()], 123.0f);
        }
    }
}

TEST_P(UpsamplerTables, Interpolate4AndPeakMatchTheStuffedFirForAnyPhaseLength) {
    // Beyond the real kernel: the wider tables cache a bounded number of phase steps.
    for (int32_t phaseLength : {1, 2, 21, 64, 65, 70}) {
        SCOPED_TRACE(::testing::Message() << "phase length " << phaseLength);
        const std::vector<float> phases = noise(rng, 4 * phaseLength, 0.5f);
        StuffedReference reference(phases);
        std::vector<float> line(static_cast<size_t>(phaseLength - 1), 0.0f);
        for (int32_t n : kCallSizes) {
            SCOPED_TRACE(::testing::Message() << "call of " << n);
            const std::vector<float> in = noise(rng, n);
            const std::vector<float> expected = reference.run(in);
            line.insert(line.end(), in.begin(), in.end());
            std::vector<float> out(static_cast<size_t>(4 * n) + 1, 99.0f);
            ops().interpolate4(phases.data(), phaseLength, line.data(), out.data(), n);
            ASSERT_TRUE(sameBits(expected.data(), out.data(), expected.size()));
            EXPECT_EQ(out.back(), 99.0f);
            EXPECT_EQ(ops().interpolate4Peak(phases.data(), phaseLength, line.data(), n), peakOf(expected));
            line.erase(line.begin(), line.end() - (phaseLength - 1));
        }
    }
}

TEST_P(UpsamplerTables, PeakOfANegativeExcursionIsItsMagnitude) {
    // One negative pulse among small positive values: a max without the magnitude would miss it.
    const int32_t phaseLength = 21;
    UpsamplerSinc up(48000.0, kMaxBlock, 4.0f);
    ASSERT_EQ(up.initialize(), 0);
    std::vector<float> phases(4 * phaseLength, 0.0f);
    std::copy(up.kernel(), up.kernel() + up.kernelLength(), phases.begin());
    for (int32_t n : {1, 3, 8, 9, 17}) {
        // Placed so that the kernel's centre (phase 0, step 10) meets it at the block's last output sample.
        std::vector<float> line(static_cast<size_t>(phaseLength - 1 + n), 0.01f);
        line[static_cast<size_t>(n + 9)] = -0.9f;
        const float peak = ops().interpolate4Peak(phases.data(), phaseLength, line.data(), n);
        EXPECT_GE(peak, 0.9f - 0.01f) << "n = " << n;
        EXPECT_LT(peak, 1.0f) << "n = " << n;
    }
}

// The running maximum per channel of the peak-only path, and overall the larger channel's.
TEST_P(UpsamplerTables, TruePeakEqualsLargestMagnitudeOfTheReferenceStream) {
    TruePeak meter(48000.0, kMaxBlock, 4.0f);
    ASSERT_EQ(meter.setChannels(2, 2, 0), 0);
    ASSERT_EQ(meter.initialize(), 0);
    meter.reset();
    StuffedReference ref0(kernelOf(*meter.upsampler(0))), ref1(kernelOf(*meter.upsampler(1)));
    float peak0 = 0.0f, peak1 = 0.0f;
    for (int32_t n : kCallSizes) {
        std::vector<float> a = noise(rng, n, 0.8f);
        std::vector<float> b = noise(rng, n, 0.3f);
        peak0 = std::max(peak0, peakOf(ref0.run(a)));
        peak1 = std::max(peak1, peakOf(ref1.run(b)));
        float* in[2] = {a.data(), b.data()};
        meter.measure(in, n);
        ASSERT_EQ(meter.getChannelPeak(0), peak0) << "after a call of " << n;
        ASSERT_EQ(meter.getChannelPeak(1), peak1) << "after a call of " << n;
        ASSERT_EQ(meter.getPeak(), std::max(peak0, peak1));
    }
}

INSTANTIATE_TEST_SUITE_P(AllTables, UpsamplerTables, ::testing::ValuesIn(testing::kAllTables), testing::tableName);

// ---- The meter ----------------------------------------------------------------

class TruePeakMeter : public ::testing::Test {
protected:
    // Mono meter at 48 kHz, ready to measure.
    void SetUp() override {
        ASSERT_EQ(meter.initialize(), 0);
        meter.reset();
    }
    static void feed(TruePeak& m, std::vector<float>& signal, int32_t block) {
        for (size_t start = 0; start < signal.size(); start += static_cast<size_t>(block)) {
            float* in[1] = {signal.data() + start};
            m.measure(in, static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), signal.size() - start)));
        }
    }
    void feed(std::vector<float>& signal, int32_t block) { feed(meter, signal, block); }

    TruePeak meter{48000.0, 512, 4.0f};
};

TEST_F(TruePeakMeter, QuarterRateSineAtFortyFiveDegreesReadsFullScale) {
    std::vector<float> sine = quarterRateSine(4800 + 48000);
    EXPECT_NEAR(peakOf(sine), 0.70710678f, 1e-6f); // the sample peak is 3 dB lower
    // An abrupt start overshoots once (a filter transient); measure after it.
    std::vector<float> settling(sine.begin(), sine.begin() + 4800), steady(sine.begin() + 4800, sine.end());
    feed(settling, 512);
    EXPECT_GT(meter.getPeak(), 1.005f);
    meter.reset(); // the filter keeps the running signal: no new transient
    feed(steady, 512);
    EXPECT_NEAR(meter.getPeak(), 1.0f, 0.0005f);
    EXPECT_EQ(meter.getChannelPeak(0), meter.getPeak());
}

// Silence, from the start and after a reset, reads the floor, not zero.
TEST_F(TruePeakMeter, ASingleFullScaleSampleReadsOneAndSilenceOneMillionth) {
    EXPECT_EQ(meter.getPeak(), 1e-6f);
    for (float sign : {1.0f, -1.0f}) {
        std::vector<float> pulse(200, 0.0f);
        pulse[0] = sign;
        feed(pulse, 512);
        EXPECT_NEAR(meter.getPeak(), 1.0f, 1e-6f) << "sign " << sign;
        meter.reset(); // the pulse has left the filter: nothing is passed over
        EXPECT_EQ(meter.getPeak(), 1e-6f);
    }
    std::vector<float> zeros(100, 0.0f);
    feed(zeros, 100);
    EXPECT_EQ(meter.getPeak(), 1e-6f);
    EXPECT_EQ(meter.getChannelPeak(0), 1e-6f);
}

TEST_F(TruePeakMeter, SameSignalInAnyBlockSplitGivesIdenticalPeaks) {
    std::mt19937 rng(99u);
    const std::vector<float> signal = noise(rng, 6000);
    std::vector<float> peaks;
    for (int32_t block : {512, 1, 3, 7, 64, 500}) {
        TruePeak m(48000.0, 512, 4.0f);
        ASSERT_EQ(m.initialize(), 0);
        m.reset();
        std::vector<float> copy = signal;
        feed(m, copy, block);
        peaks.push_back(m.getPeak());
    }
    for (size_t i = 1; i < peaks.size(); ++i) EXPECT_EQ(peaks[i], peaks[0]) << "split " << i;
    EXPECT_GT(peaks[0], 0.9f);
}

TEST_F(TruePeakMeter, ChannelCountChangeRebuildsUpsamplersAndKeepsTheOverallPeak) {
    std::vector<float> loud = quarterRateSine(600);
    feed(loud, 512);
    const float overall = meter.getPeak();
    ASSERT_GT(overall, 0.9f);

    EXPECT_EQ(meter.setChannels(2, 1, 0), 1); // refused, nothing changes
    EXPECT_EQ(meter.channelCount(), 1);
    EXPECT_EQ(meter.getChannelPeak(0), overall);

    ASSERT_EQ(meter.setChannels(2, 2, 0), 0);
    ASSERT_EQ(meter.channelCount(), 2);
    ASSERT_NE(meter.upsampler(1), nullptr);
    EXPECT_NE(meter.upsampler(0), meter.upsampler(1));
    EXPECT_EQ(meter.getPeak(), overall);

    // Fresh upsamplers: the first channel's old signal does not ring on.
    std::vector<float> zeros(64, 0.0f), zeros2(64, 0.0f);
    float* in[2] = {zeros.data(), zeros2.data()};
    meter.measure(in, 64);
    EXPECT_EQ(meter.getChannelPeak(0), TruePeak::kFloor);
    EXPECT_EQ(meter.getChannelPeak(1), TruePeak::kFloor);

    EXPECT_EQ(meter.setChannels(2, 2, 0), 0); // same count: kept
    EXPECT_EQ(meter.getPeak(), overall);
}

} // namespace
} // namespace DSP
