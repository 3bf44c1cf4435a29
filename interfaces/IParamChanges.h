#pragma once
// The parameter changes of one processing block: one queue of timed points per
// parameter. Queues are owned by their list and valid for the block.

#include "FUnknown.h"

namespace Zel {

using ParamID = uint32_t;

class IParamQueue : public FUnknown {
public:
    static constexpr const TUID& iid = IParamQueue_iid;

    // [audio thread]
    virtual ParamID getParameterId() = 0;
    virtual int32_t pointCount() = 0;
    // value: normalised, in [0, 1]. kResultFalse for an index outside the queue.
    virtual tresult readPoint(int32_t index, int32_t* sampleOffset, double* value) = 0;
    virtual tresult appendPoint(int32_t sampleOffset, double value, int32_t* index) = 0;

protected:
    ~IParamQueue() = default;
};

class IParamChanges : public FUnknown {
public:
    static constexpr const TUID& iid = IParamChanges_iid;

    // [audio thread]
    virtual int32_t getParameterCount() = 0;
    // Null for an index outside the list; no added reference.
    virtual IParamQueue* queueAt(int32_t index) = 0;
    // The queue of *id, appended when new; *index receives its position. No added reference.
    virtual IParamQueue* queueFor(const ParamID* id, int32_t* index) = 0;

protected:
    ~IParamChanges() = default;
};

} // namespace Zel
