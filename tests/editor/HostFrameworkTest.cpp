// Sharing the host's view framework across controllers: one acquisition and
// one skin registration for all, everything given back by the last, and a
// host without what the module needs refused cleanly.

#include "EditorTestSupport.h"

#include <utility>

#include "base/platform/Platform.h"
#include "editor/PlugColorGroupInformation.h"

namespace Zel {
namespace {

using Fakes::FakeRoot;

// The root's services all back at the one reference the root keeps.
void expectServicesReleased(FakeRoot& root) {
    for (auto& service : root.required) EXPECT_EQ(service->refs(), 1);
    EXPECT_EQ(root.optional->refs(), 1);
    EXPECT_EQ(root.time->refs(), 1);
    EXPECT_EQ(root.skin->refs(), 1);
    EXPECT_EQ(root.idle->refs(), 1);
}

TEST_F(FrameworkTest, TwoControllersShareOneFrameworkAndOneSkinRegistration) {
    acquire();
    acquire();
    EXPECT_EQ(HostFramework::frameworkUsers(), 1);
    EXPECT_EQ(HostFramework::controllerUsers(), 2);
    EXPECT_EQ(root->requestsFor(RequiredService1_cid), 1);
    EXPECT_EQ(root->requestsFor(ISkinResource_iid), 1);
    ASSERT_EQ(root->skin->registrations.size(), 1u);
    EXPECT_EQ(root->skin->registrations[0].fileName, "nivolo.hrf");
    EXPECT_EQ(root->skin->registrations[0].handle, static_cast<void*>(Platform::moduleHandle()));
    EXPECT_EQ(activeUpdateHandler(), static_cast<IUpdateHandler*>(hostHandler.get()));

    HostFramework::releaseForController();
    EXPECT_EQ(HostFramework::root(), root.get());
    EXPECT_EQ(HostFramework::skinResource(nullptr), root->skin.get());
    EXPECT_TRUE(root->skin->unregistrations.empty());

    HostFramework::releaseForController();
    EXPECT_EQ(HostFramework::root(), nullptr);
    EXPECT_EQ(HostFramework::timeService(), nullptr);
    EXPECT_EQ(HostFramework::frameworkUsers(), 0);
    EXPECT_EQ(root->skin->unregistrations.size(), 1u);
    expectServicesReleased(*root);
    EXPECT_EQ(root->refs(), 1);
    // The module's own change notification is back.
    EXPECT_EQ(activeUpdateHandler(), static_cast<IUpdateHandler*>(ownHandler.get()));
}

TEST_F(FrameworkTest, MissingRequiredServiceFailsWithEverythingReleased) {
    for (int missing = 0; missing < 4; ++missing) {
        SCOPED_TRACE(missing);
        IPtr<Fakes::PlainService> kept = std::move(root->required[missing]);
        EXPECT_FALSE(HostFramework::acquireForController(root->unknown()));
        EXPECT_EQ(HostFramework::frameworkUsers(), 0);
        EXPECT_EQ(HostFramework::controllerUsers(), 0);
        EXPECT_EQ(HostFramework::root(), nullptr);
        root->required[missing] = std::move(kept);
        expectServicesReleased(*root);
        EXPECT_EQ(root->refs(), 1);
        EXPECT_TRUE(root->skin->registrations.empty());
        EXPECT_EQ(activeUpdateHandler(), static_cast<IUpdateHandler*>(ownHandler.get()));
    }
}

TEST_F(FrameworkTest, MissingTimeServiceUpdateHandlerOrFrameworkFailsButOptionalServiceMayBeMissing) {
    auto time = std::move(root->time);
    EXPECT_FALSE(HostFramework::acquireForController(root->unknown()));
    root->time = std::move(time);
    root->updateHandler = nullptr;
    EXPECT_FALSE(HostFramework::acquireForController(root->unknown()));
    expectServicesReleased(*root);
    IPtr<Fakes::PlainService> context = IPtr<Fakes::PlainService>::adopt(new Fakes::PlainService);
    EXPECT_FALSE(HostFramework::acquireForController(context->unknown()));
    EXPECT_EQ(HostFramework::frameworkUsers(), 0);

    root->updateHandler = static_cast<IUpdateHandler*>(hostHandler.get());
    root->optional.reset();
    acquire();
    EXPECT_EQ(HostFramework::frameworkUsers(), 1);
}

TEST_F(FrameworkTest, SkinTakesTheHostColourGroupsOrElseThePlugins) {
    acquire();
    EXPECT_EQ(root->skin->assigned, static_cast<IColorGroupInformation*>(PlugColorGroupInformation::shared()));
    int32_t count = -1;
    EXPECT_EQ(PlugColorGroupInformation::shared()->groupCount(&count), kResultFalse);
    EXPECT_EQ(count, 0);
    HostFramework::releaseForController();

    IPtr<PlugColorGroupInformation> hostGroups = IPtr<PlugColorGroupInformation>::adopt(new PlugColorGroupInformation);
    root->colourGroups = hostGroups.get();
    acquire();
    EXPECT_EQ(root->skin->assigned, static_cast<IColorGroupInformation*>(hostGroups.get()));
}

TEST_F(FrameworkTest, HostContextAnsweringColourGroupsUsesNoSkinResource) {
    acquire();
    EXPECT_EQ(HostFramework::skinResource(root->unknown()), root->skin.get());
    IPtr<PlugColorGroupInformation> context = IPtr<PlugColorGroupInformation>::adopt(new PlugColorGroupInformation);
    EXPECT_EQ(HostFramework::skinResource(context->unknownCast()), nullptr);
}

} // namespace
} // namespace Zel
