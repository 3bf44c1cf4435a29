// The class factory: the records hosts read byte for byte, the one process-wide
// factory, its interfaces, and creation and registration on the generic factory.

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <string_view>
#include <vector>

#include "interfaces/IEditController.h"
#include "interfaces/IPtr.h"
#include "interfaces/InterfaceQuery.h"
#include "module/CPluginFactory.h"
#include "module/ModuleIds.h"
#include "module/NivoloFactory.h"

namespace Zel {
namespace {

using Bytes16 = std::array<uint8_t, 16>;

constexpr Bytes16 kProcessorBytes = {0xde, 0x3c, 0x61, 0x42, 0x56, 0x35, 0x53, 0x46,
                                     0xb0, 0xd4, 0x0a, 0xd6, 0xbd, 0xc2, 0xaa, 0x79};
constexpr Bytes16 kControllerBytes = {0x83, 0x6a, 0x82, 0x6d, 0xb4, 0x82, 0x8d, 0x4a,
                                      0xb3, 0x74, 0x80, 0x4f, 0xbe, 0x77, 0x9c, 0x68};

constexpr unsigned char kPoison = 0xAA;

// A record followed by guard bytes, everything poisoned first: shows which bytes
// a reader wrote, that padding is written as zeros, and that nothing runs past
// the record.
template <class Record>
struct Guarded {
    Record record;
    unsigned char guard[32];

    Guarded() { std::memset(static_cast<void*>(this), kPoison, sizeof *this); }
    const unsigned char* bytes() const { return reinterpret_cast<const unsigned char*>(this); }
    bool untouched() const {
        for (size_t i = 0; i < sizeof *this; ++i)
            if (bytes()[i] != kPoison) return false;
        return true;
    }
    bool guardIntact() const {
        for (unsigned char b : guard)
            if (b != kPoison) return false;
        return true;
    }
};

int32_t int32At(const unsigned char* bytes, size_t offset) {
    int32_t v;
    std::memcpy(&v, bytes + offset, sizeof v);
    return v;
}

::testing::AssertionResult idAt(const unsigned char* bytes, size_t offset, const Bytes16& expected) {
    for (size_t i = 0; i < 16; ++i)
        if (bytes[offset + i] != expected[i])
            return ::testing::AssertionFailure() << "id byte " << i << " is " << int(bytes[offset + i])
                                                 << ", expected " << int(expected[i]);
    return ::testing::AssertionSuccess();
}

// Text at offset in units of Char, then zero units to the end of the field.
template <class Char>
::testing::AssertionResult textField(const unsigned char* bytes, size_t offset, size_t units,
                                     std::basic_string_view<Char> text) {
    if (text.size() >= units) return ::testing::AssertionFailure() << "text does not fit the field";
    for (size_t i = 0; i < units; ++i) {
        Char unit;
        std::memcpy(&unit, bytes + offset + sizeof(Char) * i, sizeof unit);
        const Char expected = i < text.size() ? text[i] : Char{};
        if (unit != expected)
            return ::testing::AssertionFailure() << "unit " << i << " of field at " << offset << " is "
                                                 << int(unit) << ", expected " << int(expected);
    }
    return ::testing::AssertionSuccess();
}
::testing::AssertionResult narrowField(const unsigned char* b, size_t offset, size_t size, std::string_view text) {
    return textField<char>(b, offset, size, text);
}
::testing::AssertionResult wideField(const unsigned char* b, size_t offset, size_t units, std::u16string_view text) {
    return textField<char16_t>(b, offset, units, text);
}

// An 8-bit field holding a non-empty terminated text with zeros after it.
::testing::AssertionResult terminatedText(const unsigned char* bytes, size_t offset, size_t size,
                                          std::string_view prefix) {
    const char* text = reinterpret_cast<const char*>(bytes + offset);
    size_t length = strnlen(text, size);
    if (length == 0 || length == size)
        return ::testing::AssertionFailure() << "field at " << offset << " is empty or unterminated";
    if (std::string_view(text, length).substr(0, prefix.size()) != prefix)
        return ::testing::AssertionFailure() << "field at " << offset << " holds '" << std::string(text, length)
                                             << "', expected it to start with '" << prefix << "'";
    for (size_t i = length; i < size; ++i)
        if (bytes[offset + i] != 0) return ::testing::AssertionFailure() << "padding byte " << i << " is not zero";
    return ::testing::AssertionSuccess();
}

struct ExpectedClass {
    int32_t index;
    Bytes16 cid;
    const char* category;
    const char* name;
    std::u16string_view wideName;
    int32_t classFlags;
    const char* subCategories;
};

const ExpectedClass kClasses[] = {
    {0, kProcessorBytes, "Audio Module Class", "Nivolo", u"Nivolo", 1, "Fx|Analyzer"},
    {1, kControllerBytes, "Component Controller Class", "Nivolo Controller", u"Nivolo Controller", 0, ""},
};

// ---- The module's own factory ------------------------------------------------

// Holds the process-wide factory for one test and checks it is gone afterwards,
// so every test starts without one.
class NivoloFactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(NivoloFactory::instance(), nullptr) << "a previous test left the factory alive";
        factory_ = IPtr<IPluginFactory>::adopt(NivoloFactory::getFactory());
        ASSERT_TRUE(factory_);
        factory3_ = queryInterface<IPluginFactory3>(factory_.get());
        ASSERT_TRUE(factory3_);
    }
    void TearDown() override {
        factory3_.reset();
        factory_.reset();
        EXPECT_EQ(NivoloFactory::instance(), nullptr);
    }
    int32_t refCount() const { return NivoloFactory::instance()->refCount(); }

