#pragma once
// A message object as the host creates it for plug-ins.

#include <string>

#include "host/HostAttributeSet.h"
#include "interfaces/IMessageObject.h"
#include "interfaces/IPtr.h"

namespace NivoloHost {

class HostMessage : public Zel::IMessageObject {
public:
    HostMessage();
    virtual ~HostMessage() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    const char* messageId() override { return hasId_ ? id_.c_str() : nullptr; }
    void assignMessageId(const char* id) override;
    Zel::IAttributeSet* attributeSet() override { return attributes_.get(); }

private:
    Zel::RefCount refCount_;
    std::string id_;
    bool hasId_ = false;
    Zel::IPtr<HostAttributeSet> attributes_;
};

} // namespace NivoloHost
