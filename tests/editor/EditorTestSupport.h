#pragma once
// A host framework session for the editor tests: the module's own update
// handler, a host handler for the fake root, and the shared framework state
// given back after each test.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "base/UpdateHandler.h"
#include "editor/HostFramework.h"
#include "interfaces/InterfaceQuery.h"
#include "EditorFakes.h"

namespace Zel {

// Records the change messages it is told about, and from whom.
class MessageRecorder : public FObject {
public:
    void update(FUnknown* changedObject, int32_t message) override {
        senders.push_back(identityOf(changedObject));
        messages.push_back(message);
    }
    bool got(int32_t message) const {
        return std::find(messages.begin(), messages.end(), message) != messages.end();
    }
    std::vector<FUnknown*> senders;
    std::vector<int32_t> messages;
};

class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override { root->updateHandler = static_cast<IUpdateHandler*>(hostHandler.get()); }
    void TearDown() override {
        while (HostFramework::controllerUsers() > 0) HostFramework::releaseForController();
    }

    void acquire() { ASSERT_TRUE(HostFramework::acquireForController(root->unknown())); }
    // Delivers the deferred changes queued with the host's handler.
    void flush() { hostHandler->flushDeferred(nullptr); }

    // Installs itself as the active handler: the module's own.
    IPtr<UpdateHandler> ownHandler = IPtr<UpdateHandler>::adopt(new UpdateHandler);
    // Made while the module's is active, so it stays passive until the framework installs it.
    IPtr<UpdateHandler> hostHandler = IPtr<UpdateHandler>::adopt(new UpdateHandler);
    IPtr<Fakes::FakeRoot> root = IPtr<Fakes::FakeRoot>::adopt(new Fakes::FakeRoot);
};

} // namespace Zel