    IPtr<IPluginFactory> factory_;
    IPtr<IPluginFactory3> factory3_;
};

using NivoloFactoryRecords = NivoloFactoryTest;

TEST_F(NivoloFactoryRecords, FactoryInfoFieldsAtTheirOffsets) {
    Guarded<FactoryInfo> info;
    ASSERT_EQ(factory_->readFactoryInfo(&info.record), kResultOk);
    const unsigned char* b = info.bytes();
    EXPECT_TRUE(narrowField(b, 0, 64, "Halvernik"));
    EXPECT_TRUE(terminatedText(b, 64, 256, ""));
    EXPECT_TRUE(terminatedText(b, 320, 128, "mailto:"));
    EXPECT_GT(strnlen(reinterpret_cast<const char*>(b + 320), 128), std::strlen("mailto:")) << "no address";
    EXPECT_EQ(int32At(b, 448), 24);
    EXPECT_TRUE(info.guardIntact());
}

// ClassInfo is the leading 116 bytes of ClassInfo2; neither reader runs past its record.
TEST_F(NivoloFactoryRecords, ClassInfoAndClassInfo2OfBothClasses) {
    ASSERT_EQ(factory_->classCount(), 2);
    for (const ExpectedClass& c : kClasses) {
        SCOPED_TRACE(c.name);
        Guarded<ClassInfo> info;
        Guarded<ClassInfo2> info2;
        ASSERT_EQ(factory_->readClassInfo(c.index, &info.record), kResultOk);
        ASSERT_EQ(factory3_->readClassInfo2(c.index, &info2.record), kResultOk);
        const unsigned char* b = info2.bytes();
        EXPECT_TRUE(idAt(b, 0, c.cid));
        EXPECT_EQ(int32At(b, 16), 0x7FFFFFFF);
        EXPECT_TRUE(narrowField(b, 20, 32, c.category));
        EXPECT_TRUE(narrowField(b, 52, 64, c.name));
        EXPECT_EQ(int32At(b, 116), c.classFlags);
        EXPECT_TRUE(narrowField(b, 120, 128, c.subCategories));
        EXPECT_TRUE(narrowField(b, 248, 64, "")); // hosts fall back to the factory's vendor
        EXPECT_TRUE(narrowField(b, 312, 64, "1.0.0.181"));
        EXPECT_TRUE(narrowField(b, 376, 64, "ZEL 3.5.2"));
        EXPECT_TRUE(info2.guardIntact());
        EXPECT_EQ(std::memcmp(info.bytes(), b, sizeof(ClassInfo)), 0);
        EXPECT_TRUE(info.guardIntact()) << "wrote past the 116-byte record";
    }
}

TEST_F(NivoloFactoryRecords, ClassInfoWideOfBothClasses) {
    for (const ExpectedClass& c : kClasses) {
        SCOPED_TRACE(c.name);
        Guarded<ClassInfoWide> info;
        ASSERT_EQ(factory3_->readClassInfoWide(c.index, &info.record), kResultOk);
        const unsigned char* b = info.bytes();
        EXPECT_TRUE(idAt(b, 0, c.cid));
        EXPECT_EQ(int32At(b, 16), 0x7FFFFFFF);
        EXPECT_TRUE(narrowField(b, 20, 32, c.category));
        EXPECT_TRUE(wideField(b, 52, 64, c.wideName));
        EXPECT_EQ(int32At(b, 180), c.classFlags);
        EXPECT_TRUE(narrowField(b, 184, 128, c.subCategories)); // stays 8-bit
        EXPECT_TRUE(wideField(b, 312, 64, u""));
        EXPECT_TRUE(wideField(b, 440, 64, u"1.0.0.181"));
        EXPECT_TRUE(wideField(b, 568, 64, u"ZEL 3.5.2"));
        EXPECT_TRUE(info.guardIntact());
    }
}

