// Every vector table against the scalar reference: the filter chain must match
// bit for bit (meters on different machines must read the same), the sums
// within their stated precision, and a bad sample must not poison a filter.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "dsp/VectorOps.h"
#include "tests/dsp/LoudnessTestSupport.h"

namespace DSP {
namespace {

using testing::sameBits;

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

using Signal = std::vector<std::vector<float>>; // [channel][sample]

::testing::AssertionResult sameState(const BiquadState& expected, const BiquadState& actual) {
    const float e[4] = {expected.x1, expected.x2, expected.y1, expected.y2};
    const float a[4] = {actual.x1, actual.x2, actual.y1, actual.y2};
    return sameBits(e, a, 4);
}

std::vector<const float*> inputsOf(const Signal& s, size_t offset = 0) {
    std::vector<const float*> p;
    for (auto& ch : s) p.push_back(ch.data() + offset);
    return p;
}

std::vector<float*> outputsOf(Signal& s, size_t offset = 0) {
    std::vector<float*> p;
    for (auto& ch : s) p.push_back(ch.data() + offset);
    return p;
}

// What biquadPairSquare must reproduce: first stage, second stage, square.
Signal referenceChain(const Signal& input, int32_t n, std::vector<BiquadState>& first,
                      std::vector<BiquadState>& second) {
    const VectorOps& ref = kScalarVectorOps;
    Signal output(input.size());
    for (size_t c = 0; c < input.size(); ++c) {
        output[c].assign(input[c].begin(), input[c].begin() + n);
        ref.biquad(input[c].data(), output[c].data(), n, kShelf, first[c]);
        ref.biquad(output[c].data(), output[c].data(), n, kHighPass, second[c]);
        ref.square(output[c].data(), n);
    }
    return output;
}

class VectorOpsTable : public testing::EachTable {
protected:
    Signal randomSignal(int32_t channels, int32_t n) {
        Signal s(static_cast<size_t>(channels));
        for (auto& ch : s) ch = testing::randomSamples(rng, static_cast<size_t>(n), -1.0f, 1.0f);
        return s;
    }
    std::vector<BiquadState> randomStates(size_t channels) {
        std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
        std::vector<BiquadState> states(channels);
        for (auto& s : states) s = BiquadState{dist(rng), dist(rng), dist(rng), dist(rng)};
        return states;
    }
    std::vector<float> samples(int32_t n, float lo, float hi) {
        return testing::randomSamples(rng, static_cast<size_t>(n), lo, hi);
    }

