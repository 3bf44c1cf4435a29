// The skin description as the host's view framework reads it: its resources, colours,
// the editor template control by control, the tooltips, and that every name it uses
// is declared.

#include "ResourceTestSupport.h"

#include <functional>
#include <map>


namespace ResourceTest {
namespace {

// One line per element: its tag and attribute values in a fixed order (tooltips left
// out, unknown attributes shown as key=value so a misspelt one cannot pass), then its
// children in braces.
std::string describe(const XmlElement& el) {
    static const char* const kOrder[] = {"name", "bitmap", "path", "alpha", "face", "size", "color",
                                         "style", "just", "handle", "background", "value"};
    std::string out = el.name;
    for (const char* key : kOrder)
        if (const std::string* v = el.attribute(key)) out += " " + *v;
    for (const auto& [key, value] : el.attributes) {
        bool known = key == "tip";
        for (const char* k : kOrder) known = known || key == k;
        if (!known) out += " " + key + "=" + value;
    }
    if (!el.children.empty()) {
        out += " {";
        for (size_t i = 0; i < el.children.size(); ++i) out += (i ? " | " : "") + describe(el.children[i]);
        out += "}";
    }
    return out;
}

void collect(const XmlElement& el, const std::function<void(const XmlElement&)>& visit) {
    visit(el);
    for (const XmlElement& c : el.children) collect(c, visit);
}

std::string lines(std::initializer_list<const char*> parts) {
    std::string out;
    for (const char* p : parts) out += (out.empty() ? "" : "\r\n") + std::string(p);
    return out;
}

class Skin : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<uint8_t> bytes = readFile(std::string(NIVOLO_RESOURCES_DIR) + "/skin.xml");
        raw_.assign(bytes.begin(), bytes.end());
        std::string error;
        ASSERT_TRUE(XmlReader::parse(raw_, doc_, error)) << error;
        ASSERT_EQ(doc_.root.name, "skin");
        for (const XmlElement& c : doc_.root.children)
            if (c.name == "template") template_ = &c;
        ASSERT_NE(template_, nullptr);
    }
    const XmlElement& section(const char* name) {
        for (const XmlElement& c : doc_.root.children)
            if (c.name == name) return c;
        static XmlElement none;
        ADD_FAILURE() << "no <" << name << ">";
        return none;
    }

    std::string raw_;
    XmlDocument doc_;
    const XmlElement* template_ = nullptr;
};

TEST_F(Skin, IsAsciiWithCrLfLineEnds) {
    for (size_t i = 0; i < raw_.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(raw_[i]);
        ASSERT_LT(c, 0x80) << "at " << i;
        const bool lf = c == '\n', cr = c == '\r';
        ASSERT_TRUE(!lf || (i > 0 && raw_[i - 1] == '\r')) << "bare LF at " << i;
        ASSERT_TRUE(!cr || (i + 1 < raw_.size() && raw_[i + 1] == '\n')) << "bare CR at " << i;
    }
    EXPECT_EQ(raw_.substr(raw_.size() - 2), "\r\n");
}

TEST_F(Skin, DeclaresTheBitmapsSectionsAndColours) {
    std::vector<std::string> top;
    for (const XmlElement& c : doc_.root.children) top.push_back(c.name + (c.children.empty() ? "" : "+"));
    EXPECT_EQ(top, (std::vector<std::string>{"header", "resources+", "scheme+", "definitions", "template+"}));
    EXPECT_EQ(describe(section("resources")),
              "resources {bitmap bmDuravIrorBack background.png"
              " | bitmap bmDuravIrorAbout Nivolo About.bmp"
              " | bitmap bmButton Button.bmp"
              " | bitmap bmLU LU.png #FF"
              " | bitmap bmLUFS LUFS.png #FF"
              " | bitmap bmDuravIrorMeterHorizFore duravirormeterfore.png"
              " | bitmap bmDuravIrorMeterHorizBack duravirormeterback.png"
              " | bitmap bmSliderHandle sliderHandler.png #FF"
              " | section bmButtonPush bmButton 0,0,56,38"
              " | section bmSliderBack bmDuravIrorBack 42,10,8,240}");
    EXPECT_EQ(describe(section("scheme")),
              "scheme {color ap.data.normal #06FBC5 | color ap.data.red $10,100,100}");
}

