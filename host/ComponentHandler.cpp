#include "host/ComponentHandler.h"

#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

Zel::tresult ComponentHandler::QueryInterface(const Zel::TUID& iid, void** obj) {
    if (!obj) return Zel::kInvalidArgument;
    if (Zel::answerInterface<Zel::IComponentHandler>(iid, this, obj) || Zel::answerInterface<Zel::FUnknown>(iid, this, obj))
        return Zel::kResultOk;
    *obj = nullptr;
    return Zel::kNoInterface;
}

Zel::tresult ComponentHandler::beginEdit(int32_t) {
    ++openGestures_;
    return Zel::kResultOk;
}

Zel::tresult ComponentHandler::performEdit(int32_t id, double normalizedValue) {
    if (!(normalizedValue >= 0.0 && normalizedValue <= 1.0)) return Zel::kInvalidArgument;
    edits_.push_back({id, normalizedValue});
    if (sink_) sink_(id, normalizedValue);
    return Zel::kResultOk;
}

Zel::tresult ComponentHandler::endEdit(int32_t) {
    if (openGestures_ == 0) return Zel::kResultFalse;
    --openGestures_;
    return Zel::kResultOk;
}

Zel::tresult ComponentHandler::restartComponent(int32_t) { return Zel::kResultOk; }

} // namespace NivoloHost