    std::mt19937 rng{20240611u};
};

// Out of place (one sample of room past n that must stay untouched) and in place.
TEST_P(VectorOpsTable, BiquadPairSquareEqualsScalarChainBitForBit) {
    for (bool inPlace : {false, true}) {
        for (int32_t channels = 1; channels <= 9; ++channels) {
            for (int32_t n : testLengths()) {
                const Signal input = randomSignal(channels, n);
                std::vector<BiquadState> first = randomStates(input.size()), second = randomStates(input.size());
                std::vector<BiquadState> refFirst = first, refSecond = second;
                const Signal expected = referenceChain(input, n, refFirst, refSecond);

                Signal out = inPlace ? input : Signal(input.size(), std::vector<float>(static_cast<size_t>(n) + 1));
                auto in = inPlace ? inputsOf(out) : inputsOf(input);
                ops().biquadPairSquare(in.data(), outputsOf(out).data(), channels, n, kShelf, first.data(), kHighPass,
                                       second.data());
                for (size_t c = 0; c < input.size(); ++c) {
                    SCOPED_TRACE(::testing::Message() << channels << " channels, n = " << n << ", channel " << c
                                                      << (inPlace ? ", in place" : ""));
                    ASSERT_TRUE(sameBits(expected[c].data(), out[c].data(), static_cast<size_t>(n)));
                    EXPECT_TRUE(sameState(refFirst[c], first[c]));
                    EXPECT_TRUE(sameState(refSecond[c], second[c]));
                    if (!inPlace) { // only n samples are written
                        EXPECT_EQ(out[c][static_cast<size_t>(n)], 0.0f);
                    }
                }
            }
        }
    }
}

// Only the poisoned channel starts over, and the next call is clean.
TEST_P(VectorOpsTable, NonFiniteInputClearsTheFilterStateAndNextCallIsClean) {
    const float kBad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(), 3.0e38f /* overflows inside the recursion */};
    const int32_t n = 37, channels = 6, badChannel = 4;
    for (float bad : kBad) {
        for (int32_t at : {0, 5, n - 1}) {
            SCOPED_TRACE(::testing::Message() << "bad value " << bad << " at " << at);
            Signal input = randomSignal(channels, n);
            input[badChannel][static_cast<size_t>(at)] = bad;
            std::vector<BiquadState> f = randomStates(channels), s = randomStates(channels);
            std::vector<BiquadState> rf = f, rs = s;
            referenceChain(input, n, rf, rs);
            Signal out(channels, std::vector<float>(static_cast<size_t>(n)));
            ops().biquadPairSquare(inputsOf(input).data(), outputsOf(out).data(), channels, n, kShelf, f.data(),
                                   kHighPass, s.data());
            rf[badChannel] = rs[badChannel] = BiquadState{}; // cleared
            for (int32_t c = 0; c < channels; ++c) {
                EXPECT_TRUE(sameState(rf[c], f[c])) << "channel " << c;
                EXPECT_TRUE(sameState(rs[c], s[c])) << "channel " << c;
            }

            const Signal clean = randomSignal(channels, n);
            const Signal expectedNext = referenceChain(clean, n, rf, rs);
            ops().biquadPairSquare(inputsOf(clean).data(), outputsOf(out).data(), channels, n, kShelf, f.data(),
                                   kHighPass, s.data());
            for (int32_t c = 0; c < channels; ++c)
                EXPECT_TRUE(sameBits(expectedNext[c].data(), out[c].data(), n)) << "channel " << c;
        }
    }
}

TEST_P(VectorOpsTable, SumExtendedIsWithinOneMillionthOfExactSum) {
    std::vector<int32_t> lengths = testLengths();
    lengths.push_back(1 << 20);
    for (int32_t n : lengths) {
        const std::vector<float> x = samples(n, 0.0f, 1.0f);
        long double exact = 0.0L;
        for (float v : x) exact += v;
        EXPECT_LE(std::fabs(static_cast<long double>(ops().sumExtended(x.data(), n)) - exact), 1e-6L * exact)
            << "n = " << n;
    }
    // A single-precision accumulator loses every 1 added to 2^24; the window
    // sums of a loud onset followed by quiet samples depend on keeping them.
    for (int32_t n : {8, 13, 4099}) {
        for (int32_t bigAt : {0, n / 2, n - 1}) {
            std::vector<float> x(static_cast<size_t>(n), 1.0f);
            x[static_cast<size_t>(bigAt)] = 16777216.0f;
            const long double exact = 16777216.0L + (n - 1);
            EXPECT_LE(std::fabs(static_cast<long double>(ops().sumExtended(x.data(), n)) - exact), 1e-6L * exact)
                << "n = " << n << ", big value at " << bigAt;
        }
    }
}

// Mixed signs, all negative, all positive; a negative extreme at the end
// (vector body or tail) with NaNs and infinities everywhere else it could hide.
TEST_P(VectorOpsTable, PeakIsTheLargestFiniteMagnitude) {
    for (auto [lo, hi] : {std::pair{-2.0f, 2.0f}, std::pair{-3.0f, -1.0f}, std::pair{1.0f, 3.0f}}) {
        for (int32_t n : testLengths()) {
            std::vector<float> x = samples(n, lo, hi);
            float peak = 0.0f;
            for (float v : x) peak = std::max(peak, std::fabs(v));
            EXPECT_EQ(ops().peak(x.data(), n), peak) << "n = " << n;
            if (n == 0) continue;
            x.back() = -9.0f;
            const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity()};
            for (int32_t i = 0; i + 1 < n; i += 2) x[static_cast<size_t>(i)] = bad[(i / 2) % 3];
            EXPECT_EQ(ops().peak(x.data(), n), 9.0f) << "n = " << n;
            x.assign(static_cast<size_t>(n), -0.0f);
            EXPECT_EQ(ops().peak(x.data(), n), 0.0f) << "n = " << n;
        }
    }
}

