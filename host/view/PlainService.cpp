#include "host/view/PlainService.h"

#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

tresult PlainService::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<FUnknown>(asked, this, obj)) return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

} // namespace NivoloHost
