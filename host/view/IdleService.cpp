#include "host/view/IdleService.h"

#include <algorithm>

#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

tresult IdleService::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IIdleService>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

bool IdleService::contains(IIdleHandler* handler) const {
    return std::any_of(handlers_.begin(), handlers_.end(),
                       [&](const IPtr<IIdleHandler>& h) { return h.get() == handler; });
}

tresult IdleService::addIdleHandler(IIdleHandler* handler) {
    if (!handler || contains(handler)) return kResultFalse;
    handlers_.emplace_back(handler);
    return kResultOk;
}

tresult IdleService::removeIdleHandler(IIdleHandler* handler) {
    auto it = std::find_if(handlers_.begin(), handlers_.end(),
                           [&](const IPtr<IIdleHandler>& h) { return h.get() == handler; });
    if (!handler || it == handlers_.end()) return kResultFalse;
    handlers_.erase(it);
    return kResultOk;
}

void IdleService::tick() {
    // The copy keeps every handler alive through its call, even when it
    // unregisters itself (a controller terminating from its own tick).
    std::vector<IPtr<IIdleHandler>> snapshot = handlers_;
    for (const IPtr<IIdleHandler>& handler : snapshot)
        if (contains(handler.get())) handler->onIdle();
}

} // namespace NivoloHost
