// The lookup object over a parameter table: linear plain/normalised
// conversion, index and id lookups, lookup by key name, and its lifetime.

#include <gtest/gtest.h>

#include <climits>
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

TEST(ParameterInfoAccessorConversion, MapsRangesLinearlyWithoutClamping) {
    auto table = sampleTable();
    ParameterInfoAccessor acc(table.data(), static_cast<int32_t>(table.size()));
    struct Case {
        uint32_t id;
        double plain, normalized;
    } cases[] = {
        {101, -80.0, 0.0}, {101, 48.0, 1.0}, {101, -16.0, 0.5}, {101, -48.0, 0.25},
        {101, -208.0, -1.0}, {101, 176.0, 2.0}, {101, -144.0, -0.5}, // beyond both ends
        {102, 37.0, 0.37}, {102, 300.0, 3.0},
        {103, 10.0, 0.0}, {103, -10.0, 1.0}, {103, -5.0, 0.75}, // a range running downwards
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " " << c.plain);
        EXPECT_DOUBLE_EQ(acc.toNormalized(c.id, c.plain), c.normalized);
        EXPECT_DOUBLE_EQ(acc.toPlain(c.id, c.normalized), c.plain);
    }
    // The second record with id 101 spans 0..1; only the first one's -80..48 counts.
    EXPECT_DOUBLE_EQ(acc.toPlain(101, 0.5), -16.0);
}

TEST(ParameterInfoAccessorConversion, UnknownIdGivesZeroBothWays) {
    auto table = sampleTable();
    ParameterInfoAccessor acc(table.data(), static_cast<int32_t>(table.size()));
    ParameterInfoAccessor empty(nullptr, 0);
    for (uint32_t id : {999u, 0u}) {
        EXPECT_EQ(acc.toNormalized(id, 30.0), 0.0);
        EXPECT_EQ(acc.toPlain(id, 0.7), 0.0);
    }
    EXPECT_EQ(empty.toNormalized(101, -16.0), 0.0);
    EXPECT_EQ(empty.toPlain(101, 0.25), 0.0);
}

TEST(ParameterInfoAccessorLookup, IndexAndIdLookupsFindTheFirstRecordAndNothingOutsideTheTable) {
    auto table = sampleTable();
    ParameterInfoAccessor acc(table.data(), static_cast<int32_t>(table.size()));
    EXPECT_EQ(acc.getParameterId(2), 103u);
    EXPECT_EQ(acc.getParameterId(3), 101u);
    for (int32_t index : {-1, 4, INT32_MIN, INT32_MAX}) EXPECT_EQ(acc.getParameterId(index), 0u) << index;
    int32_t index = -7;
    EXPECT_EQ(acc.getParameterIndex(101, index), Zel::kResultOk);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(acc.getParameterIndex(999, index), Zel::kResultFalse);
    ParameterInfoAccessor empty(nullptr, 3); // a count without a table means no records
    EXPECT_EQ(empty.getParameterIndex(101, index), Zel::kResultFalse);

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

TEST(ParameterInfoAccessorLookup, FindsTheFirstIdByExactCaseSensitiveName) {
    ParameterInfoAccessor acc(meterParameters(), kMeterParameterCount);
    ParameterInfoAccessor own(controllerOnlyParameters(), kControllerOnlyParameterCount);
    auto table = sampleTable();
    table[3] = makeRecord(104, "range", 0.0, 1.0); // a second "range"
    ParameterInfoAccessor sample(table.data(), static_cast<int32_t>(table.size()));
    ParameterInfoAccessor empty(table.data(), 0);
    ParameterInfoAccessor none(nullptr, 0);
    struct Case {
        ParameterInfoAccessor* accessor;
        const char* name;
        bool found;
        uint32_t id;
    } cases[] = {
        {&acc, "bypass", true, 0}, // id 0: the output really was written
        {&acc, "Bypass", false, 0},      {&acc, "bypas", false, 0}, {&acc, "bypassX", false, 0},
        {&acc, "", false, 0},            {&acc, " bypass", false, 0},
        // A key that is a prefix of another finds its own record, not the longer one.
        {&acc, "loudnessM", true, 1},    {&acc, "loudnessMMax", true, 8}, {&acc, "resetLoudnessMMax", true, 5},
        {&sample, "range", true, 102},   {&empty, "range", false, 0},     {&none, "bypass", false, 0},
        {&own, "time", true, 53},        {&own, "bypass", false, 0},
    };
    for (const Case& c : cases) {
        uint32_t id = 12345;
        EXPECT_EQ(c.accessor->findIdByName(c.name, id), c.found ? Zel::kResultOk : Zel::kResultFalse) << c.name;
        EXPECT_EQ(id, c.found ? c.id : 12345u) << c.name;
    }
}

TEST(ParameterInfoAccessorLifetime, AnswersItsOwnIdAndFUnknownAndTheLastReleaseDestroys) {
    auto table = sampleTable();
    int destroyed = 0;
    auto* acc = new TrackedAccessor(table.data(), static_cast<int32_t>(table.size()), destroyed);
    IParameterInfoContainer* asContainer = acc;
    for (const Zel::TUID* asked : {&IParameterInfoContainer::iid, &Zel::FUnknown_iid}) {
        void* out = nullptr;
        ASSERT_EQ(acc->QueryInterface(*asked, &out), Zel::kResultOk);
        EXPECT_EQ(out, static_cast<void*>(asContainer));
    }
    const Zel::TUID unrelated = Zel::tuidFromRegistry("{01234567-89AB-CDEF-0123-456789ABCDEF}");
    for (const Zel::TUID* asked : {&Zel::IUnitInfo_iid, &unrelated}) {
        int sentinel = 0;
        void* out = &sentinel;
        EXPECT_EQ(acc->QueryInterface(*asked, &out), static_cast<Zel::tresult>(0x80004002u));
        EXPECT_EQ(out, nullptr);
    }
    // Two answers, two references on top of the creator's; the refusals none.
    EXPECT_EQ(acc->Release(), 2u);
    EXPECT_EQ(acc->Release(), 1u);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(acc->Release(), 0u);
    EXPECT_EQ(destroyed, 1);
    // The table is not owned: it is still intact after the accessor went.
    EXPECT_EQ(table[0].id, 101u);
}

} // namespace
} // namespace Param
