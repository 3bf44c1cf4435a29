#pragma once
// A controller initialised the way a host does it: with a host context (with
// or without a view framework), a component handler and a connected peer;
// terminated and released at the end. Plus the processor's state format.

#include <string>
#include <vector>

#include "FakeComponentHandler.h"
#include "FakePeer.h"
#include "FakeViewFramework.h"
#include "base/LittleEndianStream.h"
#include "host/MemoryStream.h"
#include "interfaces/IEditController.h"

namespace ControllerTesting {

template <class Controller>
class ControllerRig {
public:
    enum class Framework { With, Without };

    explicit ControllerRig(Controller* created, Framework framework = Framework::With)
        : root(framework == Framework::With ? IPtr<FakeFrameworkRoot>::adopt(new FakeFrameworkRoot)
                                            : IPtr<FakeFrameworkRoot>()),
          context(IPtr<FakeHostContext>::adopt(new FakeHostContext(root.get()))),
          controller(IPtr<Controller>::adopt(created)) {
        controller->initialize(context.get());
        controller->setEditHandler(handler.get());
        controller->connect(peer.get());
    }
    ~ControllerRig() { controller->terminate(); }
    ControllerRig(const ControllerRig&) = delete;
    ControllerRig& operator=(const ControllerRig&) = delete;

    FakeControl* control(int32_t tag) const { return root ? root->control(tag) : nullptr; }

    IPtr<FakeFrameworkRoot> root;
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
