#include "controller/CUnitInfo.h"

#include "interfaces/InterfaceQuery.h"

namespace Param {

Zel::tresult CUnitInfo::QueryInterface(const Zel::TUID& asked, void** obj) {
    if (!obj) return Zel::kInvalidArgument;
    if (Zel::answerInterface<Zel::IUnitInfo>(asked, this, obj) || Zel::answerInterface<Zel::FUnknown>(asked, this, obj))
        return Zel::kResultOk;
    *obj = nullptr;
    return Zel::kNoInterface;
}

Zel::tresult CUnitInfo::describeUnit(int32_t index, Zel::UnitInfo& info) {
    if (!units_) return Zel::kResultFalse;
    if (index < 0 || index >= count_) return Zel::kInvalidArgument;
    const UnitRecord& unit = units_[index];
    info.id = unit.id;
    info.parentUnitId = unit.parentUnit;
    info.programListId = unit.programList;
    // Each 8-bit character widened to one unit, at most 127 and a terminator.
    size_t i = 0;
    for (; i < 127 && i < sizeof unit.name && unit.name[i] != '\0'; ++i)
        info.name[i] = static_cast<char16_t>(static_cast<unsigned char>(unit.name[i]));
    for (; i < 128; ++i) info.name[i] = 0;
    return Zel::kResultOk;
}

} // namespace Param
