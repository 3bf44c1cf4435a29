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

TEST(CUnitInfoDescribe, CopiesEveryFieldOfTheRecordAsIs) {
    UnitRecord custom[3]{};
    custom[2] = {77, 12, "Sub", 5};
    struct Case {
        const UnitRecord* table;
        int32_t count, index, id, parent, programList;
        const char16_t* name;
    } cases[] = {{unitRecords(), kUnitCount, 0, 0, -1, -1, u"Global"},
                 {unitRecords(), kUnitCount, 1, 1, 0, -1, u"Meter"},
                 {custom, 3, 2, 77, 12, 5, u"Sub"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        CUnitInfo info(c.table, c.count);
        EXPECT_EQ(info.unitCount(), c.count);
        Zel::UnitInfo out = poisonedInfo();
        ASSERT_EQ(info.describeUnit(c.index, out), Zel::kResultOk);
        EXPECT_EQ(out.id, c.id);
        EXPECT_EQ(out.parentUnitId, c.parent);
        EXPECT_EQ(out.programListId, c.programList);
        EXPECT_EQ(nameOf(out), c.name);
    }
}

TEST(CUnitInfoDescribe, WidensAnUnterminatedNameAndCutsItAt127Characters) {
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
    block.unit.name[1] = static_cast<char>(0xE9); // a Latin-1 byte: widened without sign extension

    CUnitInfo info(&block.unit, 1);
    Zel::UnitInfo out = poisonedInfo();
    ASSERT_EQ(info.describeUnit(0, out), Zel::kResultOk);
    EXPECT_EQ(out.name[1], char16_t{0x00E9});
    for (size_t i = 2; i < 127; ++i) ASSERT_EQ(out.name[i], static_cast<char16_t>('a' + i % 26)) << i;
    EXPECT_EQ(out.name[127], 0);
    EXPECT_EQ(nameOf(out).size(), 127u);
    EXPECT_EQ(out.programListId, -1); // the field after the name is not overrun
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

TEST(CUnitInfoInterfaces, AnswersUnitInfoAndFUnknownWithTheSameObjectAndRefusesOthers) {
    int destroyed = 0;
    auto* info = new TrackedUnitInfo(unitRecords(), kUnitCount, destroyed);
    Zel::IUnitInfo* asUnitInfo = info;
    for (const Zel::TUID* asked : {&Zel::IUnitInfo_iid, &Zel::FUnknown_iid}) {
        void* out = nullptr;
        ASSERT_EQ(info->QueryInterface(*asked, &out), Zel::kResultOk);
        EXPECT_EQ(out, static_cast<void*>(asUnitInfo));
    }
    const Zel::TUID unrelated = Zel::tuidFromRegistry("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    for (const Zel::TUID* asked : {&IParameterInfoContainer_iid, &unrelated}) {
        int sentinel = 0;
        void* out = &sentinel;
        EXPECT_EQ(info->QueryInterface(*asked, &out), static_cast<Zel::tresult>(0x80004002u));
        EXPECT_EQ(out, nullptr);
    }
    // Two answers took a reference each; the refusals none.
    EXPECT_EQ(info->Release(), 2u);
    EXPECT_EQ(info->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(info->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

} // namespace
} // namespace Param