// One bad sample anywhere (vector body or tail) is found; denormals and the
// largest finite values are finite.
TEST_P(VectorOpsTable, AllFiniteFindsEveryNaNAndInfinity) {
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (int32_t n : testLengths()) {
        std::vector<float> x = samples(n, -1.0f, 1.0f);
        if (n > 1) x[1] = std::numeric_limits<float>::max(), x[0] = -std::numeric_limits<float>::denorm_min();
        EXPECT_TRUE(ops().allFinite(x.data(), n)) << "n = " << n;
        for (int32_t at = 0; at < n; at += at < 40 || at >= n - 40 ? 1 : 97) {
            const float kept = x[static_cast<size_t>(at)];
            x[static_cast<size_t>(at)] = bad[at % 3];
            EXPECT_FALSE(ops().allFinite(x.data(), n)) << "n = " << n << ", bad sample at " << at;
            x[static_cast<size_t>(at)] = kept;
        }
    }
}

TEST_P(VectorOpsTable, MeanSquareEqualsTheScalarStepsBitForBitAndTheRecurrenceToRounding) {
    // A fast average (time constant 1000 samples) keeps the rounding drift of long runs small.
    const float a = 0.999f;
    const MeanSquareCoefficients k = MeanSquareCoefficients::of(a, 1.0f - a);
    std::uniform_real_distribution<float> start(0.0f, 0.5f);
    for (int32_t channels : {1, 2, 3, 4, 5, 9}) {
        for (int32_t n : testLengths()) {
            const Signal input = randomSignal(channels, n);
            std::vector<float> states(input.size()), held(input.size());
            for (size_t c = 0; c < input.size(); ++c) {
                states[c] = start(rng);
                held[c] = start(rng);
            }
            const std::vector<float> initialStates = states, initialHeld = held;
            std::vector<float> refStates = states, refHeld = held;
            Signal out(input.size(), std::vector<float>(static_cast<size_t>(n))), ref = out;
            ops().meanSquare(inputsOf(input).data(), outputsOf(out).data(), channels, n, k, states.data(),
                             held.data());
            kScalarVectorOps.meanSquare(inputsOf(input).data(), outputsOf(ref).data(), channels, n, k,
                                        refStates.data(), refHeld.data());
            for (size_t c = 0; c < input.size(); ++c) {
                SCOPED_TRACE(::testing::Message() << channels << " channels, n = " << n << ", channel " << c);
                ASSERT_TRUE(sameBits(ref[c].data(), out[c].data(), static_cast<size_t>(n)));
                EXPECT_EQ(states[c], refStates[c]);
                EXPECT_EQ(held[c], refHeld[c]);
                // The one-sample recurrence, in double, from the same start.
                double sd = initialStates[c], hd = initialHeld[c];
                for (int32_t i = 0; i < n; ++i) {
                    const double x = input[c][static_cast<size_t>(i)];
                    sd = static_cast<double>(k.b) * x * x + static_cast<double>(a) * sd;
                    hd = std::max(hd, sd);
                    ASSERT_NEAR(out[c][static_cast<size_t>(i)], sd, 1e-5 * sd) << "sample " << i;
                }
                EXPECT_NEAR(held[c], hd, 1e-5 * hd);
            }
        }
    }
}

