// The true-peak chain: the interpolation kernel, the four-phase fast path of
// every vector table against a plain zero-stuff-and-filter reference (bit for
// bit, state carried across calls), the FIR, and the meter's readings.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "dsp/Fir.h"
#include "dsp/TruePeak.h"
#include "dsp/UpsamplerSinc.h"
#include "dsp/VectorOps.h"

namespace DSP {
namespace {

constexpr int32_t kMaxBlock = 1024;
// Odd and even call sizes, so every vector loop's tail is exercised and the
// history is carried across every kind of boundary.
const std::vector<int32_t> kCallSizes = {1, 3, 7, 64, 513, 2, 8, 9, 15, 16, 17, 1024, 5, 31, 33, 100};

std::vector<float> randomSignal(std::mt19937& rng, size_t n, float amplitude = 1.0f) {
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    std::vector<float> v(n);
    for (auto& x : v) x = dist(rng);
    return v;
}

// Samples at fs/4 with a 45-degree phase: +-0.7071 on the samples, peaks of 1.0 between them.
std::vector<float> quarterRateSine(size_t n) {
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<float>(std::sin(std::numbers::pi / 2.0 * static_cast<double>(i) + std::numbers::pi / 4.0));
    return v;
}

::testing::AssertionResult sameBits(const float* expected, const float* actual, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (std::memcmp(&expected[i], &actual[i], sizeof(float)) != 0)
            return ::testing::AssertionFailure()
                   << "sample " << i << " of " << n << ": expected " << expected[i] << ", got " << actual[i];
    }
    return ::testing::AssertionSuccess();
}

// Textbook FIR: y[n] = sum over k ascending of h[k] x[n - k], history kept across calls.
class NaiveFir {
public:
    explicit NaiveFir(std::vector<float> taps) : h_(std::move(taps)), history_(h_.size() - 1, 0.0f) {}

