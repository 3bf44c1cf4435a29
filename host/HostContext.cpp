#include "host/HostContext.h"

#include <new>

#include "host/AudioThreadGuard.h"
#include "host/HostMessage.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/TextUtf16.h"

namespace NivoloHost {

using namespace Zel;

tresult HostContext::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IHostApp>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    // The framework is an object of its own that the context hands out.
    if (viewFramework_ && iidEqual(asked, IHostFramework_iid)) {
        viewFramework_->AddRef();
        *obj = viewFramework_.get();
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

tresult HostContext::getName(char16_t name[128]) {
    if (!name) return kInvalidArgument;
    size_t n = utf16Length(kName, 127);
    for (size_t i = 0; i < n; ++i) name[i] = kName[i];
    for (size_t i = n; i < 128; ++i) name[i] = 0;
    return kResultOk;
}

tresult HostContext::createInstance(const TUID& classId, const TUID& iid, void** obj) {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    if (!iidEqual(classId, IMessageObject_iid)) return kNoInterface;
    // The processor creates its "time" messages on the audio thread, as it may.
    AudioThreadGuard::Exempt exempt;
    auto* message = new (std::nothrow) HostMessage;
    if (!message) return kResultFailed;
    tresult result = message->QueryInterface(iid, obj);
    message->Release(); // the caller holds the query's reference, or nothing remains
    if (result == kResultOk) ++messagesCreated_;
    return result;
}

} // namespace NivoloHost
