#include "host/HostMessage.h"

#include "host/AudioThreadGuard.h"
#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

HostMessage::HostMessage() : attributes_(IPtr<HostAttributeSet>::adopt(new HostAttributeSet)) {}

tresult HostMessage::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IMessageObject>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

void HostMessage::assignMessageId(const char* id) {
    AudioThreadGuard::Exempt exempt; // "time" is named on the audio thread
    hasId_ = id != nullptr;
    id_ = id ? id : "";
}

} // namespace NivoloHost