    std::vector<float> run(const std::vector<float>& in) {
        std::vector<float> line = history_;
        line.insert(line.end(), in.begin(), in.end());
        std::vector<float> out(in.size());
        const size_t t = h_.size();
        for (size_t i = 0; i < in.size(); ++i) {
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

// Zero-stuffing by 4 followed by the naive FIR: what the fast path must reproduce.
class StuffedReference {
public:
    explicit StuffedReference(std::vector<float> taps) : fir_(std::move(taps)) {}

    std::vector<float> run(const std::vector<float>& in) {
        std::vector<float> stuffed(in.size() * 4, 0.0f);
        for (size_t i = 0; i < in.size(); ++i) stuffed[4 * i] = in[i];
        return fir_.run(stuffed);
    }

private:
    NaiveFir fir_;
};

std::vector<float> kernelOf(const UpsamplerSinc& up) {
    return std::vector<float>(up.kernel(), up.kernel() + up.kernelLength());
}

float peakOf(const std::vector<float>& v) {
    float peak = 0.0f;
    for (float x : v) peak = std::max(peak, std::fabs(x));
    return peak;
}

std::string kindName(VectorOpsKind kind) {
    switch (kind) {
    case VectorOpsKind::kScalar: return "Scalar";
    case VectorOpsKind::kSse2: return "Sse2";
    case VectorOpsKind::kAvx2: return "Avx2";
    case VectorOpsKind::kAvx512: return "Avx512";
    }
    return "Unknown";
}

// ---- Kernel ----------------------------------------------------------------

TEST(UpsamplerKernel, SameEightyOneTapKernelAtEveryRate) {
    std::vector<float> first;
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        SCOPED_TRACE(::testing::Message() << rate << " Hz");
        UpsamplerSinc up(rate, 512, 4.0f);
        ASSERT_EQ(up.initialize(), 0);
        EXPECT_EQ(up.oversampling(), 4.0f);
        ASSERT_EQ(up.kernelLength(), 81);
        EXPECT_EQ(up.kernelCenter(), 40);
        EXPECT_EQ(up.outputLength(513), 2052);
        const std::vector<float> h = kernelOf(up);
        if (first.empty())
            first = h;
        else
            EXPECT_TRUE(sameBits(first.data(), h.data(), h.size())); // the factor, not the rate, shapes it
    }
}

TEST(UpsamplerKernel, InterpolatorShapeLeavesInputSamplesUnchanged) {
    UpsamplerSinc up(48000.0, 512, 4.0f);
    ASSERT_EQ(up.initialize(), 0);
    const std::vector<float> h = kernelOf(up);
    ASSERT_EQ(h.size(), 81u);
    const int c = 40;

    EXPECT_NEAR(h[c], 1.0f, 1e-6f); // the window's peak is 1 up to rounding
    // Zero crossings on every 4th tap: an input sample contributes nothing at its neighbours' positions.
    for (int m = 1; m <= 10; ++m) {
        EXPECT_NEAR(h[c + 4 * m], 0.0f, 1e-7f) << "tap " << c + 4 * m;
        EXPECT_NEAR(h[c - 4 * m], 0.0f, 1e-7f) << "tap " << c - 4 * m;
    }
    // The window is evaluated per tap, so the two halves agree only up to a few ulps.
    for (int j = 1; j <= c; ++j) EXPECT_NEAR(h[c + j], h[c - j], 3e-7f) << "offset " << j;
    EXPECT_NEAR(h[0], 0.0f, 1e-7f);
    EXPECT_NEAR(h[80], 0.0f, 1e-7f);

    // Blackman-windowed sinc(j / 4), from the closed form.
    for (int n = 0; n < 81; ++n) {
        const double x = (n - c) / 4.0;
        const double sinc = n == c ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
        const double phi = 2.0 * std::numbers::pi * n / 80.0;
        const double window = 0.42 - 0.5 * std::cos(phi) + 0.08 * std::cos(2.0 * phi);
        EXPECT_NEAR(h[static_cast<size_t>(n)], sinc * window, 2e-6) << "tap " << n;
    }
    // Unity gain at DC for the interpolated stream: each phase's taps sum to about 1.
    for (int p = 0; p < 4; ++p) {
        double sum = 0.0;
        for (int k = p; k < 81; k += 4) sum += h[static_cast<size_t>(k)];
        EXPECT_NEAR(sum, 1.0, 2e-3) << "phase " << p;
    }
}

// ---- Fast path of every vector table against the reference -----------------------

class UpsamplerTables : public ::testing::TestWithParam<VectorOpsKind> {
protected:
    void SetUp() override {
        if (!vectorOpsAvailable(GetParam())) GTEST_SKIP() << kindName(GetParam()) << " not available here";
        ASSERT_TRUE(selectVectorOps(GetParam()));
    }
    void TearDown() override { selectVectorOps(); }

    const VectorOps& table() const { return vectorOpsOf(GetParam()); }
    std::mt19937 rng{7031u};
};

TEST_P(UpsamplerTables, UpsampleEqualsZeroStuffedFirBitForBit) {
    UpsamplerSinc up(48000.0, kMaxBlock, 4.0f);
    ASSERT_EQ(up.initialize(), 0);
    up.reset();
    StuffedReference reference(kernelOf(up));
    for (int round = 0; round < 2; ++round) {
        for (int32_t n : kCallSizes) {
            SCOPED_TRACE(::testing::Message() << "call of " << n << ", round " << round);
            const std::vector<float> in = randomSignal(rng, static_cast<size_t>(n));
            const std::vector<float> expected = reference.run(in);
            const float* out = up.upsample(in.data(), n);
            ASSERT_TRUE(sameBits(expected.data(), out, expected.size()));
        }
    }
}

TEST_P(UpsamplerTables, UpsampleToAndPeakFollowTheSameStream) {
    // Three upsamplers fed the same signal, each through a different entry point.
    UpsamplerSinc own(96000.0, kMaxBlock, 4.0f), caller(96000.0, kMaxBlock, 4.0f), peakOnly(96000.0, kMaxBlock, 4.0f);
    for (UpsamplerSinc* up : {&own, &caller, &peakOnly}) {
        ASSERT_EQ(up->initialize(), 0);
        up->reset();
    }
    std::vector<float> callerOut(4 * kMaxBlock + 1);
    for (int32_t n : kCallSizes) {
        SCOPED_TRACE(::testing::Message() << "call of " << n);
        const std::vector<float> in = randomSignal(rng, static_cast<size_t>(n), 2.0f);
        const float* a = own.upsample(in.data(), n);
        callerOut[static_cast<size_t>(4 * n)] = 123.0f;
        caller.upsampleTo(in.data(), callerOut.data(), n);
        ASSERT_TRUE(sameBits(a, callerOut.data(), static_cast<size_t>(4 * n)));
        EXPECT_EQ(callerOut[static_cast<size_t>(4 * n)], 123.0f); // only 4n samples are written
        float expectedPeak = 0.0f;
        for (int32_t i = 0; i < 4 * n; ++i) expectedPeak = std::max(expectedPeak, std::fabs(a[i]));
        EXPECT_EQ(peakOnly.upsamplePeak(in.data(), n), expectedPeak);
    }
}

TEST_P(UpsamplerTables, Interpolate4AndPeakMatchTheStuffedFirForAnyPhaseLength) {
    // Beyond the real kernel: the wider tables cache a bounded number of phase steps.
    for (int32_t phaseLength : {1, 2, 21, 64, 65, 70}) {
        SCOPED_TRACE(::testing::Message() << "phase length " << phaseLength);
        const std::vector<float> phases = randomSignal(rng, static_cast<size_t>(4 * phaseLength), 0.5f);
        StuffedReference reference(phases);
        std::vector<float> line(static_cast<size_t>(phaseLength - 1), 0.0f);
        for (int32_t n : kCallSizes) {
            SCOPED_TRACE(::testing::Message() << "call of " << n);
            const std::vector<float> in = randomSignal(rng, static_cast<size_t>(n));
            const std::vector<float> expected = reference.run(in);
            line.insert(line.end(), in.begin(), in.end());
            std::vector<float> out(static_cast<size_t>(4 * n) + 1, 99.0f);
            table().interpolate4(phases.data(), phaseLength, line.data(), out.data(), n);
            ASSERT_TRUE(sameBits(expected.data(), out.data(), expected.size()));
            EXPECT_EQ(out.back(), 99.0f);
            EXPECT_EQ(table().interpolate4Peak(phases.data(), phaseLength, line.data(), n), peakOf(expected));
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
        const float peak = table().interpolate4Peak(phases.data(), phaseLength, line.data(), n);
        EXPECT_GE(peak, 0.9f - 0.01f) << "n = " << n;
        EXPECT_LT(peak, 1.0f) << "n = " << n;
    }
}

TEST_P(UpsamplerTables, TruePeakEqualsLargestMagnitudeOfTheReferenceStream) {
    TruePeak meter(48000.0, kMaxBlock, 4.0f);
    ASSERT_EQ(meter.setChannels(2, 2, 0), 0);
    ASSERT_EQ(meter.initialize(), 0);
    meter.reset();
    StuffedReference ref0(kernelOf(*meter.upsampler(0))), ref1(kernelOf(*meter.upsampler(1)));
    float peak0 = 0.0f, peak1 = 0.0f;
    for (int32_t n : kCallSizes) {
        std::vector<float> a = randomSignal(rng, static_cast<size_t>(n), 0.8f);
        std::vector<float> b = randomSignal(rng, static_cast<size_t>(n), 0.3f);
        peak0 = std::max(peak0, peakOf(ref0.run(a)));
        peak1 = std::max(peak1, peakOf(ref1.run(b)));
        float* in[2] = {a.data(), b.data()};
        meter.measure(in, n);
        ASSERT_EQ(meter.getChannelPeak(0), peak0) << "after a call of " << n;
        ASSERT_EQ(meter.getChannelPeak(1), peak1) << "after a call of " << n;
        ASSERT_EQ(meter.getPeak(), std::max(peak0, peak1));
    }
}

TEST_P(UpsamplerTables, FirEqualsNaiveFirAcrossCallsAndInPlace) {
    UpsamplerSinc up(48000.0, 512, 4.0f);
    ASSERT_EQ(up.initialize(), 0);
    const std::vector<float> h = kernelOf(up);
    Fir fir(192000.0f, 4 * 512, static_cast<int32_t>(h.size()), h.data());
    EXPECT_EQ(fir.tapCount(), 81);
    EXPECT_EQ(fir.getLatency(), 41);
    NaiveFir reference(h);
    int call = 0;
    for (int round = 0; round < 2; ++round) {
        for (int32_t n : {1, 3, 7, 64, 513, 2048, 2, 80, 81, 82}) {
            SCOPED_TRACE(::testing::Message() << "call of " << n);
            const std::vector<float> in = randomSignal(rng, static_cast<size_t>(n));
            const std::vector<float> expected = reference.run(in);
            std::vector<float> out = in;
            if (++call % 2 == 0) {
                fir.filter(out.data(), out.data(), n); // in place
            } else {
                std::fill(out.begin(), out.end(), 0.0f);
                fir.filter(in.data(), out.data(), n);
            }
            ASSERT_TRUE(sameBits(expected.data(), out.data(), expected.size()));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllTables, UpsamplerTables,
                         ::testing::Values(VectorOpsKind::kScalar, VectorOpsKind::kSse2, VectorOpsKind::kAvx2,
                                           VectorOpsKind::kAvx512),
                         [](const ::testing::TestParamInfo<VectorOpsKind>& info) { return kindName(info.param); });

// ---- FIR and upsampler state ----------------------------------------------------

TEST(FirState, ResetAndSetActiveClearTheHistory) {
    const std::vector<float> h = {0.5f, 0.25f, -0.125f, 2.0f};
    for (bool viaSetActive : {false, true}) {
        Fir fir(48000.0f, 16, 4, h.data());
        float impulse[1] = {1.0f};
        fir.filter(impulse, impulse, 1);
        EXPECT_EQ(impulse[0], 0.5f);
        if (viaSetActive)
            fir.setActive(true); // clears whichever way it is switched
        else
            fir.reset();
        float out[8] = {1, 1, 1, 1, 1, 1, 1, 1};
        const float zeros[8] = {};
        fir.filter(zeros, out, 8);
        for (float y : out) EXPECT_EQ(y, 0.0f) << (viaSetActive ? "setActive" : "reset");
    }
    // The impulse response is the tap list, in order, split over calls.
    Fir fir(48000.0f, 16, 4, h.data());
    const float in[6] = {1.0f, 0, 0, 0, 0, 0};
    float out[6];
    fir.filter(in, out, 2);
    fir.filter(in + 2, out + 2, 4);
    const float expected[6] = {0.5f, 0.25f, -0.125f, 2.0f, 0.0f, 0.0f};
    EXPECT_TRUE(sameBits(expected, out, 6));
}

TEST(FirState, WithoutTapsOutputsSilence) {
    Fir fir(48000.0f, 8, 5, nullptr);
    EXPECT_EQ(fir.tapCount(), 0);
    float buf[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    fir.filter(buf, buf, 8);
    for (float y : buf) EXPECT_EQ(y, 0.0f);
}

TEST(UpsamplerState, ResetAndDeactivationForgetEarlierInput) {
    for (bool viaSetActive : {false, true}) {
        SCOPED_TRACE(viaSetActive ? "setActive(false)" : "reset");
        UpsamplerSinc up(48000.0, 64, 4.0f);
        ASSERT_EQ(up.initialize(), 0);
        up.reset();
        const float loud[4] = {1.0f, -1.0f, 1.0f, -1.0f};
        up.upsample(loud, 4);
        if (viaSetActive)
            up.setActive(false);
        else
            up.reset();
        const std::vector<float> zeros(64, 0.0f);
        const float* out = up.upsample(zeros.data(), 64);
        for (int i = 0; i < 256; ++i) ASSERT_EQ(out[i], 0.0f) << "output " << i;
    }
}

TEST(UpsamplerState, MonoOnly) {
    UpsamplerSinc up(48000.0, 64, 4.0f);
    EXPECT_EQ(up.setChannels(1, 1, 0), 0);
    EXPECT_EQ(up.setChannels(2, 2, 0), 1);
    EXPECT_EQ(up.setChannels(1, 2, 0), 1);
}

TEST(UpsamplerState, ImpulseResponseIsTheKernelDelayedByHalfItsLength) {
    UpsamplerSinc up(48000.0, 64, 4.0f);
    ASSERT_EQ(up.initialize(), 0);
    up.reset();
    std::vector<float> in(32, 0.0f);
    in[0] = 1.0f;
    const float* out = up.upsample(in.data(), 32);
    EXPECT_TRUE(sameBits(up.kernel(), out, 81));
    for (int i = 81; i < 128; ++i) EXPECT_EQ(out[i], 0.0f) << "output " << i;
    // The input sample reappears after 40 oversampled samples.
    EXPECT_NEAR(out[40], 1.0f, 1e-6f);
}

// ---- The meter ----------------------------------------------------------------

class TruePeakMeter : public ::testing::Test {
protected:
    // Mono meter at 48 kHz, ready to measure.
    void SetUp() override {
        ASSERT_EQ(meter.initialize(), 0);
        meter.reset();
    }
    void feed(std::vector<float>& signal, int32_t block) {
        for (size_t start = 0; start < signal.size(); start += static_cast<size_t>(block)) {
            float* in[1] = {signal.data() + start};
            meter.measure(in, static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), signal.size() - start)));
        }
    }

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

TEST_F(TruePeakMeter, SingleFullScaleSampleReadsOne) {
    for (float sign : {1.0f, -1.0f}) {
        meter.reset();
        std::vector<float> pulse(200, 0.0f);
        pulse[0] = sign;
        feed(pulse, 512);
        EXPECT_NEAR(meter.getPeak(), 1.0f, 1e-6f) << "sign " << sign;
    }
}

TEST_F(TruePeakMeter, SilenceAfterResetReadsTheFloorNotZero) {
    EXPECT_EQ(meter.getPeak(), 1e-6f);
    EXPECT_EQ(meter.getChannelPeak(0), 1e-6f);
    std::vector<float> loud = quarterRateSine(600);
    feed(loud, 512);
    meter.reset();
    EXPECT_EQ(meter.getPeak(), 1e-6f);
    EXPECT_EQ(meter.getChannelPeak(0), 1e-6f);
    // Let the filter run empty, then forget the tail: pure silence is left.
    std::vector<float> zeros(100, 0.0f);
    feed(zeros, 100);
    meter.reset();
    feed(zeros, 100);
    EXPECT_EQ(meter.getPeak(), 1e-6f);
    EXPECT_EQ(meter.getChannelPeak(0), 1e-6f);
}

TEST_F(TruePeakMeter, SameSignalInAnyBlockSplitGivesIdenticalPeaks) {
    std::mt19937 rng(99u);
    const std::vector<float> signal = randomSignal(rng, 6000);
    std::vector<float> peaks;
    for (int32_t block : {512, 1, 3, 7, 64, 500}) {
        TruePeak m(48000.0, 512, 4.0f);
        ASSERT_EQ(m.initialize(), 0);
        m.reset();
        std::vector<float> copy = signal;
        for (size_t start = 0; start < copy.size(); start += static_cast<size_t>(block)) {
            float* in[1] = {copy.data() + start};
            m.measure(in, static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(block), copy.size() - start)));
        }
        peaks.push_back(m.getPeak());
    }
    for (size_t i = 1; i < peaks.size(); ++i) EXPECT_EQ(peaks[i], peaks[0]) << "split " << i;
    EXPECT_GT(peaks[0], 0.9f);
}

TEST_F(TruePeakMeter, PeaksOnlyRiseAndOverallIsTheLargestChannel) {
    ASSERT_EQ(meter.setChannels(2, 2, 0), 0);
    std::vector<float> loud(256), quiet(256), silent(256, 0.0f);
    for (size_t i = 0; i < loud.size(); ++i) {
        loud[i] = 0.5f * std::sin(0.1f * static_cast<float>(i));
        quiet[i] = 0.25f * std::sin(0.1f * static_cast<float>(i));
    }
    auto measure = [&](std::vector<float>& a, std::vector<float>& b) {
        float* in[2] = {a.data(), b.data()};
        meter.measure(in, 256);
    };

    measure(loud, quiet);
    const float p0 = meter.getChannelPeak(0), p1 = meter.getChannelPeak(1);
    EXPECT_NEAR(p0, 0.5f, 0.01f);
    EXPECT_NEAR(p1, 0.25f, 0.01f);
    EXPECT_EQ(meter.getPeak(), p0);

    measure(quiet, silent); // quieter material holds what was reached
    EXPECT_EQ(meter.getChannelPeak(0), p0);
    EXPECT_EQ(meter.getChannelPeak(1), p1);
    EXPECT_EQ(meter.getPeak(), p0);

    std::vector<float> louder(256);
    for (size_t i = 0; i < louder.size(); ++i) louder[i] = 0.9f * std::sin(0.1f * static_cast<float>(i));
    measure(silent, louder);
    EXPECT_EQ(meter.getChannelPeak(0), p0);
    EXPECT_NEAR(meter.getChannelPeak(1), 0.9f, 0.02f);
    EXPECT_EQ(meter.getPeak(), meter.getChannelPeak(1));
}

TEST_F(TruePeakMeter, ChannelCountChangeRebuildsUpsamplersAndKeepsTheOverallPeak) {
    EXPECT_EQ(meter.channelCount(), 1);
    std::vector<float> loud = quarterRateSine(600);
    feed(loud, 512);
    const float overall = meter.getPeak();
    ASSERT_GT(overall, 0.9f);

    EXPECT_EQ(meter.setChannels(2, 1, 0), 1); // refused, nothing changes
    EXPECT_EQ(meter.channelCount(), 1);
    EXPECT_EQ(meter.getChannelPeak(0), overall);

    ASSERT_EQ(meter.setChannels(2, 2, 0), 0);
    ASSERT_EQ(meter.channelCount(), 2);
    ASSERT_NE(meter.upsampler(0), nullptr);
    ASSERT_NE(meter.upsampler(1), nullptr);
    EXPECT_NE(meter.upsampler(0), meter.upsampler(1));
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(meter.upsampler(c)->kernelLength(), 81);
        EXPECT_EQ(meter.getChannelPeak(c), TruePeak::kFloor);
    }
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
