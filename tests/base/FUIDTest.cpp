// Identifiers as values: the byte order of their text forms, round trips,
// refusal of malformed text, generation and order. Host and module must agree
// on every byte.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "base/FUID.h"

namespace Zel {
namespace {

// A known id whose groups all differ, so any swapped byte shows.
constexpr TUID kKnown = {{0xde, 0x3c, 0x61, 0x42, 0x56, 0x35, 0x53, 0x46, 0xb0, 0xd4, 0x0a, 0xd6, 0xbd, 0xc2, 0xaa, 0x79}};
const std::string kRegistry = "{42613CDE-3556-4653-B0D4-0AD6BDC2AA79}", kPlain = "42613CDE35564653B0D40AD6BDC2AA79";

TEST(FUID, EveryFormOfAKnownIdReadsTheFirstThreeGroupsLittleEndian) {
    const FUID known(kKnown);
    EXPECT_TRUE(FUID(0x42613CDEu, 0x35564653u, 0xB0D40AD6u, 0xBDC2AA79u) == known);
    EXPECT_EQ(known.toString(), kPlain);
    EXPECT_EQ(known.toRegistryString(), kRegistry);
    using Style = FUID::PrintStyle;
    for (auto [style, opening] : {std::pair{Style::kInlineUid, "INLINE_UID ("}, {Style::kDeclareUid, "DECLARE_UID ("},
                                  {Style::kFuid, "FUID ("}, {Style::kDeclareClassIid, "DECLARE_CLASS_IID (Interface, "}})
        EXPECT_EQ(known.print(style), opening + std::string("0x42613CDE, 0x35564653, 0xB0D40AD6, 0xBDC2AA79)"));

    TUID lastByteLower = kKnown; // ordered and compared by all sixteen bytes
    lastByteLower.bytes[15] ^= 1;
    EXPECT_TRUE(FUID(lastByteLower) < known && !iidEqual(lastByteLower, kKnown));
}

TEST(FUID, GeneratedIdsAreDistinctVersionFourAndRoundTripThroughBothTexts) {
    EXPECT_FALSE(FUID().isValid());
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        FUID id, back, backPlain;
        ASSERT_TRUE(id.generate());
        const std::string text = id.toRegistryString();
        EXPECT_TRUE(id.isValid() && seen.insert(text).second) << text;
        EXPECT_EQ(text[15], '4') << text; // the version: first digit of the third group
        EXPECT_NE(std::string("89AB").find(text[20]), std::string::npos) << text; // the variant
        EXPECT_TRUE(back.fromRegistryString(text) && back == id) << text;
        EXPECT_TRUE(backPlain.fromString(id.toString()) && backPlain == id) << text;
    }
}

TEST(FUID, MalformedTextIsRefusedAndLeavesTheIdUnchanged) {
    const std::string& reg = kRegistry;
    const std::pair<std::string, bool> bad[] = { // the text, whether in registry form
        {kPlain.substr(1), false}, {kPlain + "0", false}, {"G" + kPlain.substr(1), false}, {reg.substr(0, 37), true},
        {reg.substr(0, 9) + "0" + reg.substr(10), true}, {reg.substr(0, 14) + "0" + reg.substr(15), true},
        {reg.substr(0, 19) + "0" + reg.substr(20), true}, {reg.substr(0, 24) + "0" + reg.substr(25), true}};
    for (const auto& [text, registry] : bad) {
        FUID id(kKnown);
        EXPECT_FALSE(registry ? id.fromRegistryString(text) : id.fromString(text)) << text;
        EXPECT_TRUE(id == FUID(kKnown)) << text;
    }
}

} // namespace
} // namespace Zel
