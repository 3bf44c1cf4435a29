// The ordered block list behind the loudness range: order, sum, restart when
// the pool is used up, and the percentile positions over the gated values.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "dsp/SortedSumsList.h"

namespace DSP {
namespace {

std::vector<float> walk(const SortedSumsList& list) {
    std::vector<float> values;
    for (const SortedSumsList::Node* n = list.head(); n && values.size() <= static_cast<size_t>(list.capacity());
         n = n->next)
        values.push_back(n->value);
    return values;
}

TEST(SortedSumsList, RandomInsertsStayAscendingWithTheirSum) {
    SortedSumsList list(5000);
    std::mt19937 rng(7u);
    std::uniform_real_distribution<float> dist(1e-6f, 1.0f);
    std::vector<float> inserted;
    double exact = 0.0;
    for (int i = 0; i < 3000; ++i) {
        // Repeats of a few values as well: real programmes produce equal blocks.
        const float v = i % 5 == 0 ? 0.25f * static_cast<float>(1 + i % 3) : dist(rng);
        list.insert(v);
        inserted.push_back(v);
        exact += v;
    }
    EXPECT_EQ(list.count(), 3000);
    std::vector<float> expected = inserted;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(walk(list), expected);
    EXPECT_NEAR(list.sum(), exact, exact * 1e-5);
}

TEST(SortedSumsList, EqualValueGoesBeforeTheExistingOnes) {
    SortedSumsList list(8);
    list.insert(2.0f);
    const SortedSumsList::Node* firstTwo = list.head();
    list.insert(3.0f);
    list.insert(2.0f);
    ASSERT_NE(list.head(), firstTwo);
    EXPECT_EQ(list.head()->value, 2.0f);
    EXPECT_EQ(list.head()->next, firstTwo);
    list.insert(1.0f);
    list.insert(3.0f);
    EXPECT_EQ(walk(list), (std::vector<float>{1.0f, 2.0f, 2.0f, 3.0f, 3.0f}));
    EXPECT_EQ(list.sum(), 11.0f);
}

TEST(SortedSumsList, FullListStartsOverEmpty) {
    SortedSumsList list(3);
    list.insert(5.0f);
    list.insert(1.0f);
    list.insert(3.0f);
    EXPECT_EQ(list.count(), 3);
    list.insert(2.0f);
    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ(list.sum(), 2.0f);
    EXPECT_EQ(walk(list), std::vector<float>{2.0f});
    list.insert(4.0f);
    list.insert(0.5f);
    EXPECT_EQ(walk(list), (std::vector<float>{0.5f, 2.0f, 4.0f}));
    EXPECT_EQ(list.sum(), 6.5f);

    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.head(), nullptr);
    EXPECT_EQ(list.sum(), 0.0f);
    float low = -1.0f, high = -1.0f;
    EXPECT_FALSE(list.percentiles(0.0f, low, high));
}

// Values 1 .. n inserted in scrambled order, so position i holds i + 1.
void fillScrambled(SortedSumsList& list, int n) {
    std::vector<float> values;
    for (int i = 1; i <= n; ++i) values.push_back(static_cast<float>(i));
    std::shuffle(values.begin(), values.end(), std::mt19937(static_cast<unsigned>(n)));
    for (float v : values) list.insert(v);
}

TEST(SortedSumsList, PercentilePositionsForOneTenAndTwentyOneValues) {
    struct Case {
        int n, lo, hi;
    };
    for (Case c : {Case{1, 0, 0}, Case{2, 0, 1}, Case{10, 1, 9}, Case{21, 2, 19}}) {
        SortedSumsList list(64);
        fillScrambled(list, c.n);
        float low = -1.0f, high = -1.0f;
        ASSERT_TRUE(list.percentiles(0.0f, low, high)) << "n = " << c.n;
        EXPECT_EQ(low, static_cast<float>(c.lo + 1)) << "n = " << c.n;
        EXPECT_EQ(high, static_cast<float>(c.hi + 1)) << "n = " << c.n;
    }
}

TEST(SortedSumsList, ValuesAtOrBelowTheThresholdAreNotCounted) {
    SortedSumsList list(64);
    fillScrambled(list, 10); // 1 .. 10
    for (float v : {0.1f, 0.2f, 0.3f, 0.4f, 0.5f}) list.insert(v);
    float low = -1.0f, high = -1.0f;
    // 0.5 sits on the threshold: with it, n would be 11 and the low position would hold 1.
    ASSERT_TRUE(list.percentiles(0.5f, low, high));
    EXPECT_EQ(low, 2.0f);
    EXPECT_EQ(high, 10.0f);

    // Threshold 1.0 leaves 2 .. 10: n = 9, positions 1 and 8.
    ASSERT_TRUE(list.percentiles(1.0f, low, high));
    EXPECT_EQ(low, 3.0f);
    EXPECT_EQ(high, 10.0f);

    EXPECT_FALSE(list.percentiles(10.0f, low, high));
}

} // namespace
} // namespace DSP
