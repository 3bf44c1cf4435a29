// The lookup object over a parameter table: linear plain/normalised
// conversion, index and id lookups, lookup by key name, and its lifetime.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "controller/ParameterInfoAccessor.h"
#include "controller/ParameterTables.h"
#include "interfaces/InterfaceIds.h"

namespace Param {
namespace {

ParameterRecord makeRecord(uint32_t id, const char* name, double minValue, double maxValue) {
    ParameterRecord r{};
    r.id = id;
    std::strncpy(r.name, name, sizeof r.name - 1);
    r.minValue = minValue;
    r.maxValue = maxValue;
    return r;
}

// Ids chosen so that none is 0: a zero answer then always means "not found".
std::vector<ParameterRecord> sampleTable() {
    return {
        makeRecord(101, "level", -80.0, 48.0),
        makeRecord(102, "range", 0.0, 100.0),
        makeRecord(103, "inverted", 10.0, -10.0), // max below min is still linear
        makeRecord(101, "levelAgain", 0.0, 1.0),  // duplicate id: never the one found
    };
}

// Counts its destructions so that lifetime tests can see the last Release.
class TrackedAccessor : public ParameterInfoAccessor {
public:
    TrackedAccessor(const ParameterRecord* table, int32_t count, int& destroyed)
        : ParameterInfoAccessor(table, count), destroyed_(destroyed) {}
    ~TrackedAccessor() override { ++destroyed_; }

private:
    int& destroyed_;
};

TEST(ParameterInfoAccessorConversion, MapsTheReadingRangeLinearly) {
    auto table = sampleTable();
    ParameterInfoAccessor acc(table.data(), static_cast<int32_t>(table.size()));
    EXPECT_DOUBLE_EQ(acc.toNormalized(101, -80.0), 0.0);
    EXPECT_DOUBLE_EQ(acc.toNormalized(101, 48.0), 1.0);
    EXPECT_DOUBLE_EQ(acc.toNormalized(101, -16.0), 0.5);
    EXPECT_DOUBLE_EQ(acc.toPlain(101, 0.25), -48.0);
    EXPECT_DOUBLE_EQ(acc.toPlain(101, 0.0), -80.0);
    EXPECT_DOUBLE_EQ(acc.toPlain(101, 1.0), 48.0);

    EXPECT_DOUBLE_EQ(acc.toNormalized(102, 37.0), 0.37);
    EXPECT_DOUBLE_EQ(acc.toPlain(102, 0.37), 37.0);

    // A range that runs downwards maps min to 0 and max to 1 all the same.
    EXPECT_DOUBLE_EQ(acc.toNormalized(103, 10.0), 0.0);
    EXPECT_DOUBLE_EQ(acc.toNormalized(103, -10.0), 1.0);
    EXPECT_DOUBLE_EQ(acc.toPlain(103, 0.75), -5.0);
}

TEST(ParameterInfoAccessorConversion, DoesNotClampOutsideTheUnitInterval) {
    auto table = sampleTable();
    ParameterInfoAccessor acc(table.data(), static_cast<int32_t>(table.size()));
    EXPECT_DOUBLE_EQ(acc.toNormalized(101, -208.0), -1.0);
    EXPECT_DOUBLE_EQ(acc.toNormalized(101, 176.0), 2.0);
    EXPECT_DOUBLE_EQ(acc.toPlain(101, -0.5), -144.0);
    EXPECT_DOUBLE_EQ(acc.toPlain(101, 1.5), 112.0);
    EXPECT_DOUBLE_EQ(acc.toPlain(102, 3.0), 300.0);
}

TEST(ParameterInfoAccessorConversion, RoundTripsInBothDirections) {
    auto table = sampleTable();
    ParameterInfoAccessor acc(table.data(), static_cast<int32_t>(table.size()));
    for (uint32_t id : {101u, 102u, 103u}) {
        SCOPED_TRACE(id);
        for (int i = -400; i <= 400; ++i) {
            const double plain = i * 0.37;
            EXPECT_NEAR(acc.toPlain(id, acc.toNormalized(id, plain)), plain, 1e-12) << plain;
            const double normalized = i / 200.0; // -2 .. 2, well past both ends
            EXPECT_NEAR(acc.toNormalized(id, acc.toPlain(id, normalized)), normalized, 1e-12) << normalized;
        }
    }
}

TEST(ParameterInfoAccessorConversion, DuplicatedIdUsesTheFirstRecordsRange) {
    auto table = sampleTable();
    ParameterInfoAccessor acc(table.data(), static_cast<int32_t>(table.size()));
    // The second record with id 101 spans 0..1; only the first one's -80..48 counts.
    EXPECT_DOUBLE_EQ(acc.toPlain(101, 0.5), -16.0);
}

TEST(ParameterInfoAccessorConversion, UnknownIdGivesZeroBothWays) {
    auto table = sampleTable();
    ParameterInfoAccessor acc(table.data(), static_cast<int32_t>(table.size()));
    // Values that would be far from zero under any record's range.
    EXPECT_EQ(acc.toNormalized(999, 30.0), 0.0);
    EXPECT_EQ(acc.toPlain(999, 0.7), 0.0);
    EXPECT_EQ(acc.toNormalized(0, 30.0), 0.0);
    EXPECT_EQ(acc.toPlain(0, 0.7), 0.0);

    ParameterInfoAccessor empty(nullptr, 0);
    EXPECT_EQ(empty.toNormalized(101, -16.0), 0.0);
    EXPECT_EQ(empty.toPlain(101, 0.25), 0.0);
}

TEST(ParameterInfoAccessorConversion, SharedReadingsUseTheirLoadTimeRanges) {
    // The processor sends readings normalised over -80..48 and the range over 0..100.
    ParameterInfoAccessor acc(meterParameters(), kMeterParameterCount);
    for (uint32_t id : {1u, 2u, 3u, 8u, 9u, 11u}) {
        SCOPED_TRACE(id);
        EXPECT_DOUBLE_EQ(acc.toNormalized(id, -23.0), (-23.0 + 80.0) / 128.0);
        EXPECT_DOUBLE_EQ(acc.toPlain(id, 0.5), -16.0);
    }
    EXPECT_DOUBLE_EQ(acc.toNormalized(10, 12.5), 0.125);
    EXPECT_DOUBLE_EQ(acc.toPlain(0, 1.0), 1.0);
}

TEST(ParameterInfoAccessorLookup, ParameterIdByIndexIsZeroOutsideTheTable) {
    auto table = sampleTable();
    ParameterInfoAccessor acc(table.data(), static_cast<int32_t>(table.size()));
    EXPECT_EQ(acc.getParameterId(0), 101u);
    EXPECT_EQ(acc.getParameterId(2), 103u);
    EXPECT_EQ(acc.getParameterId(3), 101u);
    for (int32_t index : {-1, 4, 5, INT32_MIN, INT32_MAX}) EXPECT_EQ(acc.getParameterId(index), 0u) << index;
}

TEST(ParameterInfoAccessorLookup, ParameterIndexFindsTheFirstRecordOrReportsFalse) {
    auto table = sampleTable();
    ParameterInfoAccessor acc(table.data(), static_cast<int32_t>(table.size()));
    int32_t index = -7;
    EXPECT_EQ(acc.getParameterIndex(101, index), Zel::kResultOk);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(acc.getParameterIndex(103, index), Zel::kResultOk);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(acc.getParameterIndex(999, index), Zel::kResultFalse);

    ParameterInfoAccessor empty(nullptr, 3); // a count without a table means no records
    EXPECT_EQ(empty.getParameterIndex(101, index), Zel::kResultFalse);
}

TEST(ParameterInfoAccessorLookup, RecordsAreTheTablesOwnOrNull) {
    auto table = sampleTable();
    ParameterInfoAccessor acc(table.data(), static_cast<int32_t>(table.size()));
    EXPECT_EQ(acc.getRecordByIndex(0), &table[0]);
    EXPECT_EQ(acc.getRecordByIndex(3), &table[3]);
    EXPECT_EQ(acc.getRecordByIndex(-1), nullptr);
    EXPECT_EQ(acc.getRecordByIndex(4), nullptr);
    EXPECT_EQ(acc.getRecordByIndex(INT32_MIN), nullptr);

    EXPECT_EQ(acc.getRecordById(101), &table[0]); // the first of the duplicates
    EXPECT_EQ(acc.getRecordById(102), &table[1]);
    EXPECT_EQ(acc.getRecordById(999), nullptr);

    ParameterInfoAccessor negative(table.data(), -2);
    EXPECT_EQ(negative.getRecordByIndex(0), nullptr);
    EXPECT_EQ(negative.getRecordById(101), nullptr);
    EXPECT_EQ(negative.getParameterId(0), 0u);
}

TEST(ParameterInfoAccessorLookup, FindsIdByExactCaseSensitiveName) {
    ParameterInfoAccessor acc(meterParameters(), kMeterParameterCount);
    uint32_t id = 12345;
    EXPECT_EQ(acc.findIdByName("bypass", id), Zel::kResultOk);
    EXPECT_EQ(id, 0u); // the bypass's id is 0: the output really was written
    for (const char* miss : {"Bypass", "bypas", "bypassX", "BYPASS", "", " bypass"}) {
        id = 12345;
        EXPECT_EQ(acc.findIdByName(miss, id), Zel::kResultFalse) << '"' << miss << '"';
    }
    // A key that is a prefix of another finds its own record, not the longer one.
    EXPECT_EQ(acc.findIdByName("loudnessM", id), Zel::kResultOk);
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(acc.findIdByName("loudnessMMax", id), Zel::kResultOk);
    EXPECT_EQ(id, 8u);
    EXPECT_EQ(acc.findIdByName("resetLoudnessMMax", id), Zel::kResultOk);
    EXPECT_EQ(id, 5u);
}

TEST(ParameterInfoAccessorLookup, FindIdByNameTakesTheFirstMatchAndFailsOnEmptyTables) {
    auto table = sampleTable();
    table[3] = makeRecord(104, "range", 0.0, 1.0); // a second "range"
    ParameterInfoAccessor acc(table.data(), static_cast<int32_t>(table.size()));
    uint32_t id = 0;
    EXPECT_EQ(acc.findIdByName("range", id), Zel::kResultOk);
    EXPECT_EQ(id, 102u);

    ParameterInfoAccessor empty(table.data(), 0);
    EXPECT_EQ(empty.findIdByName("range", id), Zel::kResultFalse);
    ParameterInfoAccessor none(nullptr, 0);
    EXPECT_EQ(none.findIdByName("bypass", id), Zel::kResultFalse);

    ParameterInfoAccessor own(controllerOnlyParameters(), kControllerOnlyParameterCount);
    EXPECT_EQ(own.findIdByName("time", id), Zel::kResultOk);
    EXPECT_EQ(id, 53u);
    EXPECT_EQ(own.findIdByName("bypass", id), Zel::kResultFalse);
}

TEST(ParameterInfoAccessorLifetime, CountStartsAtOneAndTheLastReleaseDestroys) {
    auto table = sampleTable();
    int destroyed = 0;
    auto* acc = new TrackedAccessor(table.data(), static_cast<int32_t>(table.size()), destroyed);
    EXPECT_EQ(acc->AddRef(), 2u);
    EXPECT_EQ(acc->AddRef(), 3u);
    EXPECT_EQ(acc->Release(), 2u);
    EXPECT_EQ(acc->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(acc->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
    // The table is not owned: it is still intact after the accessor went.
    EXPECT_EQ(table[0].id, 101u);
}

TEST(ParameterInfoAccessorLifetime, AnswersItsOwnIdAndFUnknownWithAReference) {
    auto table = sampleTable();
    int destroyed = 0;
    auto* acc = new TrackedAccessor(table.data(), static_cast<int32_t>(table.size()), destroyed);
    IParameterInfoContainer* asContainer = acc;
    for (const Zel::TUID* asked : {&IParameterInfoContainer::iid, &Zel::FUnknown_iid}) {
        void* out = nullptr;
        ASSERT_EQ(acc->QueryInterface(*asked, &out), Zel::kResultOk);
        EXPECT_EQ(out, static_cast<void*>(asContainer));
    }
    // Two answers, two references on top of the creator's.
    EXPECT_EQ(acc->Release(), 2u);
    EXPECT_EQ(acc->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(acc->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

TEST(ParameterInfoAccessorLifetime, RefusesOtherIdsWithNullAndNoReference) {
    auto table = sampleTable();
    int destroyed = 0;
    auto* acc = new TrackedAccessor(table.data(), static_cast<int32_t>(table.size()), destroyed);
    const Zel::TUID unrelated = Zel::tuidFromRegistry("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    for (const Zel::TUID* asked : {&Zel::IUnitInfo_iid, &unrelated}) {
        int sentinel = 0;
        void* out = &sentinel;
        EXPECT_EQ(acc->QueryInterface(*asked, &out), static_cast<Zel::tresult>(0x80004002u));
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(acc->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
}

} // namespace
} // namespace Param
