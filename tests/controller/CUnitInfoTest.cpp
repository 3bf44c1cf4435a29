// The unit information answered to the host: unit descriptions copied out of
// the static unit table, the operations this plug-in does not support, and
// the object's interfaces and lifetime.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "controller/CUnitInfo.h"
#include "controller/IParameterInfoContainer.h"
#include "controller/ParameterTables.h"
#include "interfaces/InterfaceIds.h"

namespace Param {
namespace {

// The host's buffer as it might arrive: full of garbage.
Zel::UnitInfo poisonedInfo() {
    Zel::UnitInfo info;
    std::memset(&info, 0xA5, sizeof info);
    return info;
}

std::u16string nameOf(const Zel::UnitInfo& info) {
    size_t n = 0;
    while (n < 128 && info.name[n] != 0) ++n;
    return std::u16string(info.name, n);
}

class TrackedUnitInfo : public CUnitInfo {
public:
    TrackedUnitInfo(const UnitRecord* units, int32_t count, int& destroyed)
        : CUnitInfo(units, count), destroyed_(destroyed) {}
    ~TrackedUnitInfo() override { ++destroyed_; }

private:
    int& destroyed_;
};

TEST(CUnitInfoDescribe, DescribesThePlugInsTwoUnits) {
    CUnitInfo info(unitRecords(), kUnitCount);
    EXPECT_EQ(info.unitCount(), 2);

    Zel::UnitInfo global = poisonedInfo();
    ASSERT_EQ(info.describeUnit(0, global), Zel::kResultOk);
    EXPECT_EQ(global.id, 0);
    EXPECT_EQ(global.parentUnitId, -1);
    EXPECT_EQ(global.programListId, -1);
    EXPECT_EQ(nameOf(global), u"Global");

    Zel::UnitInfo meter = poisonedInfo();
    ASSERT_EQ(info.describeUnit(1, meter), Zel::kResultOk);
    EXPECT_EQ(meter.id, 1);
    EXPECT_EQ(meter.parentUnitId, 0);
    EXPECT_EQ(meter.programListId, -1);
    EXPECT_EQ(nameOf(meter), u"Meter");
}

TEST(CUnitInfoDescribe, CopiesEveryFieldOfTheRecordAsIs) {
    UnitRecord units[3]{};
    units[2].id = 77;
    units[2].parentUnit = 12;
    units[2].programList = 5;
    std::strcpy(units[2].name, "Sub");
    CUnitInfo info(units, 3);
    EXPECT_EQ(info.unitCount(), 3);

    Zel::UnitInfo out = poisonedInfo();
    ASSERT_EQ(info.describeUnit(2, out), Zel::kResultOk);
    EXPECT_EQ(out.id, 77);
    EXPECT_EQ(out.parentUnitId, 12);
    EXPECT_EQ(out.programListId, 5);
    EXPECT_EQ(nameOf(out), u"Sub");
}

TEST(CUnitInfoDescribe, WidensBytesWithoutSignExtension) {
    UnitRecord unit{};
    unit.name[0] = 'A';
    unit.name[1] = static_cast<char>(0xE9); // a Latin-1 byte above 0x7F
    unit.name[2] = 'z';
    CUnitInfo info(&unit, 1);
    Zel::UnitInfo out = poisonedInfo();
    ASSERT_EQ(info.describeUnit(0, out), Zel::kResultOk);
    EXPECT_EQ(out.name[0], u'A');
    EXPECT_EQ(out.name[1], char16_t{0x00E9});
    EXPECT_EQ(out.name[2], u'z');
    EXPECT_EQ(out.name[3], 0);
}

TEST(CUnitInfoDescribe, CutsAnUnterminatedNameAt127CharactersAndTerminates) {
    // Guard bytes after the record catch a reader that runs past the name.
    struct {
        UnitRecord unit;
        char after[16];
    } block;
    std::memset(&block, 'x', sizeof block);
    block.unit.id = 3;
    block.unit.parentUnit = 0;
    block.unit.programList = -1;
    for (size_t i = 0; i < sizeof block.unit.name; ++i) block.unit.name[i] = static_cast<char>('a' + i % 26);

    CUnitInfo info(&block.unit, 1);
    Zel::UnitInfo out = poisonedInfo();
    ASSERT_EQ(info.describeUnit(0, out), Zel::kResultOk);
    for (size_t i = 0; i < 127; ++i) ASSERT_EQ(out.name[i], static_cast<char16_t>('a' + i % 26)) << i;
    EXPECT_EQ(out.name[127], 0);
    EXPECT_EQ(nameOf(out).size(), 127u);
    EXPECT_EQ(out.programListId, -1); // the field after the name is not overrun
}

TEST(CUnitInfoDescribe, ANameOfExactly127CharactersFitsWhole) {
    UnitRecord unit{};
    std::memset(unit.name, 'q', 127);
    CUnitInfo info(&unit, 1);
    Zel::UnitInfo out = poisonedInfo();
    ASSERT_EQ(info.describeUnit(0, out), Zel::kResultOk);
    EXPECT_EQ(nameOf(out), std::u16string(127, u'q'));
}

TEST(CUnitInfoDescribe, WithoutATableTheAnswerIsFalse) {
    CUnitInfo info(nullptr, 2);
    Zel::UnitInfo out = poisonedInfo();
    EXPECT_EQ(info.describeUnit(0, out), Zel::kResultFalse);
}

TEST(CUnitInfoUnsupported, NoProgramListsPitchNamesOrUnitSelection) {
    CUnitInfo info(unitRecords(), kUnitCount);
    EXPECT_EQ(info.programListCount(), 0);

    const auto notImplemented = static_cast<Zel::tresult>(0x80004001u);
    char16_t text[128] = {};
    int32_t unitId = 0;
    EXPECT_EQ(info.describeProgramList(0, nullptr), notImplemented);
    EXPECT_EQ(info.programName(0, 0, text), notImplemented);
    EXPECT_EQ(info.programInfo(0, 0, "name", text), notImplemented);
    EXPECT_EQ(info.hasPitchNames(0, 0), notImplemented);
    EXPECT_EQ(info.pitchName(0, 0, 60, text), notImplemented);
    EXPECT_EQ(info.selectedUnit(unitId), notImplemented);
    EXPECT_EQ(info.selectUnit(1), notImplemented);
    EXPECT_EQ(info.unitForBus(0, 0, 0, 0, unitId), notImplemented);
    EXPECT_EQ(info.setUnitProgramData(0, 0, nullptr), notImplemented);
}

TEST(CUnitInfoInterfaces, AnswersUnitInfoAndFUnknownWithTheSameObject) {
    int destroyed = 0;
    auto* info = new TrackedUnitInfo(unitRecords(), kUnitCount, destroyed);
    Zel::IUnitInfo* asUnitInfo = info;
    for (const Zel::TUID* asked : {&Zel::IUnitInfo_iid, &Zel::FUnknown_iid}) {
        void* out = nullptr;
        ASSERT_EQ(info->QueryInterface(*asked, &out), Zel::kResultOk);
        EXPECT_EQ(out, static_cast<void*>(asUnitInfo));
    }
    EXPECT_EQ(info->Release(), 2u);
    EXPECT_EQ(info->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(info->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

TEST(CUnitInfoInterfaces, RefusesOtherIdsWithNull) {
    int destroyed = 0;
    auto* info = new TrackedUnitInfo(unitRecords(), kUnitCount, destroyed);
    const Zel::TUID unrelated = Zel::tuidFromRegistry("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    for (const Zel::TUID* asked : {&IParameterInfoContainer_iid, &unrelated}) {
        int sentinel = 0;
        void* out = &sentinel;
        EXPECT_EQ(info->QueryInterface(*asked, &out), static_cast<Zel::tresult>(0x80004002u));
        EXPECT_EQ(out, nullptr);
    }
    // Refusals took no reference: the creator's one is the last.
    EXPECT_EQ(info->AddRef(), 2u);
    EXPECT_EQ(info->Release(), 1u);
    EXPECT_EQ(info->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

} // namespace
} // namespace Param
