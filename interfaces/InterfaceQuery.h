#pragma once
// The QueryInterface step shared by every implementation: answer one id with
// one interface of the object.

#include "FUnknown.h"

namespace Zel {

// If asked equals I::iid, stores self as I* in *obj with an added reference and
// returns true.
template <class I, class Self>
bool answerInterface(const TUID& asked, Self* self, void** obj) {
    if (!iidEqual(asked, I::iid)) return false;
    I* itf = static_cast<I*>(self);
    itf->AddRef();
    *obj = itf;
    return true;
}

// The identity of an object: the pointer it answers for FUnknown.
inline FUnknown* identityOf(FUnknown* object) {
    if (!object) return nullptr;
    void* out = nullptr;
    if (object->QueryInterface(FUnknown_iid, &out) != kResultOk || !out) return nullptr;
    auto* identity = static_cast<FUnknown*>(out);
    identity->Release(); // only the address is wanted
    return identity;
}

} // namespace Zel
