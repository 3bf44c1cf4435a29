#pragma once
// The host's component handler: records the edits the controller reports.

#include <string>
#include <vector>

#include "interfaces/IComponentHandler.h"
#include "interfaces/InterfaceQuery.h"
#include "interfaces/RefCount.h"

namespace ControllerTesting {

using namespace Zel;

class FakeComponentHandler : public IComponentHandler, public IComponentHandler2 {
public:
    struct Edit {
        std::string call; // "begin", "perform", "end"
        int32_t id;
        double value;
    };

    virtual ~FakeComponentHandler() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<FUnknown>(asked, static_cast<IComponentHandler*>(this), obj) ||
            answerInterface<IComponentHandler>(asked, this, obj) ||
            answerInterface<IComponentHandler2>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    tresult beginEdit(int32_t id) override { return record("begin", id, 0.0); }
    tresult performEdit(int32_t id, double value) override { return record("perform", id, value); }
    tresult endEdit(int32_t id) override { return record("end", id, 0.0); }
    tresult restartComponent(int32_t) override { return kResultOk; }

    tresult setDirty(uint8_t) override { return kResultOk; }
    tresult requestOpenEditor(const char*) override { return kResultOk; }
    tresult startGroupEdit() override { return record("groupStart", 0, 0.0); }
    tresult finishGroupEdit() override { return record("groupFinish", 0, 0.0); }

    std::vector<Edit> edits;

private:
    tresult record(const char* call, int32_t id, double value) {
        edits.push_back({call, id, value});
        return kResultOk;
    }
    RefCount refCount_;
};

} // namespace ControllerTesting
