#pragma once
// The host's per-block parameter change lists. Capacity is fixed when the list
// is made, so the plug-in can write its output values on the audio thread
// without anything being allocated there.

#include <memory>
#include <vector>

#include "interfaces/IParamChanges.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class ParameterValueQueue : public Zel::IParamQueue {
public:
    explicit ParameterValueQueue(int32_t maxPoints);
    virtual ~ParameterValueQueue() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    Zel::ParamID getParameterId() override { return id_; }
    int32_t pointCount() override { return count_; }
    Zel::tresult readPoint(int32_t index, int32_t* sampleOffset, double* value) override;
    // Points stay ordered by offset: a point at an offset already present replaces it.
    // kResultFalse when the queue is full.
    Zel::tresult appendPoint(int32_t sampleOffset, double value, int32_t* index) override;

    void reset(Zel::ParamID id) {
        id_ = id;
        count_ = 0;
    }

private:
    struct Point {
        int32_t offset;
        double value;
    };
    Zel::RefCount refCount_;
    Zel::ParamID id_ = 0;
    int32_t count_ = 0;
    std::vector<Point> points_; // sized at construction
};

class ParameterChanges : public Zel::IParamChanges {
public:
    static constexpr int32_t kDefaultMaxQueues = 64;
    static constexpr int32_t kDefaultMaxPoints = 16;

    explicit ParameterChanges(int32_t maxQueues = kDefaultMaxQueues, int32_t maxPointsPerQueue = kDefaultMaxPoints);
    virtual ~ParameterChanges() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    int32_t getParameterCount() override { return used_; }
    Zel::IParamQueue* queueAt(int32_t index) override;
    // Null when id is null or every queue is in use.
    Zel::IParamQueue* queueFor(const Zel::ParamID* id, int32_t* index) override;

    // Empties the list for the next block.
    void clear() { used_ = 0; }
    // The host's own convenience: one point for id.
    bool addChange(Zel::ParamID id, int32_t sampleOffset, double value);
    // The last point written for id, if any.
    bool lastValue(Zel::ParamID id, double& value);

private:
    Zel::RefCount refCount_;
    int32_t used_ = 0;
    std::vector<std::unique_ptr<ParameterValueQueue, void (*)(ParameterValueQueue*)>> queues_;
};

} // namespace NivoloHost