TEST_P(VectorOpsTable, MeanSquareClearsAStatePoisonedByBadInputAndKeepsTheHeldValue) {
    const MeanSquareCoefficients k = MeanSquareCoefficients::of(0.999f, 0.001f);
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
        for (int32_t n : {1, 4, 7, 64, 67}) {
            std::vector<float> x = samples(n, -1.0f, 1.0f), out(static_cast<size_t>(n));
            x[static_cast<size_t>(n / 2)] = bad;
            const float* in = x.data();
            float* o = out.data();
            float state = 0.25f, held = 0.5f;
            ops().meanSquare(&in, &o, 1, n, k, &state, &held);
            EXPECT_EQ(state, 0.0f) << "n = " << n;
            if (std::isnan(bad)) { // NaN states are passed over
                EXPECT_EQ(held, 0.5f) << "n = " << n;
            }
            // The next call measures again from the cleared state.
            x.assign(static_cast<size_t>(n), 1.0f);
            ops().meanSquare(&in, &o, 1, n, k, &state, &held);
            EXPECT_GT(state, 0.0f);
            EXPECT_TRUE(std::isfinite(state));
        }
    }
}

TEST_P(VectorOpsTable, GatedSumCountsStrictlyAboveThreshold) {
    const float threshold = 0.5f;
    std::vector<int32_t> lengths = testLengths();
    lengths.push_back(5003);
    for (int32_t n : lengths) {
        std::vector<float> x = samples(n, 0.0f, 1.0f);
        // Values exactly at the threshold, in the vector body and in the tail; all of them in one case.
        for (int32_t i = 0; i < n; i += n == 29 ? 1 : 3) x[static_cast<size_t>(i)] = threshold;
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
}

TEST_P(VectorOpsTable, Log10AgreesWithScalar) {
    // Loudness readings must not depend on the table in use.
    for (float x : {1e-12f, 1.17e-7f, 0.001f, 0.0117f, 0.5f, 1.0f, 19.0f, 1e6f}) {
        const float a = kScalarVectorOps.log10(x), b = ops().log10(x);
        EXPECT_TRUE(sameBits(&a, &b, 1)) << "x = " << x;
    }
    EXPECT_EQ(ops().log10(1000.0f), 3.0f);
}

INSTANTIATE_TEST_SUITE_P(AllTables, VectorOpsTable, ::testing::ValuesIn(testing::kAllTables), testing::tableName);

TEST(VectorOpsSelection, AKindIsTakenOnlyWhenAvailableAndTheDefaultIsTheWidest) {
    testing::DefaultTableOnExit restore;
    ASSERT_TRUE(vectorOpsAvailable(VectorOpsKind::kScalar));
    const VectorOps* widest = &kScalarVectorOps;
    for (VectorOpsKind kind : testing::kAllTables) {
        ASSERT_TRUE(selectVectorOps(VectorOpsKind::kScalar));
        const bool available = vectorOpsAvailable(kind);
        EXPECT_EQ(selectVectorOps(kind), available) << testing::kindName(kind);
        EXPECT_EQ(&vectorOps(), available ? &vectorOpsOf(kind) : &kScalarVectorOps) << testing::kindName(kind);
        if (available) widest = &vectorOpsOf(kind);
    }
    // A kind this build does not know is refused and changes nothing.
    ASSERT_TRUE(selectVectorOps(VectorOpsKind::kScalar));
    EXPECT_FALSE(vectorOpsAvailable(static_cast<VectorOpsKind>(42)));
    EXPECT_FALSE(selectVectorOps(static_cast<VectorOpsKind>(42)));
    EXPECT_EQ(&vectorOps(), &kScalarVectorOps);

    selectVectorOps();
    EXPECT_EQ(&vectorOps(), widest) << vectorOps().name;
    selectVectorOps(); // idempotent
    EXPECT_EQ(&vectorOps(), widest);
}

} // namespace
} // namespace DSP
