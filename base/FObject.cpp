#include "base/FObject.h"

#include "base/FUID.h"
#include "base/UpdateHandler.h"
#include "interfaces/InterfaceQuery.h"

namespace Zel {

namespace {
TUID generateClassId() {
    FUID id;
    id.generate();
    return id.data();
}
} // namespace

const TUID FObject::iid = generateClassId();

tresult FObject::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<FUnknown>(asked, static_cast<IDependent*>(this), obj) ||
        answerInterface<IDependent>(asked, this, obj) || answerInterface<FObject>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

void FObject::update(FUnknown*, int32_t) {}

bool FObject::isTypeOf(const char* name, bool) const {
    return name && std::strcmp(name, getFClassName()) == 0;
}

void FObject::changed(int32_t message) {
    if (IUpdateHandler* handler = activeUpdateHandler())
        handler->notifyNow(unknownCast(), message);
    else
        changeDone(message);
}

void FObject::deferChange(int32_t message) {
    if (IUpdateHandler* handler = activeUpdateHandler())
        handler->notifyLater(unknownCast(), message);
    else
        changeDone(message);
}

void FObject::changeDone(int32_t) {}

} // namespace Zel
