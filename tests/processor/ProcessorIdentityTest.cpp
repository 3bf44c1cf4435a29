// The processor as the host sees it: one object behind several interfaces,
// one reference count, and the class-name tests of the framework classes.

#include <gtest/gtest.h>

#include "TestProcessor.h"

namespace ProcessorTesting {
namespace {

template <class I>
I* query(FUnknown* object) {
    void* out = nullptr;
    if (object->QueryInterface(I::iid, &out) != kResultOk) return nullptr;
    return static_cast<I*>(out);
}

TEST(ProcessorInterfaces, EachInterfaceIsAnsweredWithItsOwnViewOfTheObject) {
    auto proc = makeProcessor();
    TestProcessor* p = proc.get();
    struct Case {
        const TUID* iid;
        void* expected;
        const char* name;
    };
    const Case cases[] = {
        {&IAudioProcessor_iid, static_cast<IAudioProcessor*>(p), "IAudioProcessor"},
        {&IComponent_iid, static_cast<IComponent*>(p), "IComponent"},
        {&IConnectionPoint_iid, static_cast<IConnectionPoint*>(p), "IConnectionPoint"},
        {&IDependent_iid, static_cast<IDependent*>(p), "IDependent"},
        {&FObject::iid, static_cast<FObject*>(p), "FObject"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* out = nullptr;
        ASSERT_EQ(p->QueryInterface(*c.iid, &out), kResultOk);
        EXPECT_EQ(out, c.expected);
        EXPECT_EQ(p->refCount(), 2);
        p->Release();
    }
    EXPECT_EQ(p->refCount(), 1);
}

TEST(ProcessorInterfaces, EveryInterfaceLeadsToTheSameIdentity) {
    auto proc = makeProcessor();
    FUnknown* identity = identityOf(proc->unknownCast());
    ASSERT_NE(identity, nullptr);
    const TUID* ids[] = {&IAudioProcessor_iid, &IComponent_iid, &IPluginBase_iid, &IConnectionPoint_iid,
                         &FUnknown_iid};
    for (const TUID* id : ids) {
        SCOPED_TRACE(tuidToRegistry(*id));
        void* out = nullptr;
        ASSERT_EQ(proc->QueryInterface(*id, &out), kResultOk);
        ASSERT_NE(out, nullptr);
        auto* itf = static_cast<FUnknown*>(out);
        EXPECT_EQ(identityOf(itf), identity);
        itf->Release();
    }
    EXPECT_EQ(proc->refCount(), 1);
}

TEST(ProcessorInterfaces, AddRefAndReleaseThroughAnyInterfaceMoveTheOneCount) {
    int destroyed = 0;
    auto* p = new TestProcessor(&destroyed);
    IAudioProcessor* processor = query<IAudioProcessor>(p->unknownCast());
    IComponent* component = query<IComponent>(p->unknownCast());
    IPluginBase* base = query<IPluginBase>(p->unknownCast());
    IConnectionPoint* connection = query<IConnectionPoint>(p->unknownCast());
    ASSERT_TRUE(processor && component && base && connection);
    EXPECT_EQ(p->refCount(), 5);

    EXPECT_EQ(processor->AddRef(), 6u);
    EXPECT_EQ(component->Release(), 5u);
    EXPECT_EQ(connection->AddRef(), 6u);
    EXPECT_EQ(base->Release(), 5u);

    // Whatever view holds the last reference destroys the whole object once.
    processor->Release();
    component->Release();
    base->Release();
    p->Release();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(connection->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

TEST(ProcessorInterfaces, PluginBaseAndComponentShareOneInitializeAndTerminate) {
    auto host = makeHost();
    auto other = makeHost();
    const uint32_t before = references(host.get());
    auto proc = makeProcessor();
    proc->addInput(u"In");
    IPtr<IPluginBase> base = queryInterface<IPluginBase>(proc->unknownCast());
    IPtr<IComponent> component = queryInterface<IComponent>(proc->unknownCast());
    ASSERT_TRUE(base && component);

    EXPECT_EQ(base->initialize(host.get()), kResultOk);
    EXPECT_EQ(component->initialize(other.get()), kResultFalse) << "the component view saw another state";
    EXPECT_EQ(proc->hostContext(), static_cast<FUnknown*>(host.get()));
    EXPECT_EQ(references(host.get()), before + 1);

    EXPECT_EQ(component->terminate(), kResultOk);
    EXPECT_EQ(proc->hostContext(), nullptr);
    EXPECT_EQ(references(host.get()), before);
    EXPECT_EQ(component->busCount(kAudio, kInput), 0);
    EXPECT_EQ(base->initialize(other.get()), kResultOk);
    EXPECT_EQ(base->terminate(), kResultOk);
}

TEST(ProcessorInterfaces, CallsThroughEachViewReachTheProcessor) {
    auto proc = makeProcessor();
    proc->addOutput(u"Out");
    IPtr<IAudioProcessor> processor = queryInterface<IAudioProcessor>(proc->unknownCast());
    IPtr<IComponent> component = queryInterface<IComponent>(proc->unknownCast());
    IPtr<IConnectionPoint> connection = queryInterface<IConnectionPoint>(proc->unknownCast());
    ASSERT_TRUE(processor && component && connection);

    EXPECT_EQ(component->busCount(kAudio, kOutput), 1);
    SpeakerArrangement arrangement = 0;
    EXPECT_EQ(processor->busArrangement(kOutput, 0, arrangement), kResultOk);
    EXPECT_EQ(arrangement, kArrangementStereo);
    EXPECT_EQ(connection->connect(nullptr), kInvalidArgument);
}

TEST(ProcessorInterfaces, UnknownInterfaceIsRefusedWithNull) {
    auto proc = makeProcessor();
    for (const TUID* id : {&IEditController_iid, &IHostApp_iid, &IMessageObject_iid, &IPluginFactory_iid}) {
        SCOPED_TRACE(tuidToRegistry(*id));
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(proc->QueryInterface(*id, &out), kNoInterface);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(proc->refCount(), 1);
    EXPECT_NE(proc->QueryInterface(IComponent_iid, nullptr), kResultOk);
    EXPECT_EQ(proc->refCount(), 1);
}

TEST(ProcessorClassNames, EffectAnswersItsFrameworkBases) {
    auto effect = IPtr<AudioEffect>::adopt(new AudioEffect);
    EXPECT_STREQ(effect->className(), "AudioEffect");
    EXPECT_TRUE(effect->isClass("AudioEffect"));
    for (const char* name : {"AudioEffect", "Component", "ComponentBase", "FObject"}) {
        EXPECT_TRUE(effect->isTypeOf(name, true)) << name;
    }
    // Without asking the bases only the class itself matches.
    EXPECT_FALSE(effect->isTypeOf("Component", false));
    EXPECT_FALSE(effect->isTypeOf("FObject", false));
    for (const char* name : {"Zel::Bus", "Zel::AudioBus", "Zel::BusList", "Component ", "Audio", ""}) {
        EXPECT_FALSE(effect->isTypeOf(name, true)) << '"' << name << '"';
    }
    EXPECT_FALSE(effect->isTypeOf(nullptr, true));

    EXPECT_EQ(FCast<Component>(effect.get()), static_cast<Component*>(effect.get()));
    EXPECT_EQ(FCast<ComponentBase>(effect.get()), static_cast<ComponentBase*>(effect.get()));
    EXPECT_EQ(FCast<Bus>(effect.get()), nullptr);
}

} // namespace
} // namespace ProcessorTesting
