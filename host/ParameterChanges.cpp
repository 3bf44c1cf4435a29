#include "host/ParameterChanges.h"

#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

ParameterValueQueue::ParameterValueQueue(int32_t maxPoints) : points_(static_cast<size_t>(maxPoints > 0 ? maxPoints : 1)) {}

tresult ParameterValueQueue::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IParamQueue>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult ParameterValueQueue::readPoint(int32_t index, int32_t* sampleOffset, double* value) {
    if (index < 0 || index >= count_) return kResultFalse;
    if (sampleOffset) *sampleOffset = points_[static_cast<size_t>(index)].offset;
    if (value) *value = points_[static_cast<size_t>(index)].value;
    return kResultOk;
}

tresult ParameterValueQueue::appendPoint(int32_t sampleOffset, double value, int32_t* index) {
    int32_t at = count_;
    while (at > 0 && points_[static_cast<size_t>(at - 1)].offset > sampleOffset) --at;
    if (at > 0 && points_[static_cast<size_t>(at - 1)].offset == sampleOffset) {
        points_[static_cast<size_t>(at - 1)].value = value;
        if (index) *index = at - 1;
        return kResultOk;
    }
    if (count_ == static_cast<int32_t>(points_.size())) return kResultFalse;
    for (int32_t i = count_; i > at; --i) points_[static_cast<size_t>(i)] = points_[static_cast<size_t>(i - 1)];
    points_[static_cast<size_t>(at)] = Point{sampleOffset, value};
    ++count_;
    if (index) *index = at;
    return kResultOk;
}

namespace {
void releaseQueue(ParameterValueQueue* queue) { queue->Release(); }
} // namespace

ParameterChanges::ParameterChanges(int32_t maxQueues, int32_t maxPointsPerQueue) {
    for (int32_t i = 0; i < maxQueues; ++i) queues_.emplace_back(new ParameterValueQueue(maxPointsPerQueue), releaseQueue);
}

tresult ParameterChanges::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IParamChanges>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

IParamQueue* ParameterChanges::queueAt(int32_t index) {
    return index >= 0 && index < used_ ? queues_[static_cast<size_t>(index)].get() : nullptr;
}

IParamQueue* ParameterChanges::queueFor(const ParamID* id, int32_t* index) {
    if (!id) return nullptr;
    for (int32_t i = 0; i < used_; ++i) {
        if (queues_[static_cast<size_t>(i)]->getParameterId() == *id) {
            if (index) *index = i;
            return queues_[static_cast<size_t>(i)].get();
        }
    }
    if (used_ == static_cast<int32_t>(queues_.size())) return nullptr;
    queues_[static_cast<size_t>(used_)]->reset(*id);
    if (index) *index = used_;
    return queues_[static_cast<size_t>(used_++)].get();
}

bool ParameterChanges::addChange(ParamID id, int32_t sampleOffset, double value) {
    IParamQueue* queue = queueFor(&id, nullptr);
    return queue && queue->appendPoint(sampleOffset, value, nullptr) == kResultOk;
}

bool ParameterChanges::lastValue(ParamID id, double& value) {
    for (int32_t i = 0; i < used_; ++i) {
        ParameterValueQueue& queue = *queues_[static_cast<size_t>(i)];
        if (queue.getParameterId() == id && queue.pointCount() > 0)
            return queue.readPoint(queue.pointCount() - 1, nullptr, &value) == kResultOk;
    }
    return false;
}

} // namespace NivoloHost
