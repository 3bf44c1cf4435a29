#include "editor/CurveData.h"

#include <algorithm>

namespace Zel {

CurveData::CurveData(const int32_t* ids, int32_t count) {
    if (ids && count > 0) ids_.assign(ids, ids + count);
    entryCount_ = static_cast<uint32_t>(ids_.size());
    values_.assign(entryCount_, 0.0f);
}

void CurveData::setValues(const float* source, uint32_t count) {
    if (!source || count > entryCount_) return;
    std::copy(source, source + count, values_.begin());
}

void CurveData::setValue(int32_t id, float value) {
    const int32_t index = indexOf(id);
    if (index >= 0) values_[static_cast<size_t>(index)] = value;
}

void CurveData::setEntryCount(uint32_t count) {
    if (count > values_.size()) values_.resize(count, 0.0f);
    for (uint32_t i = entryCount_; i < count; ++i) values_[i] = 0.0f;
    entryCount_ = count;
}

bool CurveData::getValue(int32_t id, float& value) const {
    const int32_t index = indexOf(id);
    if (index < 0) return false;
    value = values_[static_cast<size_t>(index)];
    return true;
}

int32_t CurveData::indexOf(int32_t id) const {
    const size_t limit = std::min<size_t>(entryCount_, ids_.size());
    for (size_t i = 0; i < limit; ++i)
        if (ids_[i] == id) return static_cast<int32_t>(i);
    return -1;
}

} // namespace Zel
