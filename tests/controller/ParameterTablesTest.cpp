// The static parameter and unit tables: the rows processor, controller and
// host all rely on, the raw record layout they read byte for byte, and the
// reading ranges that must be in place before any object is built.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "controller/ParameterRecord.h"
#include "controller/ParameterTables.h"
#include "controller/UnitRecord.h"

namespace Param {
namespace {

// The agreed rows, written out independently of the tables under test.
struct Row {
    uint32_t id;
    const char* name;
    const char* title;
    const char* units;
    double minValue;
    double maxValue;
    double defaultValue;
    double stepSize;
    int32_t kind;
    uint32_t flags;
    const char* format;
    int32_t precision;
    int32_t unitId;
};

const Row kMeterRows[12] = {
    {1, "loudnessM", "Momentary", "", -80, 48, 0, 0.1, 1, 0x2, "%.1f", 1, 0},
    {2, "loudnessS", "ShortTerm", "", -80, 48, 0, 0.1, 1, 0x2, "%.1f", 1, 0},
    {3, "loudnessI", "Integrated", "", -80, 48, 0, 0.1, 1, 0x2, "%.1f", 1, 0},
    {8, "loudnessMMax", "MomentMax", "", -80, 48, 0, 0.1, 1, 0x2, "%.1f", 1, 0},
    {9, "loudnessSTMax", "ShortTermMax", "", -80, 48, 0, 0.1, 1, 0x2, "%.1f", 1, 0},
    {10, "loudnessRange", "LoudnessRange", "LU", 0, 100, 0, 0.1, 1, 0x2, "%.1f", 1, 0},
    {11, "truePeak", "TruePeak", "dB", -80, 48, 0, 0.1, 1, 0x2, "%.1f", 1, 0},
    {4, "resetLoudness", "ResetLoudness", "On/Off", 0, 1, 0, 1, 2, 0, "%.0f", 0, 0},
    {5, "resetLoudnessMMax", "ResetLoudnessMMax", "On/Off", 0, 1, 0, 1, 2, 0, "%.0f", 0, 0},
    {7, "resetTruePeak", "ResetTruePeak", "On/Off", 0, 1, 0, 1, 2, 0, "%.0f", 0, 0},
    {48, "scaleModeLoudness", "ScaleLU", "", 0, 1, 0, 1, 0, 0, "%.0f", 0, 0},
    {0, "bypass", "Bypass", "On/Off", 0, 1, 0, 1, 2, 0x10000, "%.0f", 0, 0},
};

const Row kControllerOnlyRows[4] = {
    {46, "truePeakOver", "TP-Over", "", 0, 1, 0, 1, 0, 0x2, "%.0f", 0, 1},
    {47, "loudnessIOver", "IL-Over", "", 0, 1, 0, 1, 0, 0x2, "%.0f", 0, 1},
    {53, "time", "Time", "", 0, 1, 0, 1, 3, 0x2, "%.0f", 0, 1},
    {54, "about", "About", "", 0, 1, 0, 1, 0, 0, "%.0f", 0, 0},
};

// A fixed-size text field must hold exactly `expected` followed by its terminator.
template <size_t N>
::testing::AssertionResult textIs(const char (&field)[N], const char* expected) {
    const void* end = std::memchr(field, '\0', N);
    if (!end) return ::testing::AssertionFailure() << "no terminator within " << N << " bytes";
    std::string actual(field, static_cast<const char*>(end));
    if (actual != expected)
        return ::testing::AssertionFailure() << "\"" << actual << "\" != \"" << expected << "\"";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult bytesZero(const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (bytes[i] != 0) return ::testing::AssertionFailure() << "byte " << i << " is " << int(bytes[i]);
    return ::testing::AssertionSuccess();
}

void expectRecordMatches(const ParameterRecord& r, const Row& row) {
    EXPECT_EQ(r.id, row.id);
    EXPECT_TRUE(textIs(r.name, row.name));
    EXPECT_TRUE(textIs(r.title, row.title));
    EXPECT_TRUE(textIs(r.units, row.units));
    EXPECT_EQ(r.minValue, row.minValue);
    EXPECT_EQ(r.maxValue, row.maxValue);
    EXPECT_EQ(r.defaultValue, row.defaultValue);
    EXPECT_EQ(r.stepSize, row.stepSize);
    EXPECT_EQ(r.kind, row.kind);
    EXPECT_EQ(r.flags, row.flags);
    EXPECT_TRUE(textIs(r.format, row.format));
    EXPECT_EQ(r.precision, row.precision);
    EXPECT_EQ(r.unitId, row.unitId);
    EXPECT_TRUE(bytesZero(r.reserved0, sizeof r.reserved0));
    EXPECT_TRUE(bytesZero(r.reserved1, sizeof r.reserved1));
}

template <class T>
T valueAt(const unsigned char* bytes, size_t offset) {
    T v;
    std::memcpy(&v, bytes + offset, sizeof v);
    return v;
}

std::string textAt(const unsigned char* bytes, size_t offset) {
    return std::string(reinterpret_cast<const char*>(bytes + offset));
}

// Taken during static initialisation, in whatever order this file's
// initialisers run relative to the tables' own: whoever reads the table first
// must already see the readings' ranges.
struct Range {
    double minValue;
    double maxValue;
};
const std::array<Range, kMeterParameterCount> gRangesSeenAtLoad = [] {
    std::array<Range, kMeterParameterCount> ranges{};
    const ParameterRecord* table = meterParameters();
    for (int32_t i = 0; i < kMeterParameterCount; ++i) ranges[i] = {table[i].minValue, table[i].maxValue};
    return ranges;
}();

TEST(ParameterTables, CountsAreTwelveFourAndTwo) {
    EXPECT_EQ(kMeterParameterCount, 12);
    EXPECT_EQ(kControllerOnlyParameterCount, 4);
    EXPECT_EQ(kUnitCount, 2);
}

TEST(ParameterTables, MeterRecordsMatchTheAgreedRowsInOrder) {
    const ParameterRecord* table = meterParameters();
    ASSERT_NE(table, nullptr);
    for (int32_t i = 0; i < kMeterParameterCount; ++i) {
        SCOPED_TRACE("meter record " + std::to_string(i));
        expectRecordMatches(table[i], kMeterRows[i]);
    }
}

TEST(ParameterTables, ControllerOnlyRecordsMatchTheAgreedRowsInOrder) {
    const ParameterRecord* table = controllerOnlyParameters();
    ASSERT_NE(table, nullptr);
    for (int32_t i = 0; i < kControllerOnlyParameterCount; ++i) {
        SCOPED_TRACE("controller-only record " + std::to_string(i));
        expectRecordMatches(table[i], kControllerOnlyRows[i]);
    }
}

TEST(ParameterTables, ReadingRangesAreInPlaceBeforeAnyObjectReadsTheTable) {
    for (int32_t i = 0; i < kMeterParameterCount; ++i) {
        SCOPED_TRACE("meter record " + std::to_string(i));
        EXPECT_EQ(gRangesSeenAtLoad[i].minValue, kMeterRows[i].minValue);
        EXPECT_EQ(gRangesSeenAtLoad[i].maxValue, kMeterRows[i].maxValue);
    }
}

TEST(ParameterTables, ReadingRangesAreMinus80To48AndLoudnessRangeKeeps0To100) {
    // Asking again must neither undo nor widen what the load step did.
    meterParameters();
    const ParameterRecord* table = meterParameters();
    for (uint32_t readingId : {1u, 2u, 3u, 8u, 9u, 11u}) {
        SCOPED_TRACE("reading id " + std::to_string(readingId));
        int found = 0;
        for (int32_t i = 0; i < kMeterParameterCount; ++i) {
            if (table[i].id != readingId) continue;
            ++found;
            EXPECT_EQ(table[i].minValue, -80.0);
            EXPECT_EQ(table[i].maxValue, 48.0);
        }
        EXPECT_EQ(found, 1);
    }
    EXPECT_EQ(table[5].id, 10u);
    EXPECT_EQ(table[5].minValue, 0.0);
    EXPECT_EQ(table[5].maxValue, 100.0);
}

TEST(ParameterTables, OnlyTheLastMeterRecordIsTheBypass) {
    const ParameterRecord* meter = meterParameters();
    const ParameterRecord* own = controllerOnlyParameters();
    int bypassCount = 0;
    int bypassIndex = -1;
    for (int32_t i = 0; i < kMeterParameterCount; ++i) {
        if (meter[i].flags & 0x10000u) {
            ++bypassCount;
            bypassIndex = i;
        }
    }
    for (int32_t i = 0; i < kControllerOnlyParameterCount; ++i)
        if (own[i].flags & 0x10000u) ++bypassCount;
    EXPECT_EQ(bypassCount, 1);
    EXPECT_EQ(bypassIndex, kMeterParameterCount - 1);
    EXPECT_TRUE(textIs(meter[kMeterParameterCount - 1].name, "bypass"));
}

TEST(ParameterTables, EveryRecordHasANonEmptyRangeAndNoInternalFlag) {
    // The conversions divide by max - min; a host must never see the internal bit.
    auto check = [](const ParameterRecord* table, int32_t count, const char* which) {
        for (int32_t i = 0; i < count; ++i) {
            SCOPED_TRACE(std::string(which) + " record " + std::to_string(i));
            EXPECT_NE(table[i].maxValue, table[i].minValue);
            EXPECT_EQ(table[i].flags & 0x20000u, 0u);
        }
    };
    check(meterParameters(), kMeterParameterCount, "meter");
    check(controllerOnlyParameters(), kControllerOnlyParameterCount, "controller-only");
}

TEST(ParameterTables, IdsAndNamesAreUniqueAcrossBothTables) {
    // The controller merges both tables and looks records up by id and by name.
    std::array<const ParameterRecord*, 16> all{};
    for (int32_t i = 0; i < kMeterParameterCount; ++i) all[i] = &meterParameters()[i];
    for (int32_t i = 0; i < kControllerOnlyParameterCount; ++i)
        all[kMeterParameterCount + i] = &controllerOnlyParameters()[i];
    for (size_t a = 0; a < all.size(); ++a) {
        for (size_t b = a + 1; b < all.size(); ++b) {
            EXPECT_NE(all[a]->id, all[b]->id) << a << " vs " << b;
            EXPECT_NE(std::string(all[a]->name), std::string(all[b]->name)) << a << " vs " << b;
        }
    }
}

TEST(ParameterRecordLayout, FieldsSitAtTheirByteOffsetsInTheRawTable) {
    ASSERT_EQ(sizeof(ParameterRecord), 456u);
    const auto* loudnessM = reinterpret_cast<const unsigned char*>(&meterParameters()[0]);
    EXPECT_EQ(valueAt<uint32_t>(loudnessM, 0), 1u);
    EXPECT_EQ(textAt(loudnessM, 4), "loudnessM");
    EXPECT_EQ(textAt(loudnessM, 132), "Momentary");
    EXPECT_EQ(valueAt<double>(loudnessM, 392), -80.0);
    EXPECT_EQ(valueAt<double>(loudnessM, 400), 48.0);
    EXPECT_EQ(valueAt<double>(loudnessM, 408), 0.0);
    EXPECT_EQ(valueAt<double>(loudnessM, 416), 0.1);
    EXPECT_EQ(valueAt<int32_t>(loudnessM, 424), 1);
    EXPECT_EQ(valueAt<uint32_t>(loudnessM, 428), 0x2u);
    EXPECT_EQ(textAt(loudnessM, 432), "%.1f");
    EXPECT_EQ(valueAt<int32_t>(loudnessM, 444), 1);

    const auto* range = reinterpret_cast<const unsigned char*>(&meterParameters()[5]);
    EXPECT_EQ(textAt(range, 260), "LU");
    EXPECT_EQ(valueAt<double>(range, 400), 100.0);

    // The table is read as one contiguous array of 456-byte records.
    const auto* base = loudnessM;
    EXPECT_EQ(valueAt<uint32_t>(base, 11 * 456 + 0), 0u);
    EXPECT_EQ(textAt(base, 11 * 456 + 4), "bypass");
    EXPECT_EQ(valueAt<uint32_t>(base, 11 * 456 + 428), 0x10000u);
    EXPECT_EQ(textAt(base, 11 * 456 + 432), "%.0f");

    const auto* own = reinterpret_cast<const unsigned char*>(controllerOnlyParameters());
    EXPECT_EQ(valueAt<uint32_t>(own, 2 * 456), 53u);
    EXPECT_EQ(valueAt<int32_t>(own, 2 * 456 + 424), 3);
    EXPECT_EQ(valueAt<int32_t>(own, 2 * 456 + 448), 1);
    EXPECT_EQ(valueAt<int32_t>(own, 3 * 456 + 448), 0);
}

TEST(ParameterRecordLayout, ReservedBytesAreZeroInEveryRecord) {
    auto check = [](const ParameterRecord* table, int32_t count) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(table);
        for (int32_t i = 0; i < count; ++i) {
            SCOPED_TRACE("record " + std::to_string(i));
            EXPECT_TRUE(bytesZero(bytes + i * 456 + 388, 4));
            EXPECT_TRUE(bytesZero(bytes + i * 456 + 452, 4));
        }
    };
    check(meterParameters(), kMeterParameterCount);
    check(controllerOnlyParameters(), kControllerOnlyParameterCount);
}

TEST(UnitTable, GlobalIsTheRootAndMeterHangsBelowIt) {
    ASSERT_EQ(sizeof(UnitRecord), 140u);
    const UnitRecord* units = unitRecords();
    ASSERT_NE(units, nullptr);

    EXPECT_EQ(units[0].id, 0);
    EXPECT_EQ(units[0].parentUnit, -1);
    EXPECT_TRUE(textIs(units[0].name, "Global"));
    EXPECT_EQ(units[0].programList, -1);

    EXPECT_EQ(units[1].id, 1);
    EXPECT_EQ(units[1].parentUnit, 0);
    EXPECT_TRUE(textIs(units[1].name, "Meter"));
    EXPECT_EQ(units[1].programList, -1);

    // Raw layout: id 0, parent 4, name 8, program list 136, records back to back.
    const auto* bytes = reinterpret_cast<const unsigned char*>(units);
    EXPECT_EQ(valueAt<int32_t>(bytes, 140 + 0), 1);
    EXPECT_EQ(valueAt<int32_t>(bytes, 140 + 4), 0);
    EXPECT_EQ(textAt(bytes, 140 + 8), "Meter");
    EXPECT_EQ(valueAt<int32_t>(bytes, 140 + 136), -1);
}

TEST(UnitTable, EveryParameterBelongsToAKnownUnit) {
    auto known = [](int32_t unitId) {
        for (int32_t u = 0; u < kUnitCount; ++u)
            if (unitRecords()[u].id == unitId) return true;
        return false;
    };
    for (int32_t i = 0; i < kMeterParameterCount; ++i) EXPECT_TRUE(known(meterParameters()[i].unitId)) << i;
    for (int32_t i = 0; i < kControllerOnlyParameterCount; ++i)
        EXPECT_TRUE(known(controllerOnlyParameters()[i].unitId)) << i;
}

} // namespace
} // namespace Param
