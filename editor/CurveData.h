#pragma once
// Values addressed by id: one float per entry, the entries in the order of the
// id list given at construction.

#include <cstdint>
#include <vector>

#include "editor/DataObject2.h"

namespace Zel {

class CurveData : public DataObject2 {
public:
    ZEL_FOBJECT_CLASS(CurveData, DataObject2)

    // One entry per id, all 0.
    CurveData(const int32_t* ids, int32_t count);
    explicit CurveData(const std::vector<int32_t>& ids) : CurveData(ids.data(), static_cast<int32_t>(ids.size())) {}

    // Copies count values when count <= the entry count; otherwise nothing.
    virtual void setValues(const float* source, uint32_t count);
    // The entry of id takes value; unlisted ids are ignored.
    virtual void setValue(int32_t id, float value);
    // Entries added by growing start at 0.
    virtual void setEntryCount(uint32_t count);
    // False when id addresses nothing.
    virtual bool getValue(int32_t id, float& value) const;
    virtual uint32_t getEntryCount() const { return entryCount_; }
    virtual const float* getValues() const { return values_.data(); }
    virtual bool hasId(int32_t id) const { return indexOf(id) >= 0; }

    const std::vector<int32_t>& ids() const { return ids_; }

protected:
    // The entry index of id, or -1.
    int32_t indexOf(int32_t id) const;

    std::vector<float> values_;
    uint32_t entryCount_ = 0;
    std::vector<int32_t> ids_;
};

} // namespace Zel
