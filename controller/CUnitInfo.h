#pragma once
// The unit information the controller answers to the host, over a static
// unit table (not owned).

#include "controller/UnitRecord.h"
#include "interfaces/IUnitInfo.h"
#include "interfaces/RefCount.h"

namespace Param {

class CUnitInfo : public Zel::IUnitInfo {
public:
    CUnitInfo(const UnitRecord* units, int32_t count) : count_(units && count > 0 ? count : 0), units_(units) {}
    virtual ~CUnitInfo() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    int32_t unitCount() override { return count_; }
    // kResultFalse without a table; kInvalidArgument for an index outside it.
    Zel::tresult describeUnit(int32_t index, Zel::UnitInfo& info) override;
    int32_t programListCount() override { return 0; }
    Zel::tresult describeProgramList(int32_t, void*) override { return Zel::kNotImplemented; }
    Zel::tresult programName(int32_t, int32_t, char16_t*) override { return Zel::kNotImplemented; }
    Zel::tresult programInfo(int32_t, int32_t, const char*, char16_t*) override { return Zel::kNotImplemented; }
    Zel::tresult hasPitchNames(int32_t, int32_t) override { return Zel::kNotImplemented; }
    Zel::tresult pitchName(int32_t, int32_t, int16_t, char16_t*) override { return Zel::kNotImplemented; }
    Zel::tresult selectedUnit(int32_t&) override { return Zel::kNotImplemented; }
    Zel::tresult selectUnit(int32_t) override { return Zel::kNotImplemented; }
    Zel::tresult unitForBus(int32_t, int32_t, int32_t, int32_t, int32_t&) override { return Zel::kNotImplemented; }
    Zel::tresult setUnitProgramData(int32_t, int32_t, Zel::FUnknown*) override { return Zel::kNotImplemented; }

private:
    Zel::RefCount refCount_;
    int32_t count_;
    const UnitRecord* units_;
};

} // namespace Param
