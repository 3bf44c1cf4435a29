// The host's per-block parameter change lists: one queue per parameter,
// points kept in offset order, and fixed capacities that refuse instead of
// growing (the audio thread must not allocate).

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "HostTestSupport.h"

namespace HostTest {
namespace {

using Points = std::vector<std::pair<int32_t, double>>;

Points pointsOf(IParamQueue* queue) {
    Points points;
    for (int32_t i = 0; i < queue->pointCount(); ++i) {
        int32_t offset = -1;
        double value = -1;
        EXPECT_EQ(queue->readPoint(i, &offset, &value), kResultOk);
        points.emplace_back(offset, value);
    }
    return points;
}

TEST(ParameterChanges, OneQueuePerIdUpToTheCapacityAndClearedQueuesStartEmpty) {
    auto changes = IPtr<ParameterChanges>::adopt(new ParameterChanges(2, 4));
    const ParamID gain = 5, mode = 7, third = 9;
    int32_t index = -1;
    IParamQueue* first = changes->queueFor(&gain, &index);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(first->getParameterId(), gain);
    IParamQueue* second = changes->queueFor(&mode, &index);
    EXPECT_EQ(index, 1);
    EXPECT_NE(second, first);
    EXPECT_EQ(changes->queueFor(&gain, &index), first) << "the same id gives the same queue";
    EXPECT_EQ(index, 0);
    EXPECT_EQ(changes->queueFor(&third, nullptr), nullptr) << "the list is full";
    EXPECT_EQ(changes->queueFor(&gain, nullptr), first) << "a full list still finds the queues it has";
    EXPECT_EQ(changes->queueFor(nullptr, nullptr), nullptr);
    EXPECT_EQ(changes->getParameterCount(), 2);
    EXPECT_EQ(changes->queueAt(1), second);
    EXPECT_EQ(changes->queueAt(2), nullptr);
    EXPECT_EQ(changes->queueAt(-1), nullptr);

    ASSERT_EQ(first->appendPoint(8, 0.75, nullptr), kResultOk);
    changes->clear();
    EXPECT_EQ(changes->getParameterCount(), 0);
    EXPECT_EQ(changes->queueAt(0), nullptr);
    IParamQueue* reused = changes->queueFor(&third, nullptr);
    ASSERT_NE(reused, nullptr);
    EXPECT_EQ(reused->getParameterId(), third);
    EXPECT_EQ(reused->pointCount(), 0) << "points of the last block leaked in";
    double value = 0;
    EXPECT_FALSE(changes->lastValue(gain, value));
}

TEST(ParameterChanges, PointsKeepOffsetOrderAndTheSameOffsetReplaces) {
    auto changes = IPtr<ParameterChanges>::adopt(new ParameterChanges(1, 8));
    const ParamID id = 3;
    IParamQueue* queue = changes->queueFor(&id, nullptr);
    ASSERT_NE(queue, nullptr);
    // (offset, value, index reported)
    const std::tuple<int32_t, double, int32_t> appends[] = {{10, 0.1, 0}, {0, 0.2, 0},  {5, 0.3, 1},
                                                            {20, 0.4, 3}, {5, 0.9, 1}, {0, 0.8, 0}};
    for (const auto& [offset, value, expected] : appends) {
        int32_t index = -1;
        ASSERT_EQ(queue->appendPoint(offset, value, &index), kResultOk);
        EXPECT_EQ(index, expected) << "offset " << offset;
    }
    EXPECT_EQ(pointsOf(queue), (Points{{0, 0.8}, {5, 0.9}, {10, 0.1}, {20, 0.4}}));
    int32_t offset = 0;
    double value = 0;
    EXPECT_EQ(queue->readPoint(5, &offset, &value), kResultFalse) << "a free slot of the queue";
    EXPECT_EQ(queue->readPoint(-1, &offset, &value), kResultFalse);
}

TEST(ParameterChanges, FullQueuesRefuseNewOffsetsButStillReplace) {
    auto changes = IPtr<ParameterChanges>::adopt(new ParameterChanges(1, 2));
    double value = -1;
    EXPECT_FALSE(changes->lastValue(9, value));
    EXPECT_TRUE(changes->addChange(9, 8, 0.6));
    EXPECT_TRUE(changes->addChange(9, 0, 0.2));
    ASSERT_TRUE(changes->lastValue(9, value));
    EXPECT_EQ(value, 0.6) << "the last point is the latest offset, not the latest call";
    EXPECT_FALSE(changes->addChange(9, 4, 0.4)) << "queue full";
    EXPECT_FALSE(changes->addChange(9, 20, 0.4)) << "queue full";
    EXPECT_FALSE(changes->addChange(10, 0, 0.4)) << "list full";
    EXPECT_FALSE(changes->lastValue(10, value));
    EXPECT_EQ(pointsOf(changes->queueAt(0)), (Points{{0, 0.2}, {8, 0.6}})) << "a refused point moved the others";
    EXPECT_TRUE(changes->addChange(9, 8, 0.7));
    EXPECT_EQ(pointsOf(changes->queueAt(0)), (Points{{0, 0.2}, {8, 0.7}}));
}

} // namespace
} // namespace HostTest
