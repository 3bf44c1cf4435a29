#include "host/view/ContinuousControl.h"

#include <cstdio>

#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

tresult ContinuousControl::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IControlPrecision>(asked, this, obj)) return kResultOk;
    return ControlBase::QueryInterface(asked, obj);
}

tresult ContinuousControl::setPrecision(int32_t digits) {
    if (digits < 0 || digits > kMaxPrecision) return kInvalidArgument;
    precision_ = digits;
    return kResultOk;
}

std::string ContinuousControl::ownText() {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", static_cast<int>(precision_), value());
    return text;
}

} // namespace NivoloHost
