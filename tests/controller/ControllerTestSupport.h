#pragma once
// A controller initialised the way a host does it: with a host context (with
// or without a view framework), a component handler and a connected peer;
// terminated and released at the end. Plus the processor's state format.

#include <string>
#include <vector>

#include "../editor/EditorFakes.h"
#include "base/LittleEndianStream.h"
#include "host/HostContext.h"
#include "host/MemoryStream.h"
#include "interfaces/IAttributeSet.h"
#include "interfaces/IComponentHandler.h"
#include "interfaces/IConnectionPoint.h"
#include "interfaces/IEditController.h"
#include "interfaces/IHostApp.h"
#include "interfaces/IMessageObject.h"

namespace ControllerTesting {

using namespace Zel;
using Fakes::FakeControl;
using Fakes::FakeObject;
using Fakes::FakeRoot;

// The host's component handler: records the edits the controller reports.
class FakeComponentHandler : public FakeObject<IComponentHandler, IComponentHandler2> {
public:
    struct Edit {
        std::string call; // "begin", "perform", "end"
        int32_t id;
        double value;
    };
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
};

// The processor's end of the connection: records each message it is sent.
class FakePeer : public FakeObject<IConnectionPoint> {
public:
    struct Received {
        std::string id;
        bool hasInt; // an integer under the message's own id
        int64_t value;
    };
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
};

// The host context handed to initialize: it answers the framework root only
// when it carries one, and makes messages with the host's factory.
class FakeHostContext : public FakeObject<IHostApp> {
public:
    explicit FakeHostContext(FakeRoot* root) : root_(root) {}
    tresult getName(char16_t name[128]) override { return messages_->getName(name); }
    tresult createInstance(const TUID& classId, const TUID& iid, void** obj) override {
        return messages_->createInstance(classId, iid, obj);
    }

protected:
    bool answerMore(const TUID& asked, void** obj) override {
        return root_ && answerInterface<IHostFramework>(asked, root_.get(), obj);
    }

private:
    IPtr<FakeRoot> root_;
    IPtr<NivoloHost::HostContext> messages_ = IPtr<NivoloHost::HostContext>::adopt(new NivoloHost::HostContext);
};

template <class Controller>
class ControllerRig {
public:
    enum class Framework { With, Without };

    explicit ControllerRig(Controller* created, Framework framework = Framework::With)
        : root(framework == Framework::With ? IPtr<FakeRoot>::adopt(new FakeRoot) : IPtr<FakeRoot>()),
          context(IPtr<FakeHostContext>::adopt(new FakeHostContext(root.get()))),
          controller(IPtr<Controller>::adopt(created)) {
        if (root) {
            root->updateHandler = root->silentUpdates.get();
            root->time->setSeconds(1.0);
        }
        controller->initialize(context.get());
        controller->setEditHandler(handler.get());
        controller->connect(peer.get());
    }
    ~ControllerRig() { controller->terminate(); }
    ControllerRig(const ControllerRig&) = delete;
    ControllerRig& operator=(const ControllerRig&) = delete;

    FakeControl* control(int32_t tag) const { return root ? root->control(tag) : nullptr; }

    IPtr<FakeRoot> root;
    IPtr<FakeHostContext> context;
    IPtr<FakeComponentHandler> handler = IPtr<FakeComponentHandler>::adopt(new FakeComponentHandler);
    IPtr<FakePeer> peer = IPtr<FakePeer>::adopt(new FakePeer);
    IPtr<Controller> controller;
};

// One entry of the processor's state: a 128-byte name, the id, the plain value.
struct StateEntry {
    int32_t id;
    double value;
};

// The state as the processor writes it, with the byte count given (normally 144 per entry).
inline IPtr<NivoloHost::MemoryStream> stateStream(int32_t byteCount, const std::vector<StateEntry>& entries) {
    std::vector<uint8_t> bytes;
    LittleEndianWriter writer(bytes);
    writer.writeInt32(byteCount);
    for (const StateEntry& entry : entries) {
        writer.writeFixedString("entry", 128);
        writer.writeInt32(entry.id);
        writer.writeFloat64(entry.value);
    }
    return IPtr<NivoloHost::MemoryStream>::adopt(new NivoloHost::MemoryStream(std::move(bytes)));
}

inline std::string utf8(const char16_t* text) {
    char out[512];
    utf16ToUtf8(text, 128, out, sizeof out);
    return out;
}

// The text the controller gives for id at normalized value v.
template <class Controller>
std::string textOf(Controller& controller, int32_t id, double normalized, tresult* result = nullptr) {
    String128 text;
    for (char16_t& unit : text) unit = u'#';
    const tresult r = controller.valueToText(id, normalized, text);
    if (result) *result = r;
    return utf8(text);
}

} // namespace ControllerTesting
