#pragma once
// The lookup object over one static parameter table (not owned; the table
// outlives it).

#include "controller/IParameterInfoContainer.h"
#include "interfaces/RefCount.h"

namespace Param {

class ParameterInfoAccessor : public IParameterInfoContainer {
public:
    ParameterInfoAccessor(const ParameterRecord* table, int32_t count)
        : count_(table && count > 0 ? count : 0), table_(table) {}
    virtual ~ParameterInfoAccessor() = default;

    double toNormalized(uint32_t id, double plain) override;
    double toPlain(uint32_t id, double normalized) override;
    uint32_t getParameterId(int32_t index) override;
    Zel::tresult getParameterIndex(uint32_t id, int32_t& index) override;
    const ParameterRecord* getRecordByIndex(int32_t index) override;
    const ParameterRecord* getRecordById(uint32_t id) override;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // kResultOk and the id of the first record whose key is exactly name
    // (case-sensitive); kResultFalse when none.
    Zel::tresult findIdByName(const char* name, uint32_t& id) const;
    int32_t count() const { return count_; }

private:
    Zel::RefCount refCount_;
    int32_t count_;
    const ParameterRecord* table_;
};

} // namespace Param
