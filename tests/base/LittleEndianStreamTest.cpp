// The saved state's fixed-width fields: the same bytes on any host, fixed text
// fields, and a reader that never half-reads a field.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "base/LittleEndianStream.h"

namespace Zel {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(LittleEndianStream, FieldsAreWrittenLeastSignificantByteFirstAndTextFillsItsField) {
    Bytes out{0xAA}; // fields append after what is there
    LittleEndianWriter writer(out);
    writer.writeInt32(0x12345678);
    writer.writeInt32(-2);
    writer.writeFloat64(-2.5); // 0xC004000000000000
    writer.writeFixedString("abc", 5);
    writer.writeFixedString("abcdefgh", 4); // cut, no room for a terminator
    writer.writeFixedString(nullptr, 2);
    writer.writeBytes("\x10\x20", 2);
    EXPECT_EQ(out, (Bytes{0xAA, 0x78, 0x56, 0x34, 0x12, 0xfe, 0xff, 0xff, 0xff, 0, 0, 0, 0, 0, 0, 0x04, 0xc0, //
                          'a', 'b', 'c', 0, 0, 'a', 'b', 'c', 'd', 0, 0, 0x10, 0x20}));
}

// Every prefix of a record: whole fields read exactly, the first that does not
// fit fails without touching its output, and nothing after it is consumed.
TEST(LittleEndianStream, EveryCutOfARecordReadsItsWholeFieldsOnly) {
    Bytes record;
    LittleEndianWriter writer(record);
    writer.writeInt32(-123456789);
    writer.writeFloat64(-23.0);
    writer.writeFixedString("LUFS-I", 8);
    writer.writeInt32(0x7F00FF01);
    const size_t ends[] = {0, 4, 12, 20, 24}; // after each field
    for (size_t length = 0; length <= record.size(); ++length) {
        LittleEndianReader reader(record.data(), length);
        int32_t first = 1, last = 1;
        double second = 1.0;
        char name[8] = {'Q', 'Q', 'Q', 'Q', 'Q', 'Q', 'Q', 'Q'};
        int fields = 0;
        if (reader.readInt32(first) && ++fields && reader.readFloat64(second) && ++fields &&
            reader.readBytes(name, sizeof name) && ++fields && reader.readInt32(last))
            ++fields;
        EXPECT_EQ(fields, std::upper_bound(ends + 1, ends + 5, length) - (ends + 1)) << length;
        EXPECT_EQ(reader.position(), ends[fields]) << length;
        EXPECT_EQ(std::tuple(first, second, std::string(name, 8), last),
                  std::tuple(fields > 0 ? -123456789 : 1, fields > 1 ? -23.0 : 1.0,
                             std::string(fields > 2 ? "LUFS-I\0\0" : "QQQQQQQQ", 8), fields > 3 ? 0x7F00FF01 : 1))
            << length;
    }
}

} // namespace
} // namespace Zel
