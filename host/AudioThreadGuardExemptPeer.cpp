#include "host/AudioThreadGuardExemptPeer.h"

#include "host/AudioThreadGuard.h"
#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

tresult AudioThreadGuardExemptPeer::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IConnectionPoint>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult AudioThreadGuardExemptPeer::notify(IMessageObject* message) {
    AudioThreadGuard::Exempt exempt;
    return target_->notify(message);
}

} // namespace NivoloHost
