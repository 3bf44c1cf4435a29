#include "controller/ParameterInfoAccessor.h"

#include <cstring>

#include "interfaces/InterfaceIds.h"

namespace Param {

double ParameterInfoAccessor::toNormalized(uint32_t id, double plain) {
    const ParameterRecord* r = getRecordById(id);
    return r ? (plain - r->minValue) / (r->maxValue - r->minValue) : 0.0;
}

double ParameterInfoAccessor::toPlain(uint32_t id, double normalized) {
    const ParameterRecord* r = getRecordById(id);
    return r ? (r->maxValue - r->minValue) * normalized + r->minValue : 0.0;
}

uint32_t ParameterInfoAccessor::getParameterId(int32_t index) {
    const ParameterRecord* r = getRecordByIndex(index);
    return r ? r->id : 0;
}

Zel::tresult ParameterInfoAccessor::getParameterIndex(uint32_t id, int32_t& index) {
    for (int32_t i = 0; i < count_; ++i) {
        if (table_[i].id == id) {
            index = i;
            return Zel::kResultOk;
        }
    }
    return Zel::kResultFalse;
}

const ParameterRecord* ParameterInfoAccessor::getRecordByIndex(int32_t index) {
    return index >= 0 && index < count_ ? &table_[index] : nullptr;
}

const ParameterRecord* ParameterInfoAccessor::getRecordById(uint32_t id) {
    int32_t index = 0;
    return getParameterIndex(id, index) == Zel::kResultOk ? &table_[index] : nullptr;
}

Zel::tresult ParameterInfoAccessor::QueryInterface(const Zel::TUID& asked, void** obj) {
    if (!obj) return Zel::kInvalidArgument;
    if (Zel::iidEqual(asked, IParameterInfoContainer::iid) || Zel::iidEqual(asked, Zel::FUnknown_iid)) {
        AddRef();
        *obj = static_cast<IParameterInfoContainer*>(this);
        return Zel::kResultOk;
    }
    *obj = nullptr;
    return Zel::kNoInterface;
}

Zel::tresult ParameterInfoAccessor::findIdByName(const char* name, uint32_t& id) const {
    if (!name) return Zel::kResultFalse;
    for (int32_t i = 0; i < count_; ++i) {
        if (std::strncmp(table_[i].name, name, sizeof table_[i].name) == 0 &&
            std::strlen(name) < sizeof table_[i].name) {
            id = table_[i].id;
            return Zel::kResultOk;
        }
    }
    return Zel::kResultFalse;
}

} // namespace Param
