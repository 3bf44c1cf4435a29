// Reading skin descriptions: the value forms of sizes, colours, alphas and
// styles, and descriptions that are broken.

#include <gtest/gtest.h>

#include <cmath>

#include "host/view/SkinParser.h"

namespace {

using NivoloHost::SkinModel;
using NivoloHost::SkinParser;
using Zel::ColourArgb;
using Zel::ViewRect;

TEST(SkinValues, SizeIsOriginAndExtentWithBlanksAllowedAfterCommas) {
    ViewRect r;
    ASSERT_TRUE(SkinParser::parseRect("81,198, 63, 19", r));
    EXPECT_EQ(r.left, 81);
    EXPECT_EQ(r.top, 198);
    EXPECT_EQ(r.right, 81 + 63);
    EXPECT_EQ(r.bottom, 198 + 19);
    ASSERT_TRUE(SkinParser::parseRect(" -4 ,\t2,0 ,7 ", r));
    EXPECT_EQ(r.left, -4);
    EXPECT_EQ(r.width(), 0);
    EXPECT_EQ(r.height(), 7);
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "1,2,x,4", "1,2,3,", "1,2,-3,4", "1,2,3,-1", "1 2,3,4,5", "1.5,2,3,4"})
        EXPECT_FALSE(SkinParser::parseRect(bad, r)) << '"' << bad << '"';
}

// "#RRGGBB", or "$hue,saturation,value" with the hue in degrees and the others
// in percent (the hexcone model); always opaque.
TEST(SkinValues, ColoursAreHexRgbOrHueSaturationValue) {
    struct Case {
        const char* text;
        int r, g, b;
    };
    const Case cases[] = {
        {"#06FBC5", 6, 251, 197},      {"#06fbc5", 6, 251, 197},
        {"$10,100,100", 255, 42, 0}, // the red-to-yellow sixth: green 10/60 of full
        {"$0,0,100", 255, 255, 255},   {"$0,100,0", 0, 0, 0},        {"$120,100,100", 0, 255, 0},
        {"$240,100,100", 0, 0, 255},   {"$300,100,50", 128, 0, 128}, {"$360,100,100", 255, 0, 0},
        {"$180, 50, 100", 128, 255, 255},
    };
    for (const Case& k : cases) {
        ColourArgb c = 0;
        ASSERT_TRUE(SkinParser::parseColour(k.text, c)) << k.text;
        EXPECT_EQ(c >> 24, 0xFFu) << k.text;
        EXPECT_NEAR(static_cast<int>((c >> 16) & 0xFF), k.r, 1) << k.text;
        EXPECT_NEAR(static_cast<int>((c >> 8) & 0xFF), k.g, 1) << k.text;
        EXPECT_NEAR(static_cast<int>(c & 0xFF), k.b, 1) << k.text;
    }
    ColourArgb c = 0;
    for (const char* bad : {"#06FBC", "#06FBC5A", "06FBC5", "#06FBCG", "", "$10,100", "$10,101,100", "$10,100,-1",
                            "$a,1,1", "$"})
        EXPECT_FALSE(SkinParser::parseColour(bad, c)) << bad;
}

TEST(SkinValues, AlphaAndStyleWords) {
    uint8_t alpha = 0;
    ASSERT_TRUE(SkinParser::parseAlpha("#FF", alpha));
    EXPECT_EQ(alpha, 255);
    ASSERT_TRUE(SkinParser::parseAlpha("#80", alpha));
    EXPECT_EQ(alpha, 128);
    EXPECT_FALSE(SkinParser::parseAlpha("FF", alpha));
    EXPECT_FALSE(SkinParser::parseAlpha("#FFF", alpha));

    using namespace NivoloHost;
    EXPECT_EQ(SkinParser::parseStyle("nodraw|onoff|immediate"), kStyleNoDraw | kStyleOnOff | kStyleImmediate);
    EXPECT_EQ(SkinParser::parseStyle("push|immediate|toggle"), kStylePush | kStyleImmediate | kStyleToggle);
    EXPECT_EQ(SkinParser::parseStyle("transparent"), kStyleTransparent);
    EXPECT_EQ(SkinParser::parseStyle("vertical|sparkly"), kStyleVertical) << "unknown words are ignored";
    EXPECT_EQ(SkinParser::parseStyle(""), 0u);
}

