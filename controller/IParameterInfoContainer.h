#pragma once
// Lookup and plain/normalised conversion over a parameter table. Module
// internal: its own operations come first and the reference counting last, so
// it is never handed to a host.

#include "controller/ParameterRecord.h"
#include "interfaces/ResultCodes.h"
#include "interfaces/Tuid.h"

namespace Param {

inline constexpr Zel::TUID IParameterInfoContainer_iid =
    Zel::tuidFromRegistry("{6F4D5802-08B8-490D-817D-AF0EBC2DB082}");

class IParameterInfoContainer {
public:
    static constexpr const Zel::TUID& iid = IParameterInfoContainer_iid;

    // [any thread] Linear over the record's range, unclamped; 0 for an unknown id.
    virtual double toNormalized(uint32_t id, double plain) = 0;
    virtual double toPlain(uint32_t id, double normalized) = 0;
    // 0 for an index outside the table.
    virtual uint32_t getParameterId(int32_t index) = 0;
    // kResultOk and the first index holding id; kResultFalse when none does.
    virtual Zel::tresult getParameterIndex(uint32_t id, int32_t& index) = 0;
    // Null when absent. The records belong to the static table.
    virtual const ParameterRecord* getRecordByIndex(int32_t index) = 0;
    virtual const ParameterRecord* getRecordById(uint32_t id) = 0;

    virtual Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    ~IParameterInfoContainer() = default;
};

} // namespace Param
