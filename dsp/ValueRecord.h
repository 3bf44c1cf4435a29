#pragma once
// The accessor's copy of one parameter's current value; its in-memory form is
// also the stride of the saved state's length word (144 bytes a record).

#include <cstddef>
#include <cstdint>

namespace DSP {

struct ValueRecord {
    char name[128];
    uint32_t id;
    double value;
};

static_assert(sizeof(ValueRecord) == 144);
static_assert(offsetof(ValueRecord, id) == 128);
static_assert(offsetof(ValueRecord, value) == 136);

// A record as saved: name, id and value packed, without the padding.
inline constexpr int32_t kSavedValueRecordSize = 140;

} // namespace DSP
