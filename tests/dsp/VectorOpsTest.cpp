// Every vector table against the scalar one, on every length around its
// registers: the filter chain, the mean square and the true-peak interpolation
// bit for bit (meters on different machines must read the same), the sums
// within their stated precision, and no bad sample may poison a filter.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "DspTestSupport.h"
#include "dsp/KWeighting.h"

namespace DSP::testing {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

std::vector<int32_t> lengths() {
    std::vector<int32_t> all;
    for (int32_t n = 0; n <= 67; ++n) all.push_back(n);
    for (int32_t n : {255, 1021, 4800, 19203}) all.push_back(n);
    return all;
}

// Run once with each vector table selected; tables the processor lacks are skipped.
class VectorTable : public ::testing::TestWithParam<VectorOpsKind> {
protected:
    void SetUp() override {
        if (!selectVectorOps(GetParam())) GTEST_SKIP() << vectorOpsOf(GetParam()).name << " not available here";
    }
    void TearDown() override { selectVectorOps(); }
    const VectorOps& ops() const { return vectorOpsOf(GetParam()); }
    std::vector<float> samples(int32_t n, float lo = -1.0f, float hi = 1.0f) {
        std::uniform_real_distribution<float> dist(lo, hi);
        std::vector<float> v(static_cast<size_t>(n));
        for (auto& x : v) x = dist(rng);
        return v;
    }
    Channels signal(int32_t channels, int32_t n) {
        Channels s;
        for (int32_t c = 0; c < channels; ++c) s.push_back(samples(n));
        return s;
    }
    std::vector<BiquadState> states(int32_t channels) {
        std::vector<BiquadState> s(static_cast<size_t>(channels));
        for (auto& x : s) x = BiquadState{samples(1)[0] / 2, samples(1)[0] / 2, samples(1)[0] / 2, samples(1)[0] / 2};
        return s;
    }
    // The weighting as the meter runs it: shelf, high-pass, square, one sample at a time.
    static Channels scalarChain(const Channels& in, int32_t n, std::vector<BiquadState>& first,
                                std::vector<BiquadState>& second) {
        Channels out = in;
        for (size_t c = 0; c < in.size(); ++c) {
            kScalarVectorOps.biquad(in[c].data(), out[c].data(), n, kShelf, first[c]);
            kScalarVectorOps.biquad(out[c].data(), out[c].data(), n, kHighPass, second[c]);
            kScalarVectorOps.square(out[c].data(), n);
        }
        return out;
    }
    static bool same(const BiquadState& a, const BiquadState& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

    static inline const BiquadCoefficients kShelf = shelfCoefficients(48000.0);
    static inline const BiquadCoefficients kHighPass = highPassCoefficients(48000.0);
    std::mt19937 rng{20240611u};
};

// Out of place (a sample of room past n left alone) and in place, 1 to 9 channels.
TEST_P(VectorTable, WeightingChainEqualsTheScalarOneBitForBit) {
    for (bool inPlace : {false, true})
        for (int32_t channels = 1; channels <= 9; ++channels)
            for (int32_t n : lengths()) {
                const Channels in = signal(channels, n + 1);
                std::vector<BiquadState> f = states(channels), s = states(channels), rf = f, rs = s;
                const Channels expected = scalarChain(in, n, rf, rs);
                Channels out = in;
                auto o = pointers(out);
                auto i = inPlace ? o : pointers(const_cast<Channels&>(in));
                ops().biquadPairSquare(i.data(), o.data(), channels, n, kShelf, f.data(), kHighPass, s.data());
                for (int32_t c = 0; c < channels; ++c) {
                    SCOPED_TRACE(::testing::Message() << channels << " channels, n " << n << ", channel " << c);
                    ASSERT_TRUE(sameBits(expected[c].data(), out[c].data(), static_cast<size_t>(n) + (inPlace ? 0 : 1)));
                    ASSERT_TRUE(same(rf[c], f[c]) && same(rs[c], s[c]));
                }
            }
}

// Only the poisoned channel's filters start over, and its next call is clean.
TEST_P(VectorTable, ABadSampleClearsOnlyItsChannelsFilterState) {
    const int32_t n = 37, channels = 6, bad = 4;
    for (float value : {kNaN, kInf, -kInf, 3.0e38f /* overflows inside the recursion */})
        for (int32_t at : {0, 5, n - 1}) {
            SCOPED_TRACE(::testing::Message() << value << " at " << at);
            Channels in = signal(channels, n), out = in;
            in[bad][static_cast<size_t>(at)] = value;
            std::vector<BiquadState> f = states(channels), s = states(channels), rf = f, rs = s;
            scalarChain(in, n, rf, rs);
            rf[bad] = rs[bad] = BiquadState{};
            ops().biquadPairSquare(pointers(in).data(), pointers(out).data(), channels, n, kShelf, f.data(), kHighPass,
                                   s.data());
            for (int32_t c = 0; c < channels; ++c) EXPECT_TRUE(same(rf[c], f[c]) && same(rs[c], s[c])) << c;
            const Channels clean = signal(channels, n), expected = scalarChain(clean, n, rf, rs);
            ops().biquadPairSquare(pointers(const_cast<Channels&>(clean)).data(), pointers(out).data(), channels, n,
                                   kShelf, f.data(), kHighPass, s.data());
            for (int32_t c = 0; c < channels; ++c) EXPECT_TRUE(sameBits(expected[c].data(), out[c].data(), n)) << c;
        }
}

// The RMS average four samples a step, as the scalar table does it, and to
// rounding the one-sample recurrence; a bad sample clears the state, a NaN
// leaves the held value.
TEST_P(VectorTable, MeanSquareEqualsTheScalarStepsBitForBit) {
    const MeanSquareCoefficients k = MeanSquareCoefficients::of(0.999f, 0.001f);
    for (int32_t channels : {1, 2, 3, 4, 5, 9})
        for (int32_t n : lengths()) {
            const Channels in = signal(channels, n);
            std::vector<float> st = samples(channels, 0.0f, 0.5f), held = samples(channels, 0.0f, 0.5f);
            std::vector<float> refSt = st, refHeld = held, start = st;
            Channels out(in.size(), std::vector<float>(static_cast<size_t>(n))), ref = out;
            auto i = pointers(const_cast<Channels&>(in));
            ops().meanSquare(i.data(), pointers(out).data(), channels, n, k, st.data(), held.data());
            kScalarVectorOps.meanSquare(i.data(), pointers(ref).data(), channels, n, k, refSt.data(), refHeld.data());
            for (int32_t c = 0; c < channels; ++c) {
                SCOPED_TRACE(::testing::Message() << channels << " channels, n " << n << ", channel " << c);
                ASSERT_TRUE(sameBits(ref[c].data(), out[c].data(), static_cast<size_t>(n)));
                ASSERT_EQ(std::make_pair(st[c], held[c]), std::make_pair(refSt[c], refHeld[c]));
                double s = start[c];
                for (int32_t j = 0; j < n; ++j) s = double(k.b) * in[c][j] * in[c][j] + double(k.a) * s;
                ASSERT_NEAR(st[c], s, 1e-5 * s);
            }
        }
    for (float bad : {kNaN, kInf}) {
        std::vector<float> x = samples(67), out(67);
        x[33] = bad;
        const float* in = x.data();
        float* o = out.data();
        float state = 0.25f, held = 0.5f;
        ops().meanSquare(&in, &o, 1, 67, k, &state, &held);
        EXPECT_EQ(state, 0.0f);
        if (std::isnan(bad)) { EXPECT_EQ(held, 0.5f); }
    }
}

// The window sums keep every small value next to a large one (2^24 + 1 in
// single precision loses the 1): within a millionth of the exact sum. The
// gated sum counts values strictly above the threshold, in the body and the tail.
TEST_P(VectorTable, SumsAreWithinTheirPrecisionAndTheGatedOneCountsOnlyValuesAboveTheThreshold) {
    std::vector<int32_t> all = lengths();
    all.push_back(1 << 20);
    for (int32_t n : all) {
        std::vector<float> x = samples(n, 0.0f, 1.0f);
        if (n > 8) x[static_cast<size_t>(n / 2)] = 16777216.0f;
        long double exact = 0.0L, above = 0.0L;
        for (float v : x) exact += v;
        EXPECT_LE(std::fabs(static_cast<long double>(ops().sumExtended(x.data(), n)) - exact), 1e-6L * exact) << n;
        if (n == 1 << 20) continue; // the gated sum adds in single precision
        x = samples(n, 0.0f, 1.0f);
        for (int32_t i = 0; i < n; i += n == 29 ? 1 : 3) x[static_cast<size_t>(i)] = 0.5f;
        int32_t count = 0, gatedCount = -1;
        for (float v : x)
            if (v > 0.5f) above += v, ++count;
        float sum = -1.0f;
        ops().gatedSum(x.data(), n, 0.5f, sum, gatedCount);
        EXPECT_EQ(gatedCount, count) << n;
        EXPECT_LE(std::fabs(static_cast<long double>(sum) - above), 1e-5L * above) << n;
    }
}

// Peak: the largest finite magnitude, NaN and infinities passed over;
// allFinite: any bad sample anywhere is found, denormals and the largest
// finite values are finite.
TEST_P(VectorTable, PeakAndFiniteTestPassOverOrFindEveryBadSample) {
    const float bad[] = {kNaN, kInf, -kInf};
    for (int32_t n : lengths()) {
        std::vector<float> x = samples(n, -2.0f, 2.0f);
        float peak = 0.0f;
        for (float v : x) peak = std::max(peak, std::fabs(v));
        EXPECT_EQ(ops().peak(x.data(), n), peak) << n;
        if (n > 1) x[1] = std::numeric_limits<float>::max(), x[0] = -std::numeric_limits<float>::denorm_min();
        EXPECT_TRUE(ops().allFinite(x.data(), n)) << n;
        for (int32_t at = 0; at < n; at += at < 40 || at >= n - 40 ? 1 : 97) {
            const float kept = x[static_cast<size_t>(at)];
            x[static_cast<size_t>(at)] = bad[at % 3];
            EXPECT_FALSE(ops().allFinite(x.data(), n)) << n << ", bad sample at " << at;
            x[static_cast<size_t>(at)] = kept;
        }
        if (n == 0) continue;
        x.assign(static_cast<size_t>(n), 0.5f);
        x.back() = -9.0f; // a negative extreme in the body or the tail, bad samples wherever it could hide
        for (int32_t i = 0; i + 1 < n; i += 2) x[static_cast<size_t>(i)] = bad[(i / 2) % 3];
        EXPECT_EQ(ops().peak(x.data(), n), 9.0f) << n;
    }
    for (float x : {1e-12f, 1.17e-7f, 0.0117f, 0.5f, 1.0f, 19.0f, 1e6f}) {
        const float a = kScalarVectorOps.log10(x), b = ops().log10(x);
        EXPECT_TRUE(sameBits(&a, &b, 1)) << x;
    }
}

// The four-phase interpolation equals a plain FIR over the stream with three
// zeros after every sample, history carried across calls, for any phase
// length (the wider tables cache a bounded number of steps); its peak is the
// largest magnitude of those outputs, negative excursions included.
TEST_P(VectorTable, InterpolationEqualsTheZeroStuffedFirBitForBit) {
    const std::vector<int32_t> calls = {1, 3, 7, 64, 513, 2, 8, 9, 15, 16, 17, 1024, 5, 31, 33, 100};
    for (int32_t phaseLength : {1, 2, 21, 64, 65, 70}) {
        SCOPED_TRACE(::testing::Message() << "phase length " << phaseLength);
        const std::vector<float> phases = samples(4 * phaseLength, -0.5f, 0.5f);
        std::vector<float> line(static_cast<size_t>(phaseLength - 1), 0.0f), stuffed(4 * line.size(), 0.0f);
        for (int32_t n : calls) {
            const std::vector<float> in = samples(n, n % 2 ? -1.0f : -2.0f, n % 2 ? 1.0f : 0.1f);
            for (float x : in) stuffed.insert(stuffed.end(), {x, 0.0f, 0.0f, 0.0f});
            std::vector<float> expected(static_cast<size_t>(4 * n)), out(expected.size() + 1, 99.0f);
            const size_t t = phases.size(), first = stuffed.size() - expected.size();
            float peak = 0.0f;
            for (size_t i = 0; i < expected.size(); ++i) {
                for (size_t k = 0; k < t; ++k) expected[i] += first + i >= k ? phases[k] * stuffed[first + i - k] : 0.0f;
                peak = std::max(peak, std::fabs(expected[i]));
            }
            line.insert(line.end(), in.begin(), in.end());
            ops().interpolate4(phases.data(), phaseLength, line.data(), out.data(), n);
            ASSERT_TRUE(sameBits(expected.data(), out.data(), expected.size())) << "call of " << n;
            EXPECT_EQ(out.back(), 99.0f);
            EXPECT_EQ(ops().interpolate4Peak(phases.data(), phaseLength, line.data(), n), peak) << "call of " << n;
            line.erase(line.begin(), line.end() - (phaseLength - 1));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllTables, VectorTable, ::testing::ValuesIn(kAllTables),
                         [](const auto& info) { return std::string(vectorOpsOf(info.param).name); });

TEST(VectorOpsSelection, AKindIsTakenOnlyWhenAvailableAndTheDefaultIsTheWidest) {
    const VectorOps* widest = &kScalarVectorOps;
    for (VectorOpsKind kind : kAllTables) {
        ASSERT_TRUE(selectVectorOps(VectorOpsKind::kScalar));
        EXPECT_EQ(selectVectorOps(kind), vectorOpsAvailable(kind));
        EXPECT_EQ(&vectorOps(), vectorOpsAvailable(kind) ? &vectorOpsOf(kind) : &kScalarVectorOps);
        if (vectorOpsAvailable(kind)) widest = &vectorOpsOf(kind);
    }
    EXPECT_FALSE(selectVectorOps(static_cast<VectorOpsKind>(42)));
    selectVectorOps();
    EXPECT_EQ(&vectorOps(), widest) << vectorOps().name;
}

} // namespace
} // namespace DSP::testing
