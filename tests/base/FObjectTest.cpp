// Reference counting, identity and class-name type tests of the object base.

#include <gtest/gtest.h>

#include "base/FObject.h"
#include "interfaces/IPtr.h"

namespace Zel {
namespace {

struct Counters {
    int destructions = 0;
};

class Tracked : public FObject {
public:
    ZEL_FOBJECT_CLASS(Tracked, FObject)
    explicit Tracked(Counters& c, bool churnInDestructor = false) : counters_(c), churn_(churnInDestructor) {}
    ~Tracked() override {
        ++counters_.destructions;
        if (churn_) { // a destructor that hands itself around must not die twice
            AddRef();
            Release();
        }
    }

private:
    Counters& counters_;
    bool churn_;
};

class TrackedChild : public Tracked {
public:
    ZEL_FOBJECT_CLASS(TrackedChild, Tracked)
    using Tracked::Tracked;
};

TEST(FObjectLifetime, LastReleaseDestroysExactlyOnceAndQueriedReferencesKeepTheObjectAlive) {
    Counters counters;
    auto* obj = new Tracked(counters);
    EXPECT_EQ(obj->AddRef(), 2u);
    EXPECT_EQ(obj->Release(), 1u);
    {
        IPtr<IDependent> dependent = queryInterface<IDependent>(obj->unknownCast());
        ASSERT_TRUE(dependent);
        EXPECT_EQ(obj->refCount(), 2);
        EXPECT_EQ(obj->Release(), 1u);
        EXPECT_EQ(counters.destructions, 0);
    }
    EXPECT_EQ(counters.destructions, 1);
}

TEST(FObjectLifetime, AddRefReleaseInsideDestructorDoesNotDestroyAgain) {
    Counters counters;
    auto* obj = new Tracked(counters, true);
    EXPECT_EQ(obj->Release(), 0u);
    EXPECT_EQ(counters.destructions, 1);
}

TEST(FObjectQuery, AnswersItsThreeIdsWithItselfAndUnknownIdsWithNull) {
    static const TUID zero{};
    EXPECT_FALSE(FObject::iid == zero); // generated, and none of the standard ids
    EXPECT_FALSE(FObject::iid == FUnknown_iid);
    EXPECT_FALSE(FObject::iid == IDependent_iid);

    Counters counters;
    auto* obj = new Tracked(counters);
    for (const TUID* id : {&FUnknown_iid, &IDependent_iid, &FObject::iid}) {
        void* out = nullptr;
        ASSERT_EQ(obj->QueryInterface(*id, &out), kResultOk) << tuidToRegistry(*id);
        EXPECT_EQ(out, static_cast<void*>(obj));
        obj->Release();
    }
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(obj->QueryInterface(IPluginFactory_iid, &out), kNoInterface);
    EXPECT_EQ(kNoInterface, static_cast<tresult>(0x80004002));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(obj->refCount(), 1);
    obj->Release();
}

TEST(FObjectTypeTests, ClassNameAndInheritanceChain) {
    Counters counters;
    auto* child = new TrackedChild(counters);
    EXPECT_STREQ(child->className(), "TrackedChild");
    EXPECT_TRUE(child->isClass("TrackedChild"));
    EXPECT_FALSE(child->isClass("Tracked"));
    EXPECT_TRUE(child->isTypeOf("Tracked", true));
    EXPECT_TRUE(child->isTypeOf("FObject", true));
    EXPECT_FALSE(child->isTypeOf("FObject", false));
    EXPECT_FALSE(child->isTypeOf("UpdateHandler", true));
    EXPECT_FALSE(child->isTypeOf(nullptr, true));
    EXPECT_EQ(FCast<Tracked>(child), child);
    child->Release();

    auto* base = new Tracked(counters);
    EXPECT_EQ(FCast<TrackedChild>(base), nullptr);
    base->Release();
    EXPECT_EQ(counters.destructions, 2);
}

} // namespace
} // namespace Zel
