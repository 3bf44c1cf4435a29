// The module's share of the host's view framework: one acquisition for every
// controller, a host lacking what the module needs refused cleanly, the skin's
// colour groups.

#include "tests/hostview/HostViewTestSupport.h"

#include "base/UpdateHandler.h"
#include "editor/HostFramework.h"
#include "editor/PlugColorGroupInformation.h"

namespace HostViewTest {
namespace {

using NivoloHost::ViewFramework;

// Our host's framework with some classes refused.
class FilterRoot final : public IHostFramework {
public:
    explicit FilterRoot(IHostFramework* real) : real_(real) {}
    virtual ~FilterRoot() = default;
    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<IHostFramework>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
            return kResultOk;
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS
    tresult createInstance(const TUID& id, void** obj, FUnknown* context) override {
        for (const TUID* iid : refused)
            if (iidEqual(id, *iid)) return *obj = nullptr, kNoInterface;
        return real_->createInstance(id, obj, context);
    }
    std::vector<const TUID*> refused;
    IPtr<IHostFramework> real_;
    RefCount refCount_;
};

uint32_t references(FUnknown* object) {
    object->AddRef();
    return object->Release();
}

class SharedFramework : public ::testing::Test {
protected:
    void TearDown() override {
        while (HostFramework::controllerUsers() > 0) HostFramework::releaseForController();
    }
    IPtr<ViewFramework> framework = IPtr<ViewFramework>::adopt(new ViewFramework);
    IPtr<NivoloHost::HostContext> context = IPtr<NivoloHost::HostContext>::adopt(new NivoloHost::HostContext);
    IPtr<FilterRoot> root = IPtr<FilterRoot>::adopt(new FilterRoot(framework.get()));
    FUnknown* host() { return static_cast<IHostApp*>(context.get()); }
};

TEST_F(SharedFramework, ControllersShareOneAcquisitionUntilTheLastGivesItBack) {
    IUpdateHandler* before = activeUpdateHandler();
    const uint32_t unused = references(framework.get());
    context->setViewFramework(framework.get());
    ASSERT_TRUE(HostFramework::acquireForController(host()));
    ASSERT_TRUE(HostFramework::acquireForController(host()));
    EXPECT_EQ(HostFramework::frameworkUsers(), 1);
    EXPECT_EQ(HostFramework::controllerUsers(), 2);
    EXPECT_EQ(HostFramework::skinResource(nullptr), static_cast<ISkinResource*>(&framework->skins()));
    EXPECT_EQ(activeUpdateHandler(), static_cast<IUpdateHandler*>(&framework->updates()));
    HostFramework::releaseForController();
    EXPECT_EQ(HostFramework::root(), static_cast<IHostFramework*>(framework.get()));
    EXPECT_NE(HostFramework::skinResource(nullptr), nullptr);
    HostFramework::releaseForController();
    EXPECT_EQ(HostFramework::root(), nullptr);
    EXPECT_EQ(HostFramework::timeService(), nullptr);
    EXPECT_EQ(activeUpdateHandler(), before) << "the module's own change notification is back";
    context->setViewFramework(nullptr);
    EXPECT_EQ(references(framework.get()), unused);
}

TEST_F(SharedFramework, AHostMissingARequiredServiceIsRefusedWithEverythingGivenBack) {
    IUpdateHandler* before = activeUpdateHandler();
    context->setViewFramework(root.get());
    const uint32_t unused = references(framework.get());
    for (const TUID* missing : {&RequiredService1_cid, &RequiredService2_cid, &RequiredService3_cid,
                                &RequiredService4_cid, &ITimeService_iid, &IUpdateHandler_iid}) {
        root->refused = {missing};
        EXPECT_FALSE(HostFramework::acquireForController(host())) << tuidToRegistry(*missing);
        EXPECT_EQ(HostFramework::frameworkUsers(), 0);
        EXPECT_EQ(HostFramework::root(), nullptr);
        EXPECT_EQ(references(framework.get()), unused) << tuidToRegistry(*missing);
        EXPECT_EQ(activeUpdateHandler(), before);
    }
    root->refused = {&OptionalService_cid};
    EXPECT_TRUE(HostFramework::acquireForController(host())) << "the optional service may be missing";
    HostFramework::releaseForController();
    context->setViewFramework(nullptr);
    EXPECT_FALSE(HostFramework::acquireForController(host())) << "no framework at all";
}

TEST_F(SharedFramework, TheSkinTakesThePlugInsColourGroups) {
    context->setViewFramework(root.get());
    ASSERT_TRUE(HostFramework::acquireForController(host()));
    EXPECT_EQ(framework->skins().colourGroups(), static_cast<IColorGroupInformation*>(PlugColorGroupInformation::shared()));
    // A host context answering colour groups itself uses no skin resource.
    auto groups = IPtr<PlugColorGroupInformation>::adopt(new PlugColorGroupInformation);
    EXPECT_EQ(HostFramework::skinResource(groups->unknownCast()), nullptr);
}

} // namespace
} // namespace HostViewTest
