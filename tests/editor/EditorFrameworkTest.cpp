// The module's share of the host's view framework: one acquisition for every
// controller, a host lacking what the module needs refused cleanly, the skin's
// colour groups; and the controller's list of host controls.

#include "tests/hostview/HostViewTestSupport.h"

#include "base/UpdateHandler.h"
#include "editor/ControlList.h"
#include "editor/HostFramework.h"
#include "editor/PlugColorGroupInformation.h"

namespace HostViewTest {
namespace {

using NivoloHost::ViewFramework;

// Our host's framework with some classes refused and others answered by the test.
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
        for (const auto& [iid, object] : answered)
            if (iidEqual(id, *iid)) return object->AddRef(), *obj = object, kResultOk;
        for (const TUID* iid : refused)
            if (iidEqual(id, *iid)) return *obj = nullptr, kNoInterface;
        return real_->createInstance(id, obj, context);
    }
    std::vector<const TUID*> refused;
    std::vector<std::pair<const TUID*, FUnknown*>> answered; // single-interface objects
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

TEST_F(SharedFramework, TheSkinTakesTheHostsColourGroupsOrElseThePlugIns) {
    context->setViewFramework(root.get());
    ASSERT_TRUE(HostFramework::acquireForController(host()));
    EXPECT_EQ(framework->skins().colourGroups(), static_cast<IColorGroupInformation*>(PlugColorGroupInformation::shared()));
    HostFramework::releaseForController();
    auto hostGroups = IPtr<PlugColorGroupInformation>::adopt(new PlugColorGroupInformation);
    root->answered = {{&IColorGroupInformation_iid, static_cast<IColorGroupInformation*>(hostGroups.get())}};
    ASSERT_TRUE(HostFramework::acquireForController(host()));
    EXPECT_EQ(framework->skins().colourGroups(), static_cast<IColorGroupInformation*>(hostGroups.get()));
    // A host context answering colour groups itself uses no skin resource.
    EXPECT_EQ(HostFramework::skinResource(hostGroups->unknownCast()), nullptr);
}

// ---- the list of controls ------------------------------------------------------------------

class NoListener final : public IPlugController {
public:
    virtual ~NoListener() = default;
    tresult QueryInterface(const TUID&, void** obj) override { return *obj = nullptr, kNoInterface; }
    uint32_t AddRef() override { return 2; }
    uint32_t Release() override { return 1; }
    tresult findControl(const char*, IControl**) override { return kResultFalse; }
    tresult controlChanged(IControl*, int32_t) override { return kResultOk; }
};

TEST(ControlList, ControlsStartAsSetUpAndAreKeptInTagOrderNewestFirstAmongEqualTags) {
    auto framework = IPtr<ViewFramework>::adopt(new ViewFramework);
    ControlList list(framework.get());
    NoListener listener;
    using K = ControlList::Kind;
    IControl* integer = list.createControl(46, "integer", {K::Integer, 0.0, 3.9, 2.7, -1, true, false, nullptr});
    IControl* on = list.createControl(4, "on", {K::Switch, 0.0, 1.0, 0.5, -1, false, false, nullptr});
    list.setListener(&listener);
    IControl* off = list.createControl(5, "off", {K::Switch, 0.0, 1.0, 0.49, -1, false, false, nullptr});
    IControl* real = list.createControl(3, "real", {K::Continuous, -1.0, 1.0, 0.25, 2, false, false, nullptr});
    IControl* text = list.createControl(53, "text", {K::Text, 0.0, 1.0, 0.0, -1, false, false, "00:00"});
    list.createControl(3, "again", {K::Switch, 0.0, 1.0, 1.0, -1, false, false, nullptr});
    list.createControl(0, "zero", {});
    EXPECT_EQ(integer->getIntMax(), 3);
    EXPECT_EQ(integer->getIntValue(), 2);
    EXPECT_EQ(on->getIntValue(), 1) << "a switch is on from one half";
    EXPECT_EQ(off->getIntValue(), 0);
    EXPECT_FLOAT_EQ(real->getRealValue(), 0.25f);
    char buffer[16];
    int32_t size = sizeof buffer;
    ASSERT_EQ(text->getText(buffer, &size), kResultOk);
    EXPECT_STREQ(buffer, "00:00");
    EXPECT_EQ(on->getListener(), nullptr);
    EXPECT_EQ(off->getListener(), &listener);
    EXPECT_EQ(off->getTag(), 5);

    std::vector<std::string> order;
    for (int32_t i = 0; i < list.count(); ++i) order.push_back(list.nameAt(i));
    EXPECT_EQ(order, (std::vector<std::string>{"zero", "again", "real", "on", "off", "integer", "text"}));
    for (int32_t tag : {0, 4, 5, 46, 53}) EXPECT_EQ(list.findByTag(tag)->getTag(), tag);
    EXPECT_EQ(list.findByTag(3)->getTag(), 3);
    for (int32_t tag : {6, -123, 1000}) EXPECT_EQ(list.findByTag(tag), nullptr);
    EXPECT_EQ(list.findByName("integer"), integer);
    EXPECT_EQ(list.findByName("Integer"), nullptr);
    EXPECT_EQ(list.findByName(nullptr), nullptr);
    EXPECT_EQ(list.at(list.count()), nullptr);
    EXPECT_EQ(list.at(-1), nullptr);

    auto refusing = IPtr<FilterRoot>::adopt(new FilterRoot(framework.get()));
    refusing->refused = {&IntegerControl_cid};
    ControlList refused(refusing.get());
    EXPECT_EQ(refused.createControl(1, "one", {K::Integer}), nullptr);
    EXPECT_EQ(refused.count(), 0);
}

} // namespace
} // namespace HostViewTest
