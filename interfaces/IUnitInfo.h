#pragma once
// How a controller groups its parameters into units for the host.

#include <cstddef>

#include "FUnknown.h"

namespace Zel {

struct UnitInfo {
    static constexpr int32_t kRootUnit = 0;
    static constexpr int32_t kNoParent = -1;
    static constexpr int32_t kNoProgramList = -1;

    int32_t id;
    int32_t parentUnitId;
    char16_t name[128];
    int32_t programListId;
};
static_assert(sizeof(UnitInfo) == 268);
static_assert(offsetof(UnitInfo, name) == 8);
static_assert(offsetof(UnitInfo, programListId) == 264);

class IUnitInfo : public FUnknown {
public:
    static constexpr const TUID& iid = IUnitInfo_iid;

    // [ui thread]
    virtual int32_t unitCount() = 0;
    virtual tresult describeUnit(int32_t index, UnitInfo& info) = 0;
    virtual int32_t programListCount() = 0;
    // Program lists, pitch names and unit selection: this plug-in has none.
    virtual tresult describeProgramList(int32_t index, void* info) = 0;
    virtual tresult programName(int32_t listId, int32_t programIndex, char16_t name[128]) = 0;
    virtual tresult programInfo(int32_t listId, int32_t programIndex, const char* attribute, char16_t value[128]) = 0;
    virtual tresult hasPitchNames(int32_t listId, int32_t programIndex) = 0;
    virtual tresult pitchName(int32_t listId, int32_t programIndex, int16_t pitch, char16_t name[128]) = 0;
    virtual tresult selectedUnit(int32_t& unitId) = 0;
    virtual tresult selectUnit(int32_t unitId) = 0;
    virtual tresult unitForBus(int32_t mediaType, int32_t direction, int32_t busIndex, int32_t channel,
                               int32_t& unitId) = 0;
    virtual tresult setUnitProgramData(int32_t listOrUnitId, int32_t programIndex, FUnknown* data) = 0;

protected:
    ~IUnitInfo() = default;
};

} // namespace Zel