TEST_F(Skin, TemplateHoldsTheTwentyFiveControlsInDrawingOrder) {
    EXPECT_EQ(template_->get("name"), "DuravIrorSmallVazEzaru");
    const char* const normal = "nodraw|onoff|immediate";
    const auto sw = [](std::string rest) { return "switch " + rest; };
    const std::vector<std::string> expected = {
        "image bmDuravIrorBack 0,0,306,273",
        "alternative loudnessIOver {font Arial 48 ap.data.normal {text loudnessI 166,31,110,40 transparent center}"
        " | font Arial 48 ap.data.red {text loudnessI 166,31,110,40 transparent center}}",
        "alternative scaleModeLoudness {image bmLUFS 250,74,40,18 | image bmLU 265,74,25,18}",
        sw("scaleModeLoudness 250,74,40,18 ") + normal,
        "font Arial 48 ap.data.normal {text loudnessS 166,120,110,40 transparent center}",
        "font Arial 11 ap.data.normal {text loudnessSTMax 152,163,40,12 transparent center}",
        sw("resetLoudnessMMax 152,163,40,12 nodraw|push|immediate"),
        "alternative scaleModeLoudness {image bmLUFS 250,163,40,18 | image bmLU 265,163,30,18}",
        sw("scaleModeLoudness 250,163,40,18 ") + normal,
        "font Arial 26 ap.data.normal {text loudnessM 68,31,60,20 transparent center}",
        "alternative scaleModeLoudness {image bmLUFS 101,54,60,18 | image bmLU 116,54,30,18}",
        sw("scaleModeLoudness 101,54,60,18 ") + normal,
        "font Arial 11 ap.data.normal {text loudnessMMax 58,54,30,12 transparent center}",
        sw("resetLoudnessMMax 58,54,30,12 nodraw|push|immediate"),
        "font Arial 26 ap.data.normal {text loudnessRange 68,92,60,20 transparent center}",
        "image bmLU 116,114,30,18",
        "font Arial 22 ap.data.normal {text time 180,197,110,22 transparent left}",
        "alternative truePeakOver {font Arial 26 ap.data.normal {text truePeak 68,155,60,20 transparent center}"
        " | font Arial 26 ap.data.red {text truePeak 68,155,60,20 transparent center}}",
        sw("resetTruePeak 68,155,60,20 nodraw|push|immediate"),
        "view loudnessMView 21,15,19,230 {property meter-name-fore bmDuravIrorMeterHorizFore"
        " | property meter-name-back bmDuravIrorMeterHorizBack | property meter-orientation vertical}",
        "font Arial 11 ap.data.normal {text loudnessM 15,250,30,12 transparent center}",
        "slider LoudnessSIndicator 42,10,8,240 vertical bmSliderHandle bmSliderBack",
        sw("resetLoudness bmButtonPush 81,198, 63, 19 push|immediate|toggle"),
        sw("about 60,230,90,30 ") + normal,
        "alternative about 0,0,305,273 {view 0,0,305,273 | view 0,0,305,273 {image bmDuravIrorAbout 0,0,305,273"
        " | switch about 0,0,305,273 nodraw|onoff|immediate}}",
    };
    ASSERT_EQ(template_->children.size(), 25u);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(describe(template_->children[i]), expected[i]) << "control " << i + 1;
}

TEST_F(Skin, TooltipsKeepTheirLineBreaksAndTrailingBlanks) {
    const std::string t1 = lines({"Integrated Loudness: This is the average loudness measured",
                                  "over the entire time of playback. ",
                                  "EBU R128 recommends to normalize audio at -23 LUFS +/- 1 LU",
                                  "To start new measurement, click the Reset button.",
                                  "Click on the unit to switch between LUFS and LU."});
    const std::string t2 = lines({"Short Term Loudness: Loudness measurement is based on a 3 seconds window.",
                                  "Note that in practice this is the most meaningful value because it is closest to ",
                                  "the human's perception of loudness.", "Click on the unit to switch between LUFS and LU."});
    const std::string t3 = lines({"Momentary Loudness: Loudness measurement is based on ", "a 400 milliseconds window.",
                                  "Click on the unit to switch between LUFS and LU."});
    const std::string t4 = lines({"Loudness Range: The variation of loudness is a representation",
                                  "of the overall dynamics of the measured audio."});
    const std::string t5 = lines({"Maximum Permitted True Peak Level of a programme ",
                                  "during production shall be -1 dBTP (dB True Peak).", "Click over to reset it."});
    const std::string t6 = "Switch between LUFS and LU Unit";
    const std::string meter = "Momentary Loudness in LU";
    // Control number -> the tooltips in its subtree, in document order; the rest have none.
    const std::map<size_t, std::vector<std::string>> expected = {
        {2, {t1, t1}}, {4, {t6}}, {5, {t2}},
        {7, {"Reset Short Term Loudness Max Value (in LU or LUFS)"}}, {9, {t6}}, {10, {t3}}, {12, {t6}},
        {14, {"Reset Momentary Loudness Max Value (in LU or LUFS)"}}, {15, {t4}}, {17, {"Elapsed Time"}},
        {19, {t5}}, {20, {meter}}, {21, {meter}}, {22, {"Short Term Loudness in LU"}},
        {23, {"Reset Loudness Values, True Peak and elapsed Time"}}, {24, {"Show About Page"}},
    };
    ASSERT_EQ(template_->children.size(), 25u);
    for (size_t n = 1; n <= 25; ++n) {
        std::vector<std::string> tips;
        collect(template_->children[n - 1], [&](const XmlElement& e) {
            if (const std::string* tip = e.attribute("tip")) tips.push_back(*tip);
        });
        const auto it = expected.find(n);
        EXPECT_EQ(tips, it == expected.end() ? std::vector<std::string>{} : it->second) << "control " << n;
    }
}

TEST_F(Skin, SpareMaximumResetSwitchStaysInAComment) {
    size_t found = 0;
    for (const std::string& comment : doc_.comments) {
        XmlDocument fragment;
        std::string error;
        if (!XmlReader::parse(comment, fragment, error)) continue; // prose
        EXPECT_EQ(describe(fragment.root), "switch resetLoudnessMMax 14,250,30,12 nodraw|push|immediate");
        ++found;
    }
    EXPECT_EQ(found, 1u);
    collect(*template_, [](const XmlElement& e) { EXPECT_NE(e.get("size"), "14,250,30,12") << e.name; });
}

} // namespace
} // namespace ResourceTest
