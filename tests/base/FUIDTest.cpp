// Identifiers as values: generation, byte order of the text forms and the
// print styles. Host and module must agree on every byte.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "base/FUID.h"
#include "interfaces/InterfaceIds.h"

namespace Zel {
namespace {

TUID bytesOf(std::initializer_list<int> values) {
    TUID id{};
    int i = 0;
    for (int v : values) id.bytes[i++] = static_cast<uint8_t>(v);
    return id;
}

std::string hexBytes(const TUID& id) {
    std::string out;
    char two[3];
    for (uint8_t b : id.bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

// A known id whose groups all differ, so any swapped byte shows.
const TUID kKnown = bytesOf({0xde, 0x3c, 0x61, 0x42, 0x56, 0x35, 0x53, 0x46,
                             0xb0, 0xd4, 0x0a, 0xd6, 0xbd, 0xc2, 0xaa, 0x79});
constexpr const char* kKnownRegistry = "{42613CDE-3556-4653-B0D4-0AD6BDC2AA79}";
constexpr const char* kKnownPlain = "42613CDE35564653B0D40AD6BDC2AA79";

// ---- Byte order and text forms -----------------------------------------------------------

TEST(FUIDText, FirstThreeGroupsAreLittleEndianTheRestInOrderInEveryForm) {
    FUID parsed;
    ASSERT_TRUE(parsed.fromRegistryString(kKnownRegistry));
    EXPECT_EQ(hexBytes(parsed.data()), hexBytes(kKnown));
    EXPECT_EQ(hexBytes(tuidFromRegistry("{42613CDE-3556-4653-B0D4-0AD6BDC2AA79}")), hexBytes(kKnown));

    const FUID fromWords(0x42613CDEu, 0x35564653u, 0xB0D40AD6u, 0xBDC2AA79u);
    EXPECT_EQ(hexBytes(fromWords.data()), hexBytes(kKnown));
    EXPECT_EQ(fromWords.toString(), kKnownPlain);
    const FUID known(kKnown);
    EXPECT_EQ(known.getLong1(), 0x42613CDEu);
    EXPECT_EQ(known.getLong2(), 0x35564653u);
    EXPECT_EQ(known.getLong3(), 0xB0D40AD6u);
    EXPECT_EQ(known.getLong4(), 0xBDC2AA79u);

    ASSERT_TRUE(parsed.fromString(kKnownPlain));
    EXPECT_TRUE(parsed == known);
    EXPECT_EQ(FUID(FUnknown_iid).toString(), "0000000000000000C000000000000046"); // leading zeros kept
}

TEST(FUIDText, RegistryFormRoundTripsAndMatchesTheSharedPrinter) {
    const FUID known(kKnown);
    EXPECT_EQ(known.toRegistryString(), kKnownRegistry);
    EXPECT_EQ(known.toRegistryString(), tuidToRegistry(kKnown));
    EXPECT_EQ(FUID(IDependent_iid).toRegistryString(), tuidToRegistry(IDependent_iid));

    for (int i = 0; i < 50; ++i) { // random ids exercise every nibble position
        FUID id;
        ASSERT_TRUE(id.generate());
        FUID back;
        ASSERT_TRUE(back.fromRegistryString(tuidToRegistry(id.data())));
        EXPECT_TRUE(back == id) << id.toRegistryString();
        ASSERT_TRUE(back.fromString(id.toString()));
        EXPECT_TRUE(back == id) << id.toString();
    }
}

TEST(FUIDText, MalformedTextIsRefusedAndLeavesTheIdUnchanged) {
    const FUID known(kKnown);
    const std::string plain = kKnownPlain, reg = kKnownRegistry;
    const std::string badPlain[] = {
        "",
        plain.substr(0, 31),
        plain + "0",
        "{" + plain.substr(0, 30) + "}",
        "G" + plain.substr(1),
        plain.substr(0, 31) + "g",
        plain.substr(0, 15) + " " + plain.substr(16),
        plain.substr(0, 8) + "-" + plain.substr(9),
        std::string("0x") + plain.substr(2),
        plain.substr(0, 20) + std::string(1, '\0') + plain.substr(21),
    };
    const std::string badRegistry[] = {
        "",
        reg.substr(1),                                  // no opening brace
        reg.substr(0, 37),                              // no closing brace
        "(" + reg.substr(1, 36) + ")",
        reg.substr(0, 9) + "0" + reg.substr(10),        // each separator replaced by a digit
        reg.substr(0, 14) + "0" + reg.substr(15),
        reg.substr(0, 19) + "0" + reg.substr(20),
        reg.substr(0, 24) + "0" + reg.substr(25),
        reg.substr(0, 8) + "-" + reg.substr(8, 1) + reg.substr(10), // separator moved
        reg.substr(0, 37) + "0}",
        reg.substr(0, 30) + "Z" + reg.substr(31),
        "{" + plain + "}",
    };
    for (const std::string& text : badPlain) {
        FUID id = known;
        EXPECT_FALSE(id.fromString(text)) << '"' << text << '"';
        EXPECT_TRUE(id == known) << '"' << text << '"';
    }
    for (const std::string& text : badRegistry) {
        FUID id = known;
        EXPECT_FALSE(id.fromRegistryString(text)) << text;
        EXPECT_TRUE(id == known) << text;
    }
}

TEST(FUIDText, PrintStylesGiveTheExactDeclarations) {
    const FUID known(kKnown);
    EXPECT_EQ(known.print(FUID::PrintStyle::kInlineUid),
              "INLINE_UID (0x42613CDE, 0x35564653, 0xB0D40AD6, 0xBDC2AA79)");
    EXPECT_EQ(known.print(FUID::PrintStyle::kDeclareUid),
              "DECLARE_UID (0x42613CDE, 0x35564653, 0xB0D40AD6, 0xBDC2AA79)");
    EXPECT_EQ(known.print(FUID::PrintStyle::kFuid), "FUID (0x42613CDE, 0x35564653, 0xB0D40AD6, 0xBDC2AA79)");
    EXPECT_EQ(known.print(FUID::PrintStyle::kDeclareClassIid),
              "DECLARE_CLASS_IID (Interface, 0x42613CDE, 0x35564653, 0xB0D40AD6, 0xBDC2AA79)");

    // Leading zeros are kept: every word is printed with eight digits.
    EXPECT_EQ(FUID(FUnknown_iid).print(FUID::PrintStyle::kFuid),
              "FUID (0x00000000, 0x00000000, 0xC0000000, 0x00000046)");
}

// ---- Generation ----------------------------------------------------------------------

TEST(FUIDGenerate, GivesValidDistinctVersionFourIds) {
    EXPECT_FALSE(FUID().isValid());

    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        FUID id;
        ASSERT_TRUE(id.generate());
        ASSERT_TRUE(id.isValid());
        EXPECT_TRUE(seen.insert(id.toString()).second) << "duplicate " << id.toRegistryString();

        // Version 4 is the first digit of the third group, the variant the first of the fourth.
        EXPECT_EQ(id.data().bytes[7] >> 4, 4) << id.toRegistryString();
        EXPECT_EQ(id.data().bytes[8] & 0xC0, 0x80) << id.toRegistryString();
        const std::string text = id.toRegistryString();
        EXPECT_EQ(text[15], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[20]), std::string::npos) << text;
    }
}

// FUID ordering, TUID equality and iidEqual must all look at every byte.
TEST(FUIDGenerate, ComparisonIsByAllSixteenBytes) {
    const FUID known(kKnown);
    for (int i = 0; i < 16; ++i) {
        TUID changed = kKnown;
        changed.bytes[i] ^= 0x01;
        EXPECT_TRUE(FUID(changed) != known) << "byte " << i;
        EXPECT_TRUE((FUID(changed) < known) != (known < FUID(changed))) << "byte " << i;
        EXPECT_FALSE(changed == kKnown) << "byte " << i;
        EXPECT_FALSE(iidEqual(kKnown, changed)) << "byte " << i;
    }
    EXPECT_FALSE(known < known);
    TUID copy = kKnown;
    EXPECT_TRUE(iidEqual(copy, kKnown));
}

} // namespace
} // namespace Zel
