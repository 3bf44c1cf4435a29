// Fixed-width little-endian fields of the saved state: exact bytes on any host,
// fixed string fields, and a reader that never half-reads a field.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "base/LittleEndianStream.h"

namespace Zel {
namespace {

using Bytes = std::vector<uint8_t>;

uint64_t bitsOf(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    return bits;
}

// ---- Writing ----------------------------------------------------------------------------

TEST(LittleEndianWrite, Int32AndFloat64AreLeastSignificantByteFirst) {
    Bytes out{0xAA}; // fields append after existing content
    LittleEndianWriter writer(out);
    writer.writeInt32(0x12345678);
    writer.writeInt32(-2);
    writer.writeInt32(std::numeric_limits<int32_t>::min());
    writer.writeFloat64(1.0);  // 0x3FF0000000000000
    writer.writeFloat64(-2.5); // 0xC004000000000000
    writer.writeFloat64(0.1);  // 0x3FB999999999999A
    const uint8_t raw[2] = {0x10, 0x20};
    writer.writeBytes(raw, 2);
    EXPECT_EQ(out, (Bytes{0xAA, 0x78, 0x56, 0x34, 0x12, 0xfe, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x80, //
                          0, 0, 0, 0, 0, 0, 0xf0, 0x3f,                                             //
                          0, 0, 0, 0, 0, 0, 0x04, 0xc0,                                             //
                          0x9a, 0x99, 0x99, 0x99, 0x99, 0x99, 0xb9, 0x3f, 0x10, 0x20}));
}

TEST(LittleEndianWrite, FixedStringIsCutOrZeroPaddedToExactlyItsField) {
    Bytes out;
    LittleEndianWriter writer(out);
    writer.writeFixedString("abc", 6);
    EXPECT_EQ(out, (Bytes{'a', 'b', 'c', 0, 0, 0}));

    out.clear();
    writer.writeFixedString("abcdefgh", 4);
    EXPECT_EQ(out, (Bytes{'a', 'b', 'c', 'd'}));

    out.clear();
    writer.writeFixedString("abcd", 4); // fills the field: no room and no need for a terminator
    EXPECT_EQ(out, (Bytes{'a', 'b', 'c', 'd'}));

    out.clear();
    writer.writeFixedString("", 2);
    writer.writeFixedString(nullptr, 3);
    writer.writeFixedString("xyz", 0);
    EXPECT_EQ(out, (Bytes{0, 0, 0, 0, 0}));
}

// ---- Reading ------------------------------------------------------------------------------

TEST(LittleEndianRead, ExtremeValuesRoundTripBitExactly) {
    const int32_t ints[] = {0, 1, -1, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};
    const double doubles[] = {-0.0,
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::denorm_min(),
                              std::numeric_limits<double>::max(),
                              -70.0,
                              std::nan("0x5a5a5")};
    Bytes out;
    LittleEndianWriter writer(out);
    for (int32_t v : ints) writer.writeInt32(v);
    for (double v : doubles) writer.writeFloat64(v);
    ASSERT_EQ(out.size(), sizeof ints + sizeof doubles);

    LittleEndianReader reader(out.data(), out.size());
    for (int32_t v : ints) {
        int32_t back = 0;
        ASSERT_TRUE(reader.readInt32(back));
        EXPECT_EQ(back, v);
    }
    for (double v : doubles) {
        double back = 0;
        ASSERT_TRUE(reader.readFloat64(back));
        EXPECT_EQ(bitsOf(back), bitsOf(v)) << v;
    }
    EXPECT_EQ(reader.remaining(), 0u);
}

// Every prefix of a written record: fields are read exactly while whole, the
// first field that does not fit fails without touching its output, and nothing
// after it is consumed.
TEST(LittleEndianRead, TruncationSweepOverAWrittenRecord) {
    const int32_t kFirst = -123456789;
    const double kSecond = -23.0;
    const char kName[] = "LUFS-I";
    const int32_t kLast = 0x7F00FF01;

    Bytes record;
    LittleEndianWriter writer(record);
    writer.writeInt32(kFirst);
    writer.writeFloat64(kSecond);
    writer.writeFixedString(kName, 8);
    writer.writeInt32(kLast);
    const size_t ends[] = {0, 4, 12, 20, 24}; // position after 0..4 whole fields
    ASSERT_EQ(record.size(), ends[4]);

    for (size_t length = 0; length <= record.size(); ++length) {
        SCOPED_TRACE(testing::Message() << "length " << length);
        LittleEndianReader reader(record.data(), length);
        int32_t first = 111;
        double second = 222.0;
        char name[8];
        std::memset(name, 'Q', sizeof name);
        int32_t last = 333;

        int fields = 0;
        if (reader.readInt32(first)) {
            ++fields;
            if (reader.readFloat64(second)) {
                ++fields;
                if (reader.readBytes(name, sizeof name)) {
                    ++fields;
                    if (reader.readInt32(last)) ++fields;
                }
            }
        }
        int wholeFields = 0;
        while (wholeFields < 4 && ends[wholeFields + 1] <= length) ++wholeFields;

        EXPECT_EQ(fields, wholeFields);
        EXPECT_EQ(fields == 4, length == record.size());
        EXPECT_EQ(reader.position(), ends[fields]);
        EXPECT_EQ(reader.remaining(), length - ends[fields]);

        EXPECT_EQ(first, fields > 0 ? kFirst : 111);
        EXPECT_EQ(second, fields > 1 ? kSecond : 222.0);
        if (fields > 2) {
            EXPECT_EQ(std::memcmp(name, "LUFS-I\0\0", 8), 0);
        } else {
            for (char c : name) EXPECT_EQ(c, 'Q');
        }
        EXPECT_EQ(last, fields > 3 ? kLast : 333);
    }
}

} // namespace
} // namespace Zel
