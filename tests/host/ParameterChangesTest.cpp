// The host's per-block parameter change lists: one queue per parameter,
// points kept in offset order, and fixed capacities that refuse instead of
// growing.

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "host/ParameterChanges.h"
#include "interfaces/IPtr.h"

namespace {

using NivoloHost::ParameterChanges;
using namespace Zel;

IPtr<ParameterChanges> makeChanges(int32_t maxQueues, int32_t maxPoints) {
    return IPtr<ParameterChanges>::adopt(new ParameterChanges(maxQueues, maxPoints));
}

// The queue's points as (offset, value) pairs.
std::vector<std::pair<int32_t, double>> pointsOf(IParamQueue* queue) {
    std::vector<std::pair<int32_t, double>> points;
    for (int32_t i = 0; i < queue->pointCount(); ++i) {
        int32_t offset = -1;
        double value = -1;
        EXPECT_EQ(queue->readPoint(i, &offset, &value), kResultOk);
        points.emplace_back(offset, value);
    }
    return points;
}

using Points = std::vector<std::pair<int32_t, double>>;

// ---- queues ------------------------------------------------------------------

TEST(ParameterChangesQueues, StartsEmpty) {
    auto changes = makeChanges(4, 4);
    EXPECT_EQ(changes->getParameterCount(), 0);
    EXPECT_EQ(changes->queueAt(0), nullptr);
    EXPECT_EQ(changes->queueAt(-1), nullptr);
}

TEST(ParameterChangesQueues, SameIdGivesTheSameQueue) {
    auto changes = makeChanges(4, 4);
    const ParamID gain = 5, mode = 7;
    int32_t index = -1;
    IParamQueue* first = changes->queueFor(&gain, &index);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(first->getParameterId(), gain);
    EXPECT_EQ(first->pointCount(), 0);

    IParamQueue* second = changes->queueFor(&mode, &index);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(index, 1);
    EXPECT_NE(second, first);

    index = -1;
    EXPECT_EQ(changes->queueFor(&gain, &index), first);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(changes->getParameterCount(), 2);
    EXPECT_EQ(changes->queueAt(0), first);
    EXPECT_EQ(changes->queueAt(1), second);
    EXPECT_EQ(changes->queueAt(2), nullptr);
}

TEST(ParameterChangesQueues, NewQueuesStopAtCapacity) {
    auto changes = makeChanges(2, 4);
    const ParamID a = 1, b = 2, c = 3;
    IParamQueue* qa = changes->queueFor(&a, nullptr);
    ASSERT_NE(qa, nullptr);
    ASSERT_NE(changes->queueFor(&b, nullptr), nullptr);
    EXPECT_EQ(changes->queueFor(&c, nullptr), nullptr);
    EXPECT_EQ(changes->getParameterCount(), 2);
    // A full list still finds the queues it has.
    EXPECT_EQ(changes->queueFor(&a, nullptr), qa);
    EXPECT_EQ(changes->queueFor(nullptr, nullptr), nullptr);
}

TEST(ParameterChangesQueues, ClearEmptiesTheListAndReusedQueuesStartEmpty) {
    auto changes = makeChanges(2, 4);
    const ParamID a = 1, b = 2;
    ASSERT_TRUE(changes->addChange(a, 0, 0.5));
    ASSERT_TRUE(changes->addChange(a, 8, 0.75));
    changes->clear();
    EXPECT_EQ(changes->getParameterCount(), 0);
    EXPECT_EQ(changes->queueAt(0), nullptr);

    IParamQueue* queue = changes->queueFor(&b, nullptr);
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(queue->getParameterId(), b);
    EXPECT_EQ(queue->pointCount(), 0) << "points of the last block leaked in";
    double value = 0;
    EXPECT_FALSE(changes->lastValue(a, value));
}

// ---- points ------------------------------------------------------------------

TEST(ParameterChangesPoints, KeptInOffsetOrder) {
    auto changes = makeChanges(1, 8);
    const ParamID id = 3;
    IParamQueue* queue = changes->queueFor(&id, nullptr);
    ASSERT_NE(queue, nullptr);
    int32_t index = -1;
    ASSERT_EQ(queue->appendPoint(10, 0.1, &index), kResultOk);
    EXPECT_EQ(index, 0);
    ASSERT_EQ(queue->appendPoint(0, 0.2, &index), kResultOk);
    EXPECT_EQ(index, 0);
    ASSERT_EQ(queue->appendPoint(5, 0.3, &index), kResultOk);
    EXPECT_EQ(index, 1);
    ASSERT_EQ(queue->appendPoint(20, 0.4, &index), kResultOk);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(pointsOf(queue), (Points{{0, 0.2}, {5, 0.3}, {10, 0.1}, {20, 0.4}}));
}

TEST(ParameterChangesPoints, SameOffsetReplacesThePoint) {
    auto changes = makeChanges(1, 8);
    const ParamID id = 3;
    IParamQueue* queue = changes->queueFor(&id, nullptr);
    ASSERT_EQ(queue->appendPoint(0, 0.1, nullptr), kResultOk);
    ASSERT_EQ(queue->appendPoint(5, 0.2, nullptr), kResultOk);
    ASSERT_EQ(queue->appendPoint(9, 0.3, nullptr), kResultOk);
    int32_t index = -1;
    ASSERT_EQ(queue->appendPoint(5, 0.9, &index), kResultOk);
    EXPECT_EQ(index, 1);
    ASSERT_EQ(queue->appendPoint(0, 0.8, &index), kResultOk);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(pointsOf(queue), (Points{{0, 0.8}, {5, 0.9}, {9, 0.3}}));
}

TEST(ParameterChangesPoints, FullQueueRefusesNewOffsetsButStillReplaces) {
    auto changes = makeChanges(1, 2);
    const ParamID id = 3;
    IParamQueue* queue = changes->queueFor(&id, nullptr);
    ASSERT_EQ(queue->appendPoint(0, 0.1, nullptr), kResultOk);
    ASSERT_EQ(queue->appendPoint(10, 0.2, nullptr), kResultOk);
    EXPECT_EQ(queue->appendPoint(5, 0.5, nullptr), kResultFalse);
    EXPECT_EQ(queue->appendPoint(20, 0.5, nullptr), kResultFalse);
    EXPECT_EQ(pointsOf(queue), (Points{{0, 0.1}, {10, 0.2}})) << "a refused point moved the others";

    EXPECT_EQ(queue->appendPoint(10, 0.7, nullptr), kResultOk);
    EXPECT_EQ(pointsOf(queue), (Points{{0, 0.1}, {10, 0.7}}));
}

TEST(ParameterChangesPoints, ReadOutsideTheQueueIsRefused) {
    auto changes = makeChanges(1, 4);
    const ParamID id = 3;
    IParamQueue* queue = changes->queueFor(&id, nullptr);
    int32_t offset = 0;
    double value = 0;
    EXPECT_EQ(queue->readPoint(0, &offset, &value), kResultFalse) << "empty queue";
    ASSERT_EQ(queue->appendPoint(4, 0.5, nullptr), kResultOk);
    EXPECT_EQ(queue->readPoint(1, &offset, &value), kResultFalse);
    EXPECT_EQ(queue->readPoint(-1, &offset, &value), kResultFalse);
    EXPECT_EQ(queue->readPoint(3, &offset, &value), kResultFalse) << "a free slot of the queue";
    EXPECT_EQ(queue->readPoint(0, nullptr, nullptr), kResultOk);
}

// ---- the host's shortcuts ----------------------------------------------------

TEST(ParameterChangesShortcuts, AddChangeAndLastValue) {
    auto changes = makeChanges(1, 2);
    double value = -1;
    EXPECT_FALSE(changes->lastValue(9, value));

    EXPECT_TRUE(changes->addChange(9, 8, 0.6));
    EXPECT_TRUE(changes->addChange(9, 0, 0.2));
    ASSERT_TRUE(changes->lastValue(9, value));
    EXPECT_EQ(value, 0.6) << "the last point is the latest offset, not the latest call";

    EXPECT_FALSE(changes->addChange(9, 4, 0.4)) << "queue full";
    EXPECT_FALSE(changes->addChange(10, 0, 0.4)) << "list full";
    EXPECT_FALSE(changes->lastValue(10, value));
}

} // namespace
