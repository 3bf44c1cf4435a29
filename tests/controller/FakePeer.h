#pragma once
// The processor's end of the connection: records each message it is sent.

#include <string>
#include <vector>

#include "interfaces/IAttributeSet.h"
#include "interfaces/IConnectionPoint.h"
#include "interfaces/IMessageObject.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/RefCount.h"

namespace ControllerTesting {

using namespace Zel;

class FakePeer : public IConnectionPoint {
public:
    struct Received {
        std::string id;
        bool hasInt;  // an integer under the message's own id
        int64_t value;
    };

    virtual ~FakePeer() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<FUnknown>(asked, this, obj) || answerInterface<IConnectionPoint>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult connect(IConnectionPoint*) override { return kResultOk; }
    tresult disconnect(IConnectionPoint*) override { return kResultOk; }
    tresult notify(IMessageObject* message) override {
        const char* id = message ? message->messageId() : nullptr;
        Received r{id ? id : "", false, 0};
        if (IAttributeSet* attributes = message ? message->attributeSet() : nullptr)
            r.hasInt = attributes->getInt(r.id.c_str(), r.value) == kResultOk;
        received.push_back(r);
        return kResultOk;
    }

    std::vector<Received> received;

private:
    RefCount refCount_;
};

} // namespace ControllerTesting
