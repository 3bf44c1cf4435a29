// The static parameter tables: the rows processor, controller and host all
// rely on, and the reading ranges that must be in place before any object is
// built. (The record layout itself is fixed at compile time.)

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "controller/ParameterRecord.h"
#include "controller/ParameterTables.h"

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

TEST(ParameterTables, RecordsMatchTheAgreedRowsInOrder) {
    ASSERT_EQ(kMeterParameterCount, 12);
    ASSERT_EQ(kControllerOnlyParameterCount, 4);
    for (int32_t i = 0; i < kMeterParameterCount; ++i) {
        SCOPED_TRACE("meter record " + std::to_string(i));
        expectRecordMatches(meterParameters()[i], kMeterRows[i]);
    }
    for (int32_t i = 0; i < kControllerOnlyParameterCount; ++i) {
        SCOPED_TRACE("controller-only record " + std::to_string(i));
        expectRecordMatches(controllerOnlyParameters()[i], kControllerOnlyRows[i]);
    }
}

TEST(ParameterTables, ReadingRangesAreInPlaceBeforeAnyObjectReadsTheTable) {
    for (int32_t i = 0; i < kMeterParameterCount; ++i) {
        SCOPED_TRACE("meter record " + std::to_string(i));
        EXPECT_EQ(gRangesSeenAtLoad[i].minValue, kMeterRows[i].minValue);
        EXPECT_EQ(gRangesSeenAtLoad[i].maxValue, kMeterRows[i].maxValue);
    }
}

} // namespace
} // namespace Param