TEST_F(NivoloFactoryRecords, ReadersRejectIndexOutsideTheClassesAndNullRecords) {
    for (int32_t index : {2, -1, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(index);
        Guarded<ClassInfo> info;
        Guarded<ClassInfo2> info2;
        Guarded<ClassInfoWide> wide;
        EXPECT_EQ(factory_->readClassInfo(index, &info.record), kInvalidArgument);
        EXPECT_EQ(factory3_->readClassInfo2(index, &info2.record), kInvalidArgument);
        EXPECT_EQ(factory3_->readClassInfoWide(index, &wide.record), kInvalidArgument);
        EXPECT_TRUE(info.untouched());
        EXPECT_TRUE(info2.untouched());
        EXPECT_TRUE(wide.untouched());
    }
    EXPECT_EQ(factory_->readClassInfo(0, nullptr), kInvalidArgument);
    EXPECT_EQ(factory3_->readClassInfo2(0, nullptr), kInvalidArgument);
    EXPECT_EQ(factory3_->readClassInfoWide(0, nullptr), kInvalidArgument);
    // A null factory record is tolerated, unlike the class records.
    EXPECT_EQ(factory_->readFactoryInfo(nullptr), kResultOk);
    EXPECT_EQ(factory3_->acceptHostContext(nullptr), kResultOk);
}

// ---- One factory per process --------------------------------------------------

TEST(NivoloFactoryLifetime, CallsShareOneFactoryUntilTheLastReleaseThenAFreshOneGivesTheSameInformation) {
    struct Snapshot {
        FactoryInfo factory;
        ClassInfo2 info2[2];
        ClassInfoWide wide[2];
    };
    auto snapshot = [](IPluginFactory* f) {
        Snapshot s;
        std::memset(static_cast<void*>(&s), 0, sizeof s);
        EXPECT_EQ(f->readFactoryInfo(&s.factory), kResultOk);
        auto f3 = queryInterface<IPluginFactory3>(f);
        for (int32_t i = 0; i < 2; ++i) {
            EXPECT_EQ(f3->readClassInfo2(i, &s.info2[i]), kResultOk);
            EXPECT_EQ(f3->readClassInfoWide(i, &s.wide[i]), kResultOk);
        }
        return s;
    };

    ASSERT_EQ(NivoloFactory::instance(), nullptr);
    IPluginFactory* first = NivoloFactory::getFactory();
    IPluginFactory* second = NivoloFactory::getFactory();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    ASSERT_EQ(static_cast<IPluginFactory*>(NivoloFactory::instance()), first);
    EXPECT_EQ(NivoloFactory::instance()->refCount(), 2);
    EXPECT_EQ(first->classCount(), 2) << "a second call must not register the classes again";
    const Snapshot before = snapshot(first);
    EXPECT_EQ(second->Release(), 1u);
    EXPECT_EQ(static_cast<IPluginFactory*>(NivoloFactory::instance()), first);
    EXPECT_EQ(first->Release(), 0u);
    ASSERT_EQ(NivoloFactory::instance(), nullptr);

    IPluginFactory* again = NivoloFactory::getFactory();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(static_cast<IPluginFactory*>(NivoloFactory::instance()), again);
    EXPECT_EQ(NivoloFactory::instance()->refCount(), 1);
    EXPECT_EQ(again->classCount(), 2);
    const Snapshot after = snapshot(again);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    EXPECT_EQ(again->Release(), 0u);
    EXPECT_EQ(NivoloFactory::instance(), nullptr);
}

// ---- Interfaces of the factory ------------------------------------------------

using NivoloFactoryQuery = NivoloFactoryTest;

TEST_F(NivoloFactoryQuery, AnswersItsOwnIdsWithItselfAndOneReferenceOthersWithNull) {
    const int32_t base = refCount();
    for (const TUID* id : {&FUnknown_iid, &IPluginFactory_iid, &IPluginFactory2_iid, &IPluginFactory3_iid}) {
        SCOPED_TRACE(tuidToRegistry(*id));
        void* out = reinterpret_cast<void*>(0x1);
        ASSERT_EQ(factory_->QueryInterface(*id, &out), kResultOk);
        EXPECT_EQ(out, static_cast<void*>(factory_.get()));
        EXPECT_EQ(refCount(), base + 1);
        EXPECT_EQ(static_cast<FUnknown*>(out)->Release(), static_cast<uint32_t>(base));
    }
    TUID lastByteOff = IPluginFactory3_iid;
    lastByteOff.bytes[15] ^= 1;
    for (const TUID* id : std::initializer_list<const TUID*>
         {&IComponent_iid, &IAudioProcessor_iid, &IEditController_iid, &IDependent_iid, &kProcessorClassId, &lastByteOff}) {
        SCOPED_TRACE(tuidToRegistry(*id));
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(factory_->QueryInterface(*id, &out), kNoInterface);
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(refCount(), base);
    }
}

using NivoloFactoryCreate = NivoloFactoryTest;

TEST_F(NivoloFactoryCreate, UnknownClassOrAnotherClassesInterfaceGivesNoInterfaceAndNull) {
    TUID nearProcessor = kProcessorClassId; // equal in the first 8 bytes
    nearProcessor.bytes[15] ^= 0x80;
    const std::pair<const TUID*, const TUID*> refused[] = {
        {&nearProcessor, &IComponent_iid},
        {&IComponent_iid, &IComponent_iid},
        {&kProcessorClassId, &IEditController_iid},
        {&kControllerClassId, &IAudioProcessor_iid},
    };
    for (const auto& [cid, iid] : refused) {
        SCOPED_TRACE(tuidToRegistry(*cid) + " as " + tuidToRegistry(*iid));
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(factory_->createInstance(*cid, *iid, &out), kNoInterface);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(NivoloFactoryCreate, EachClassComesAsAnyOfItsInterfacesWithOneReference) {
    const int32_t base = refCount();
    const std::pair<const TUID*, const TUID*> created[] = {
        {&kProcessorClassId, &IComponent_iid},   {&kProcessorClassId, &IAudioProcessor_iid},
        {&kProcessorClassId, &FUnknown_iid},     {&kControllerClassId, &IEditController_iid},
        {&kControllerClassId, &FUnknown_iid},
    };
    for (const auto& [cid, iid] : created) {
        SCOPED_TRACE(tuidToRegistry(*cid) + " as " + tuidToRegistry(*iid));
        void* out = nullptr;
        ASSERT_EQ(factory_->createInstance(*cid, *iid, &out), kResultOk);
        ASSERT_NE(out, nullptr);
        auto* object = static_cast<FUnknown*>(out);
        if (cid == &kControllerClassId) {
            IPtr<IEditController> controller = queryInterface<IEditController>(object);
            ASSERT_TRUE(controller);
            EXPECT_EQ(controller->getParameterCount(), 0) << "no controls before initialize";
        }
        // The caller holds the only reference: one AddRef/Release pair shows the count.
        EXPECT_EQ(object->AddRef(), 2u);
        EXPECT_EQ(object->Release(), 1u);
        EXPECT_EQ(object->Release(), 0u);
    }
    EXPECT_EQ(refCount(), base); // objects hold no reference to the factory
}

// ---- Creation on the generic factory -------------------------------------------

constexpr TUID kProbeIid = tuidFromRegistry("{5A1E0C3B-7D42-4F18-9B6E-2C8D4A7F1E90}");
constexpr TUID kSideIid = tuidFromRegistry("{C0FFEE11-2233-4455-8899-AABBCCDDEEFF}");
constexpr TUID kProbeClassId = tuidFromRegistry("{0BADF00D-0001-4000-8000-000000000000}");

class IProbe : public FUnknown {
public:
    static constexpr const TUID& iid = kProbeIid;
    virtual char probeTag() = 0;

protected:
    ~IProbe() = default;
};

class ISide : public FUnknown {
public:
    static constexpr const TUID& iid = kSideIid;
    virtual char sideTag() = 0;

protected:
    ~ISide() = default;
};

struct Counters {
    int created = 0;
    int destroyed = 0;
};

// Two interfaces, so the pointer handed out differs per interface.
class Probe final : public IProbe, public ISide {
public:
    explicit Probe(Counters& counters) : counters_(counters) { ++counters_.created; }
    ~Probe() { ++counters_.destroyed; }

    tresult QueryInterface(const TUID& asked, void** obj) override {
        if (answerInterface<IProbe>(asked, this, obj) || answerInterface<ISide>(asked, this, obj)) return kResultOk;
        if (iidEqual(asked, FUnknown_iid)) {
            IProbe* root = this;
            root->AddRef();
            *obj = static_cast<FUnknown*>(root);
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    ZEL_REFCOUNT_METHODS

    char probeTag() override { return 'P'; }
    char sideTag() override { return 'S'; }

private:
    RefCount refCount_;
    Counters& counters_;
};

FUnknown* createProbe(void* context) {
    return static_cast<IProbe*>(new Probe(*static_cast<Counters*>(context)));
}
FUnknown* createNothing(void*) { return nullptr; }

ClassInfo2 probeClass(const TUID& cid, const char* name) {
    ClassInfo2 info{};
    info.cid = cid;
    info.cardinality = kManyInstances;
    std::strncpy(info.category, "Probe Class", sizeof info.category - 1);
    std::strncpy(info.name, name, sizeof info.name - 1);
    std::strncpy(info.version, "2.0", sizeof info.version - 1);
    return info;
}

IPtr<CPluginFactory> emptyFactory() {
    FactoryInfo info{};
    std::strncpy(info.vendor, "Probe Maker", sizeof info.vendor - 1);
    return IPtr<CPluginFactory>::adopt(new CPluginFactory(info));
}

TEST(CPluginFactoryCreate, ObjectComesBackAsTheAskedInterfaceWithOneReference) {
    Counters counters;
    auto factory = emptyFactory();
    const ClassInfo2 info = probeClass(kProbeClassId, "Probe");
    ASSERT_TRUE(factory->registerClass(&info, createProbe, &counters));

    void* out = nullptr;
    ASSERT_EQ(factory->createInstance(kProbeClassId, kSideIid, &out), kResultOk);
    ASSERT_NE(out, nullptr);
    auto* side = static_cast<ISide*>(out);
    EXPECT_EQ(side->sideTag(), 'S') << "not the ISide part of the object";
    EXPECT_EQ(side->AddRef(), 2u) << "the creation reference was not released";
    EXPECT_EQ(side->Release(), 1u);
    EXPECT_EQ(factory->refCount(), 1) << "objects hold no reference to their factory";

    out = nullptr;
    ASSERT_EQ(factory->createInstance(kProbeClassId, kProbeIid, &out), kResultOk);
    auto* probe = static_cast<IProbe*>(out);
    EXPECT_EQ(probe->probeTag(), 'P');
    EXPECT_EQ(counters.created, 2) << "each call creates its own object";

    // Objects outlive the factory that made them.
    factory.reset();
    EXPECT_EQ(side->Release(), 0u);
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_EQ(counters.destroyed, 2);
}

TEST(CPluginFactoryCreate, RefusedInterfaceNullObjectOrUnknownClassGivesNoInterfaceAndNull) {
    Counters counters;
    auto factory = emptyFactory();
    const ClassInfo2 probe = probeClass(kProbeClassId, "Probe");
    TUID nothingId = kProbeClassId;
    nothingId.bytes[0] ^= 1;
    const ClassInfo2 nothing = probeClass(nothingId, "Nothing");
    ASSERT_TRUE(factory->registerClass(&probe, createProbe, &counters));
    ASSERT_TRUE(factory->registerClass(&nothing, createNothing));
    TUID other = kProbeClassId;
    other.bytes[8] ^= 1; // differs only in the second half

    const std::pair<const TUID*, const TUID*> refused[] = {
        {&kProbeClassId, &IComponent_iid}, {&nothingId, &kProbeIid}, {&other, &kProbeIid}};
    for (const auto& [cid, iid] : refused) {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(factory->createInstance(*cid, *iid, &out), kNoInterface);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(counters.created, 1);
    EXPECT_EQ(counters.destroyed, 1) << "the refused object was left alive";
}

// ---- Registration ---------------------------------------------------------------

TEST(CPluginFactoryRegistry, NullRecordOrCreateFunctionRegistersNothingAndARecordIsCopied) {
    auto factory = emptyFactory();
    ClassInfo2 info = probeClass(kProbeClassId, "Original");
    EXPECT_FALSE(factory->registerClass(nullptr, createProbe));
    EXPECT_FALSE(factory->registerClass(&info, nullptr));
    EXPECT_EQ(factory->classCount(), 0);
    ClassInfo2 read;
    EXPECT_EQ(factory->readClassInfo2(0, &read), kInvalidArgument);
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(factory->createInstance(kProbeClassId, kProbeIid, &out), kNoInterface);
    EXPECT_EQ(out, nullptr);

    ASSERT_TRUE(factory->registerClass(&info, createNothing));
    info = probeClass(kProbeIid, "Changed");
    ASSERT_EQ(factory->readClassInfo2(0, &read), kResultOk);
    EXPECT_TRUE(read.cid == kProbeClassId);
    EXPECT_STREQ(read.name, "Original");
}

TEST(CPluginFactoryRegistry, GrowsPastItsFirstTenEntriesKeepingRegistrationOrder) {
    constexpr int kClasses = 25;
    std::vector<Counters> counters(kClasses);
    auto factory = emptyFactory();
    for (int i = 0; i < kClasses; ++i) {
        TUID cid = kProbeClassId;
        cid.bytes[15] = static_cast<uint8_t>(i);
        const ClassInfo2 info = probeClass(cid, ("Probe " + std::to_string(i)).c_str());
        ASSERT_TRUE(factory->registerClass(&info, createProbe, &counters[static_cast<size_t>(i)])) << i;
    }
    ASSERT_EQ(factory->classCount(), kClasses);

    for (int i = 0; i < kClasses; ++i) {
        SCOPED_TRACE(i);
        const std::string name = "Probe " + std::to_string(i);
        Guarded<ClassInfo2> info2;
        Guarded<ClassInfoWide> wide;
        ASSERT_EQ(factory->readClassInfo2(i, &info2.record), kResultOk);
        ASSERT_EQ(factory->readClassInfoWide(i, &wide.record), kResultOk);
        EXPECT_EQ(info2.record.cid.bytes[15], i);
        EXPECT_TRUE(narrowField(info2.bytes(), 52, 64, name));
        EXPECT_EQ(wide.record.cid.bytes[15], i);
        EXPECT_TRUE(wideField(wide.bytes(), 52, 64, std::u16string(name.begin(), name.end())));

        // Each class creates with its own function context.
        void* out = nullptr;
        ASSERT_EQ(factory->createInstance(info2.record.cid, kProbeIid, &out), kResultOk);
        static_cast<IProbe*>(out)->Release();
        EXPECT_EQ(counters[static_cast<size_t>(i)].created, 1);
        EXPECT_EQ(counters[static_cast<size_t>(i)].destroyed, 1);
    }
    EXPECT_EQ(factory->readClassInfo2(kClasses, nullptr), kInvalidArgument);
}

TEST(CPluginFactoryRegistry, WideFormsWidenBytesAndStayTerminated) {
    auto factory = emptyFactory();
    ClassInfo2 info = probeClass(kProbeClassId, "");
    // Latin-1 bytes become the same code point, not a sign-extended unit.
    std::strcpy(info.name, "Caf\xE9 \xFF");
    // A field filled to the last byte without a terminator keeps 63 units + 0.
    std::memset(info.vendor, 'v', sizeof info.vendor);
    // Whatever follows a terminator inside the field is not carried over.
    std::memcpy(info.version, "1.2\0junk", 8);
    std::memset(info.sdkVersion, 's', 63);
    info.sdkVersion[63] = '\0';
    std::strcpy(info.subCategories, "Fx|Probe");
    info.classFlags = 0x80000001u;
    ASSERT_TRUE(factory->registerClass(&info, createNothing));

    Guarded<ClassInfoWide> wide;
    ASSERT_EQ(factory->readClassInfoWide(0, &wide.record), kResultOk);
    const unsigned char* b = wide.bytes();
    EXPECT_TRUE(wideField(b, 52, 64, u"Caf\u00E9 \u00FF"));
    EXPECT_TRUE(wideField(b, 312, 64, std::u16string(63, u'v')));
    EXPECT_TRUE(wideField(b, 440, 64, u"1.2"));
    EXPECT_TRUE(wideField(b, 568, 64, std::u16string(63, u's')));
    EXPECT_TRUE(narrowField(b, 184, 128, "Fx|Probe"));
    EXPECT_TRUE(narrowField(b, 20, 32, "Probe Class"));
    uint32_t flags;
    std::memcpy(&flags, b + 180, sizeof flags);
    EXPECT_EQ(flags, 0x80000001u);
    EXPECT_TRUE(wide.guardIntact());

    // The 8-bit record is handed back exactly as registered.
    ClassInfo2 read;
    ASSERT_EQ(factory->readClassInfo2(0, &read), kResultOk);
    EXPECT_EQ(std::memcmp(&read, &info, sizeof info), 0);
}

} // namespace
} // namespace Zel
