// Every vector table against the scalar reference: the filter chain must match
// bit for bit (meters on different machines must read the same), the sums
// within their stated precision, and a bad sample must not poison a filter.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "dsp/VectorOps.h"

namespace DSP {
namespace {

// The two weighting stages at 48 kHz: a high shelf and a low-cut, both stable
// and with poles close to the unit circle, which is where ordering matters.
constexpr BiquadCoefficients kShelf{1.53512485958697f, -2.69169618940638f, 1.19839281085285f, -1.69065929318241f,
                                    0.73248077421585f};
constexpr BiquadCoefficients kHighPass{1.0f, -2.0f, 1.0f, -1.99004745483398f, 0.99007225036621f};

std::vector<int32_t> testLengths() {
    std::vector<int32_t> lengths;
    for (int32_t n = 0; n <= 67; ++n) lengths.push_back(n);
    for (int32_t n : {255, 1021, 4800, 19203}) lengths.push_back(n);
    return lengths;
}

std::vector<float> randomSamples(std::mt19937& rng, int32_t n, float lo, float hi) {
    std::uniform_real_distribution<float> dist(lo, hi);
    std::vector<float> v(static_cast<size_t>(n));
    for (auto& x : v) x = dist(rng);
    return v;
}

BiquadState randomState(std::mt19937& rng) {
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    return BiquadState{dist(rng), dist(rng), dist(rng), dist(rng)};
}

::testing::AssertionResult sameBits(const float* expected, const float* actual, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        if (std::memcmp(&expected[i], &actual[i], sizeof(float)) != 0)
            return ::testing::AssertionFailure()
                   << "sample " << i << " of " << n << ": expected " << expected[i] << ", got " << actual[i];
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameState(const BiquadState& expected, const BiquadState& actual) {
    const float e[4] = {expected.x1, expected.x2, expected.y1, expected.y2};
    const float a[4] = {actual.x1, actual.x2, actual.y1, actual.y2};
    return sameBits(e, a, 4);
}

bool isCleared(const BiquadState& s) { return s.x1 == 0.0f && s.x2 == 0.0f && s.y1 == 0.0f && s.y2 == 0.0f; }

// Channel buffers with the pointer arrays the filter entry points take.
struct Channels {
    std::vector<std::vector<float>> data;
    std::vector<const float*> in;
    std::vector<float*> out;

    Channels(int32_t channels, int32_t n) : data(static_cast<size_t>(channels), std::vector<float>(n + 1)) {
        for (auto& d : data) {
            in.push_back(d.data());
            out.push_back(d.data());
        }
    }
    float* operator[](int32_t c) { return data[static_cast<size_t>(c)].data(); }
};

// What biquadPairSquare must reproduce: first stage, second stage, square.
void referenceChain(const std::vector<std::vector<float>>& input, std::vector<std::vector<float>>& output, int32_t n,
                    std::vector<BiquadState>& first, std::vector<BiquadState>& second) {
    const VectorOps& ref = kScalarVectorOps;
    for (size_t c = 0; c < input.size(); ++c) {
        output[c].assign(input[c].begin(), input[c].begin() + n);
        ref.biquad(input[c].data(), output[c].data(), n, kShelf, first[c]);
        ref.biquad(output[c].data(), output[c].data(), n, kHighPass, second[c]);
        ref.square(output[c].data(), n);
    }
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

class VectorOpsTable : public ::testing::TestWithParam<VectorOpsKind> {
protected:
    void SetUp() override {
        if (!vectorOpsAvailable(GetParam())) GTEST_SKIP() << kindName(GetParam()) << " not available here";
        ASSERT_TRUE(selectVectorOps(GetParam()));
        ASSERT_EQ(&vectorOps(), &vectorOpsOf(GetParam()));
    }
    void TearDown() override { selectVectorOps(); }

    const VectorOps& ops() const { return vectorOps(); }
    std::mt19937 rng{20240611u};
};

TEST_P(VectorOpsTable, BiquadPairSquareEqualsScalarChainBitForBit) {
    for (int32_t channels = 1; channels <= 9; ++channels) {
        for (int32_t n : testLengths()) {
            std::vector<std::vector<float>> input(static_cast<size_t>(channels)), expected(input.size());
            for (auto& ch : input) ch = randomSamples(rng, n, -1.0f, 1.0f);
            std::vector<BiquadState> first(input.size()), second(input.size());
            for (size_t c = 0; c < input.size(); ++c) {
                first[c] = randomState(rng);
                second[c] = randomState(rng);
            }
            std::vector<BiquadState> refFirst = first, refSecond = second;
            referenceChain(input, expected, n, refFirst, refSecond);

            Channels out(channels, n);
            std::vector<const float*> in;
            for (auto& ch : input) in.push_back(ch.data());
            ops().biquadPairSquare(in.data(), out.out.data(), channels, n, kShelf, first.data(), kHighPass,
                                   second.data());
            for (int32_t c = 0; c < channels; ++c) {
                SCOPED_TRACE(::testing::Message() << channels << " channels, n = " << n << ", channel " << c);
                EXPECT_TRUE(sameBits(expected[static_cast<size_t>(c)].data(), out[c], n));
                EXPECT_TRUE(sameState(refFirst[static_cast<size_t>(c)], first[static_cast<size_t>(c)]));
                EXPECT_TRUE(sameState(refSecond[static_cast<size_t>(c)], second[static_cast<size_t>(c)]));
                // Only the n samples asked for are written.
                EXPECT_EQ(out[c][n], 0.0f);
            }
        }
    }
}

TEST_P(VectorOpsTable, FilterStateCarriesAcrossCallsOfOddSizes) {
    const int32_t kTotal = 1500;
    const int32_t kSplits[] = {1, 3, 5, 7, 2, 9, 11, 13, 4, 17, 31, 63, 6, 129};
    for (int32_t channels = 1; channels <= 9; ++channels) {
        std::vector<std::vector<float>> input(static_cast<size_t>(channels)), expected(input.size());
        for (auto& ch : input) ch = randomSamples(rng, kTotal, -1.0f, 1.0f);
        std::vector<BiquadState> first(input.size()), second(input.size());
        referenceChain(input, expected, kTotal, first, second);

        std::vector<std::vector<float>> pairOut(input.size(), std::vector<float>(kTotal));
        std::vector<std::vector<float>> singleOut(input.size(), std::vector<float>(kTotal));
        std::vector<BiquadState> f(input.size()), s(input.size()), single(input.size());
        int32_t pos = 0;
        for (size_t k = 0; pos < kTotal; ++k) {
            const int32_t n = std::min(kSplits[k % std::size(kSplits)], kTotal - pos);
            std::vector<const float*> in;
            std::vector<float*> out;
            for (size_t c = 0; c < input.size(); ++c) {
                in.push_back(input[c].data() + pos);
                out.push_back(pairOut[c].data() + pos);
                ops().biquad(input[c].data() + pos, singleOut[c].data() + pos, n, kShelf, single[c]);
            }
            ops().biquadPairSquare(in.data(), out.data(), channels, n, kShelf, f.data(), kHighPass, s.data());
            pos += n;
        }
        std::vector<std::vector<float>> firstStageOnly(input.size(), std::vector<float>(kTotal));
        for (size_t c = 0; c < input.size(); ++c) {
            SCOPED_TRACE(::testing::Message() << channels << " channels, channel " << c);
            EXPECT_TRUE(sameBits(expected[c].data(), pairOut[c].data(), kTotal));
            BiquadState ref;
            kScalarVectorOps.biquad(input[c].data(), firstStageOnly[c].data(), kTotal, kShelf, ref);
            EXPECT_TRUE(sameBits(firstStageOnly[c].data(), singleOut[c].data(), kTotal));
            EXPECT_TRUE(sameState(ref, single[c]));
        }
    }
}

TEST_P(VectorOpsTable, FiltersAndSquareWorkInPlace) {
    for (int32_t channels : {1, 3, 4, 5, 8, 9}) {
        for (int32_t n : {0, 1, 4, 7, 33, 67, 1021}) {
            std::vector<std::vector<float>> input(static_cast<size_t>(channels)), expected(input.size());
            for (auto& ch : input) ch = randomSamples(rng, n, -1.0f, 1.0f);
            std::vector<BiquadState> rf(input.size()), rs(input.size()), f(input.size()), s(input.size());
            referenceChain(input, expected, n, rf, rs);

            std::vector<std::vector<float>> buffers = input;
            std::vector<const float*> in;
            std::vector<float*> out;
            for (auto& b : buffers) {
                in.push_back(b.data());
                out.push_back(b.data());
            }
            ops().biquadPairSquare(in.data(), out.data(), channels, n, kShelf, f.data(), kHighPass, s.data());
            for (size_t c = 0; c < buffers.size(); ++c) {
                SCOPED_TRACE(::testing::Message() << channels << " channels, n = " << n << ", channel " << c);
                EXPECT_TRUE(sameBits(expected[c].data(), buffers[c].data(), n));

                std::vector<float> outOfPlace(static_cast<size_t>(n) + 1), inPlace = input[c];
                BiquadState a, b;
                kScalarVectorOps.biquad(input[c].data(), outOfPlace.data(), n, kShelf, a);
                ops().biquad(inPlace.data(), inPlace.data(), n, kShelf, b);
                EXPECT_TRUE(sameBits(outOfPlace.data(), inPlace.data(), n));

                std::vector<float> squared = input[c];
                ops().square(squared.data(), n);
                for (int32_t i = 0; i < n; ++i) ASSERT_EQ(squared[i], input[c][i] * input[c][i]) << "sample " << i;
            }
        }
    }
}

TEST_P(VectorOpsTable, NonFiniteInputClearsTheFilterStateAndNextCallIsClean) {
    const float kBad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(), 3.0e38f /* overflows inside the recursion */};
    const int32_t n = 37;
    for (float bad : kBad) {
        for (int32_t at : {0, 5, n - 1}) {
            SCOPED_TRACE(::testing::Message() << "bad value " << bad << " at " << at);
            std::vector<float> x = randomSamples(rng, n, -1.0f, 1.0f), y(static_cast<size_t>(n));
            x[static_cast<size_t>(at)] = bad;
            BiquadState state = randomState(rng);
            ops().biquad(x.data(), y.data(), n, kShelf, state);
            EXPECT_TRUE(isCleared(state));

            const std::vector<float> next = randomSamples(rng, n, -1.0f, 1.0f);
            std::vector<float> got(static_cast<size_t>(n)), want(static_cast<size_t>(n));
            BiquadState fresh;
            kScalarVectorOps.biquad(next.data(), want.data(), n, kShelf, fresh);
            ops().biquad(next.data(), got.data(), n, kShelf, state);
            for (float v : got) ASSERT_TRUE(std::isfinite(v));
            EXPECT_TRUE(sameBits(want.data(), got.data(), n));

            // In the channel-parallel chain only the poisoned channel starts over.
            const int32_t channels = 6, badChannel = 4;
            std::vector<std::vector<float>> input(channels), expectedNext(channels);
            for (auto& ch : input) ch = randomSamples(rng, n, -1.0f, 1.0f);
            input[badChannel][static_cast<size_t>(at)] = bad;
            std::vector<BiquadState> f(channels), s(channels);
            for (int32_t c = 0; c < channels; ++c) {
                f[c] = randomState(rng);
                s[c] = randomState(rng);
            }
            std::vector<BiquadState> rf = f, rs = s;
            std::vector<std::vector<float>> refOut(channels);
            referenceChain(input, refOut, n, rf, rs);

            Channels out(channels, n);
            std::vector<const float*> in;
            for (auto& ch : input) in.push_back(ch.data());
            ops().biquadPairSquare(in.data(), out.out.data(), channels, n, kShelf, f.data(), kHighPass, s.data());
            EXPECT_TRUE(isCleared(f[badChannel]));
            EXPECT_TRUE(isCleared(s[badChannel]));
            for (int32_t c = 0; c < channels; ++c) {
                if (c == badChannel) continue;
                EXPECT_TRUE(sameState(rf[c], f[c])) << "channel " << c;
                EXPECT_TRUE(sameState(rs[c], s[c])) << "channel " << c;
            }

            std::vector<std::vector<float>> clean(channels);
            for (auto& ch : clean) ch = randomSamples(rng, n, -1.0f, 1.0f);
            referenceChain(clean, expectedNext, n, rf, rs);
            std::vector<const float*> cleanIn;
            for (auto& ch : clean) cleanIn.push_back(ch.data());
            ops().biquadPairSquare(cleanIn.data(), out.out.data(), channels, n, kShelf, f.data(), kHighPass,
                                   s.data());
            for (int32_t c = 0; c < channels; ++c) {
                for (int32_t i = 0; i < n; ++i) ASSERT_TRUE(std::isfinite(out[c][i])) << "channel " << c;
                EXPECT_TRUE(sameBits(expectedNext[c].data(), out[c], n)) << "channel " << c;
            }
        }
    }
}

TEST_P(VectorOpsTable, SumExtendedIsWithinOneMillionthOfExactSum) {
    std::vector<int32_t> lengths = testLengths();
    lengths.push_back(1 << 20);
    for (int32_t n : lengths) {
        const std::vector<float> x = randomSamples(rng, n, 0.0f, 1.0f);
        long double exact = 0.0L;
        for (float v : x) exact += v;
        const float got = ops().sumExtended(x.data(), n);
        if (n == 0) {
            EXPECT_EQ(got, 0.0f);
            continue;
        }
        EXPECT_LE(std::fabs(static_cast<long double>(got) - exact), 1e-6L * exact) << "n = " << n;
    }
    // A single-precision accumulator loses every 1 added to 2^24; the window
    // sums of a loud onset followed by quiet samples depend on keeping them.
    for (int32_t n : {8, 13, 4099}) {
        for (int32_t bigAt : {0, n / 2, n - 1}) {
            std::vector<float> x(static_cast<size_t>(n), 1.0f);
            x[static_cast<size_t>(bigAt)] = 16777216.0f;
            const long double exact = 16777216.0L + (n - 1);
            const float got = ops().sumExtended(x.data(), n);
            EXPECT_LE(std::fabs(static_cast<long double>(got) - exact), 1e-6L * exact)
                << "n = " << n << ", big value at " << bigAt;
        }
    }
}

TEST_P(VectorOpsTable, MinMaxIsExact) {
    struct Range {
        float lo, hi;
    };
    // Mixed signs, all negative, all positive: a start value of 0 shows in the last two.
    for (Range r : {Range{-2.0f, 2.0f}, Range{-3.0f, -1.0f}, Range{1.0f, 3.0f}}) {
        for (int32_t n : testLengths()) {
            const std::vector<float> x = randomSamples(rng, n, r.lo, r.hi);
            float mn = -99.0f, mx = 99.0f;
            ops().minMax(x.data(), n, mn, mx);
            if (n == 0) {
                EXPECT_EQ(mn, 0.0f);
                EXPECT_EQ(mx, 0.0f);
                continue;
            }
            EXPECT_EQ(mn, *std::min_element(x.begin(), x.end())) << "n = " << n;
            EXPECT_EQ(mx, *std::max_element(x.begin(), x.end())) << "n = " << n;
        }
    }
    // Extremes in the tail and at the very start.
    for (int32_t n : {9, 17, 67}) {
        std::vector<float> x = randomSamples(rng, n, -1.0f, 1.0f);
        x.back() = 5.0f;
        x.front() = -5.0f;
        float mn, mx;
        ops().minMax(x.data(), n, mn, mx);
        EXPECT_EQ(mn, -5.0f);
        EXPECT_EQ(mx, 5.0f);
    }
}

TEST_P(VectorOpsTable, MeanSquareEqualsTheScalarStepsBitForBitAndTheRecurrenceToRounding) {
    // A fast average (time constant 1000 samples) keeps the rounding drift of long runs small.
    const float a = 0.999f;
    const MeanSquareCoefficients k = MeanSquareCoefficients::of(a, 1.0f - a);
    std::uniform_real_distribution<float> start(0.0f, 0.5f);
    for (int32_t channels : {1, 2, 3, 4, 5, 9}) {
        for (int32_t n : testLengths()) {
            std::vector<std::vector<float>> input(static_cast<size_t>(channels));
            for (auto& ch : input) ch = randomSamples(rng, n, -1.0f, 1.0f);
            std::vector<float> states(input.size()), held(input.size());
            for (size_t c = 0; c < input.size(); ++c) {
                states[c] = start(rng);
                held[c] = start(rng);
            }
            const std::vector<float> initialStates = states, initialHeld = held;
            std::vector<float> refStates = states, refHeld = held;
            Channels out(channels, n), ref(channels, n);
            std::vector<const float*> in;
            for (auto& ch : input) in.push_back(ch.data());
            ops().meanSquare(in.data(), out.out.data(), channels, n, k, states.data(), held.data());
            kScalarVectorOps.meanSquare(in.data(), ref.out.data(), channels, n, k, refStates.data(), refHeld.data());
            for (int32_t c = 0; c < channels; ++c) {
                SCOPED_TRACE(::testing::Message() << channels << " channels, n = " << n << ", channel " << c);
                const size_t cc = static_cast<size_t>(c);
                ASSERT_TRUE(sameBits(ref[c], out[c], n));
                EXPECT_EQ(states[cc], refStates[cc]);
                EXPECT_EQ(held[cc], refHeld[cc]);
                // The one-sample recurrence, in double, from the same start.
                double sd = initialStates[cc], hd = initialHeld[cc];
                for (int32_t i = 0; i < n; ++i) {
                    const double x = input[cc][static_cast<size_t>(i)];
                    sd = static_cast<double>(k.b) * x * x + static_cast<double>(a) * sd;
                    hd = std::max(hd, sd);
                    ASSERT_NEAR(out[c][i], sd, 1e-5 * sd) << "sample " << i;
                }
                EXPECT_NEAR(held[cc], hd, 1e-5 * hd);
            }
        }
    }
}

TEST_P(VectorOpsTable, MeanSquareClearsAStatePoisonedByBadInputAndKeepsTheHeldValue) {
    const MeanSquareCoefficients k = MeanSquareCoefficients::of(0.999f, 0.001f);
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        for (int32_t n : {1, 4, 7, 64, 67}) {
            std::vector<float> x = randomSamples(rng, n, -1.0f, 1.0f), out(static_cast<size_t>(n));
            x[static_cast<size_t>(n / 2)] = bad;
            const float* in = x.data();
            float* o = out.data();
            float state = 0.25f, held = 0.5f;
            ops().meanSquare(&in, &o, 1, n, k, &state, &held);
            EXPECT_EQ(state, 0.0f) << "n = " << n;
            if (std::isnan(bad)) {
                EXPECT_EQ(held, 0.5f) << "n = " << n; // NaN states are passed over
            }
            // The next call measures again from the cleared state.
            x.assign(static_cast<size_t>(n), 1.0f);
            ops().meanSquare(&in, &o, 1, n, k, &state, &held);
            EXPECT_GT(state, 0.0f);
            EXPECT_TRUE(std::isfinite(state));
        }
    }
}

TEST_P(VectorOpsTable, PeakIsTheLargestMagnitudeAndPassesOverNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int32_t n : testLengths()) {
        std::vector<float> x = randomSamples(rng, n, -1.0f, 1.0f);
        float expected = 0.0f;
        for (float v : x) expected = std::max(expected, std::fabs(v));
        EXPECT_EQ(ops().peak(x.data(), n), expected) << "n = " << n;
        if (n == 0) continue;
        // A negative extreme at either end (vector body or tail), then NaNs everywhere else it could hide.
        x[static_cast<size_t>(n - 1)] = -3.0f;
        for (int32_t i = 0; i + 1 < n; i += 2) x[static_cast<size_t>(i)] = nan;
        EXPECT_EQ(ops().peak(x.data(), n), 3.0f) << "n = " << n;
        x.assign(static_cast<size_t>(n), -0.0f);
        EXPECT_EQ(ops().peak(x.data(), n), 0.0f) << "n = " << n;
    }
}

TEST_P(VectorOpsTable, GatedSumCountsStrictlyAboveThreshold) {
    const float threshold = 0.5f;
    std::vector<int32_t> lengths = testLengths();
    lengths.push_back(5003);
    for (int32_t n : lengths) {
        std::vector<float> x = randomSamples(rng, n, 0.0f, 1.0f);
        // Values exactly at the threshold, in the vector body and in the tail.
        for (int32_t i = 0; i < n; i += 3) x[static_cast<size_t>(i)] = threshold;
        if (n > 0) x.back() = threshold;
        long double exact = 0.0L;
        int32_t above = 0;
        for (float v : x) {
            if (v > threshold) {
                exact += v;
                ++above;
            }
        }
        float sum = -1.0f;
        int32_t count = -1;
        ops().gatedSum(x.data(), n, threshold, sum, count);
        EXPECT_EQ(count, above) << "n = " << n;
        if (above == 0)
            EXPECT_EQ(sum, 0.0f) << "n = " << n;
        else
            EXPECT_LE(std::fabs(static_cast<long double>(sum) - exact), 1e-5L * exact) << "n = " << n;
    }
    std::vector<float> allAtThreshold(29, threshold);
    float sum = -1.0f;
    int32_t count = -1;
    ops().gatedSum(allAtThreshold.data(), 29, threshold, sum, count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(sum, 0.0f);
}

TEST_P(VectorOpsTable, Log10AgreesWithScalar) {
    // Loudness readings must not depend on the table in use.
    for (float x : {1e-12f, 1.17e-7f, 0.001f, 0.0117f, 0.5f, 1.0f, 19.0f, 1e6f}) {
        const float a = kScalarVectorOps.log10(x), b = ops().log10(x);
        EXPECT_TRUE(sameBits(&a, &b, 1)) << "x = " << x;
    }
    EXPECT_EQ(ops().log10(1000.0f), 3.0f);
}

INSTANTIATE_TEST_SUITE_P(AllTables, VectorOpsTable,
                         ::testing::Values(VectorOpsKind::kScalar, VectorOpsKind::kSse2, VectorOpsKind::kAvx2,
                                           VectorOpsKind::kAvx512),
                         [](const ::testing::TestParamInfo<VectorOpsKind>& info) { return kindName(info.param); });

class VectorOpsSelection : public ::testing::Test {
protected:
    void TearDown() override { selectVectorOps(); }
};

TEST_F(VectorOpsSelection, SelectingAKindSwitchesTheActiveTableOnlyWhenAvailable) {
    ASSERT_TRUE(vectorOpsAvailable(VectorOpsKind::kScalar));
    for (VectorOpsKind kind : {VectorOpsKind::kScalar, VectorOpsKind::kSse2, VectorOpsKind::kAvx2, VectorOpsKind::kAvx512}) {
        ASSERT_TRUE(selectVectorOps(VectorOpsKind::kScalar));
        const bool available = vectorOpsAvailable(kind);
        EXPECT_EQ(selectVectorOps(kind), available) << kindName(kind);
        EXPECT_EQ(&vectorOps(), available ? &vectorOpsOf(kind) : &kScalarVectorOps) << kindName(kind);
    }
    // A kind this build does not know is refused and changes nothing.
    ASSERT_TRUE(selectVectorOps(VectorOpsKind::kScalar));
    EXPECT_FALSE(vectorOpsAvailable(static_cast<VectorOpsKind>(42)));
    EXPECT_FALSE(selectVectorOps(static_cast<VectorOpsKind>(42)));
    EXPECT_EQ(&vectorOps(), &kScalarVectorOps);
}

TEST_F(VectorOpsSelection, DefaultChoiceIsTheWidestAvailableTable) {
    ASSERT_TRUE(selectVectorOps(VectorOpsKind::kScalar));
    selectVectorOps();
    const VectorOps* expected = &kScalarVectorOps;
    if (vectorOpsAvailable(VectorOpsKind::kSse2)) expected = &kSse2VectorOps;
    if (vectorOpsAvailable(VectorOpsKind::kAvx2)) expected = &kAvx2VectorOps;
    if (vectorOpsAvailable(VectorOpsKind::kAvx512)) expected = &kAvx512VectorOps;
    EXPECT_EQ(&vectorOps(), expected) << vectorOps().name;
    selectVectorOps(); // idempotent
    EXPECT_EQ(&vectorOps(), expected);
}

} // namespace
} // namespace DSP
