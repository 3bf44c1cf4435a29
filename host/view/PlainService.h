#pragma once
// A framework service the module insists on finding but never calls: an
// object with an identity and nothing else.

#include "interfaces/FUnknown.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class PlainService : public Zel::FUnknown {
public:
    PlainService() = default;
    virtual ~PlainService() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

private:
    Zel::RefCount refCount_;
};

} // namespace NivoloHost
