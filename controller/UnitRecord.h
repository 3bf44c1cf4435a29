#pragma once
// The fixed-size description of one parameter unit (a group shown by the host).

#include <cstddef>
#include <cstdint>

namespace Param {

struct UnitRecord {
    int32_t id;
    int32_t parentUnit;  // -1 for the root unit
    char name[128];
    int32_t programList; // -1: none
};

static_assert(sizeof(UnitRecord) == 140);
static_assert(offsetof(UnitRecord, id) == 0);
static_assert(offsetof(UnitRecord, parentUnit) == 4);
static_assert(offsetof(UnitRecord, name) == 8);
static_assert(offsetof(UnitRecord, programList) == 136);

} // namespace Param