TEST(SkinDescription, ReadsResourcesSchemeAndTemplatesSkippingComments) {
    const char* xml = R"(<?xml version="1.0"?>
<skin><header/>
  <resources>
    <bitmap name="a" path="A.png" alpha="#80"/>
    <section name="s" path="a" size="1, 2, 3, 4"/>
  </resources>
  <scheme><color name="red" value="$0,100,100"/></scheme>
  <template name="T">
    <font face="Arial" size="11" color="red">
      <text name="t" size="0,0,10,10" tip="line 1&#13;&#10;line 2"/>
    </font>
    <!-- <switch name="gone" size="0,0,1,1"/> -->
  </template>
</skin>)";
    SkinModel model;
    std::string error;
    ASSERT_TRUE(SkinParser::parse(xml, model, error)) << error;
    ASSERT_EQ(model.bitmaps.size(), 1u);
    EXPECT_EQ(model.bitmaps[0].alpha, 0x80);
    ASSERT_EQ(model.sections.size(), 1u);
    EXPECT_EQ(model.sections[0].rect.right, 4);
    ColourArgb red = 0;
    EXPECT_TRUE(model.findColour("red", red));
    EXPECT_EQ(red, 0xFFFF0000u);
    const NivoloHost::SkinElement* t = model.findTemplate("T");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->children.size(), 1u) << "the commented switch is not an element";
    const NivoloHost::SkinElement& font = t->children[0];
    EXPECT_FALSE(font.hasRect) << "a font's size is a height";
    ASSERT_EQ(font.children.size(), 1u);
    EXPECT_TRUE(font.children[0].hasRect);
    EXPECT_EQ(font.children[0].attributeOr("tip"), "line 1\r\nline 2");
    EXPECT_EQ(model.findTemplate("t"), nullptr) << "template names are exact";
}

// A broken description is refused with its fault named on one line, whatever
// the values hold (character references keep line breaks inside attributes).
TEST(SkinDescription, BrokenDescriptionsNameTheirFaultOnOneLine) {
    struct Case {
        const char* xml;
        const char* fault;
    };
    const Case cases[] = {
        {"<skin><template name=\"T\"><image size=\"1,2,3\"/></template></skin>", "size \"1,2,3\""},
        {"<skin><scheme><color name=\"c\" value=\"red\"/></scheme></skin>", "<color name=\"c\">"},
        {"<skin><resources><bitmap name=\"b\"/></resources></skin>", "has no path"},
        {"<skin><resources><bitmap name=\"b\" path=\"p\" alpha=\"FF\"/></resources></skin>", "alpha"},
        {"<skin><template/></skin>", "has no name"},
        {"<other/>", "no <skin>"},
        {"<skin><template name=\"T\">", "XML"},
        {"<skin><template name=\"T\"><image size=\"1,&#13;&#10;2\"/></template></skin>", "\"1,\\x0D\\x0A2\""},
        {"<skin><scheme><color name=\"a&#10;b\" value=\"red\"/></scheme></skin>", "name=\"a\\x0Ab\""},
        {"<skin><resources><bitmap name=\"b\" path=\"p\" alpha=\"#&#10;F\"/></resources></skin>", "\"#\\x0AF\""},
    };
    for (const Case& c : cases) {
        SkinModel model;
        std::string error;
        EXPECT_FALSE(SkinParser::parse(c.xml, model, error)) << c.xml;
        EXPECT_NE(error.find(c.fault), std::string::npos) << error;
        EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << error;
    }
}

// A template whose elements nest `levels` deep below it.
std::string nestedSkin(int levels) {
    std::string xml = "<skin><template name=\"T\">";
    for (int i = 0; i < levels; ++i) xml += "<view>";
    for (int i = 0; i < levels; ++i) xml += "</view>";
    return xml + "</template></skin>";
}

TEST(SkinDescription, NestingBeyondTheLimitIsRefusedInsteadOfFollowed) {
    SkinModel model;
    std::string error;
    ASSERT_TRUE(SkinParser::parse(nestedSkin(SkinParser::kMaxDepth), model, error)) << error;
    const NivoloHost::SkinElement* element = model.findTemplate("T");
    int depth = 0;
    for (; element && !element->children.empty(); element = &element->children.front()) ++depth;
    EXPECT_EQ(depth, SkinParser::kMaxDepth);

    EXPECT_FALSE(SkinParser::parse(nestedSkin(SkinParser::kMaxDepth + 1), model, error));
    EXPECT_NE(error.find("nests deeper than " + std::to_string(SkinParser::kMaxDepth)), std::string::npos) << error;
    // Far deeper than any stack holds one call per level.
    EXPECT_FALSE(SkinParser::parse(nestedSkin(1000000), model, error));
    EXPECT_NE(error.find("nests deeper"), std::string::npos) << error;
}

} // namespace
