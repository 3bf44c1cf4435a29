// The meter's editor as our host builds and renders it from the skin, bound to
// the meter's controller: every name bound, the readings, warnings, labels,
// the indicator and the bar as pixels (checked against the decoded skin
// bitmaps), clicks, tooltips, the about page and the momentary view.

#include "tests/hostview/HostViewTestSupport.h"

#include <pugixml.hpp>

#include <set>


namespace HostViewTest {
namespace {

using namespace Param;

constexpr uint32_t kNormalText = 0xFF06FBC5u; // "ap.data.normal"

class MeterEditor : public ::testing::Test {
protected:
    void SetUp() override {
        background = bitmapOf(rig.framework->skins(), "bmDuravIrorBack");
        ASSERT_TRUE(background);
        blank = rig.editor().render();
    }
    // True when the render shows the first rows of the named bitmap at (left, top) over the background.
    bool shows(cairo_surface_t* render, const char* name, int left, int top, int rows = 0) {
        IPtr<Bitmap> picture = bitmapOf(rig.framework->skins(), name);
        if (!picture) return false;
        for (int y = 0; y < (rows ? rows : picture->height()); ++y)
            for (int x = 0; x < picture->width(); ++x)
                if (!near(pixelAt(render, left + x, top + y),
                          over(picture->pixel(x, y), background->pixel(left + x, top + y))))
                    return ADD_FAILURE() << name << " at " << left + x << "," << top + y, false;
        return true;
    }
    // The columns of r where a render differs from the blank editor.
    std::pair<int, int> changedColumns(cairo_surface_t* render, const ViewRect& r) {
        int first = r.right, last = r.left - 1;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (pixelAt(render, x, y) != pixelAt(blank.get(), x, y)) first = std::min(first, x), last = std::max(last, x);
        return {first, last};
    }
    int count(cairo_surface_t* render, const ViewRect& r, uint32_t colour) {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += pixelAt(render, x, y) == colour;
        return n;
    }
    void later() { rig.framework->clock().setAudioClockSeconds(seconds += 1.0); }
    using Edits = std::vector<std::pair<int32_t, double>>;
    Edits edits() {
        Edits out;
        for (const auto& edit : rig.handler->edits()) out.emplace_back(edit.id, edit.value);
        return out;
    }

    MeterRig rig;
    IPtr<Bitmap> background;
    NivoloHost::EditorView::Surface blank;
    double seconds = 10.0;
};

TEST_F(MeterEditor, BindsEveryNameOfTheSkinAndTheSkinShowsEveryControlOfTheController) {
    const std::vector<uint8_t> xml = skinEntry("skin.xml");
    pugi::xml_document document;
    ASSERT_TRUE(document.load_buffer(xml.data(), xml.size()));
    std::set<std::string> bound, views;
    for (pugi::xpath_node n : document.select_nodes("//template//*[@name]")) {
        const std::string tag = n.node().name(), name = n.node().attribute("name").value();
        if (tag != "property") (tag == "view" ? views : bound).insert(name);
    }
    EXPECT_EQ(views, std::set<std::string>{"loudnessMView"});
    EXPECT_TRUE(rig.editor().unresolved().empty());
    std::set<std::string> controls = {"LoudnessSIndicator"};
    for (int32_t i = 0; i < rig.controller->controls()->count(); ++i) controls.insert(rig.controller->controls()->nameAt(i));
    controls.erase("bypass"); // the host's, not the editor's
    EXPECT_EQ(bound, controls);
}

TEST_F(MeterEditor, ReadingsAreDrawnCentredAndTurnRedOnTheirWarnings) {
    rig.reading(kLoudnessI, -23.0);
    rig.reading(kTruePeak, -0.5);
    std::string text;
    ColourArgb colour = 0;
    ASSERT_TRUE(rig.editor().shownText("loudnessI", text, &colour));
    EXPECT_EQ(text, "-23.0");
    EXPECT_EQ(colour, kNormalText);
    auto render = rig.editor().render();
    for (const ViewRect& r : {ViewRect{166, 31, 276, 71}, ViewRect{68, 155, 128, 175}}) {
        const auto [first, last] = changedColumns(render.get(), r);
        ASSERT_LT(first, last);
        EXPECT_NEAR(first - r.left, r.right - 1 - last, 2) << "centred in " << r.left;
        EXPECT_GT(count(render.get(), r, kNormalText), 20);
    }
    rig.reading(kLoudnessIOver, 1.0);
    rig.reading(kTruePeakOver, 1.0);
    ColourArgb red = 0;
    ASSERT_EQ(rig.framework->skins().getColour("ap.data.red", &red), kResultOk);
    EXPECT_EQ(red & 0xFFFF00FFu, 0xFFFF0000u) << "hue 10: full red, some green, no blue";
    render = rig.editor().render();
    for (const ViewRect& r : {ViewRect{166, 31, 276, 71}, ViewRect{68, 155, 128, 175}}) {
        EXPECT_EQ(count(render.get(), r, kNormalText), 0);
        EXPECT_GT(count(render.get(), r, red), 20);
    }
    ASSERT_TRUE(rig.editor().shownText("truePeak", text, &colour));
    EXPECT_EQ(colour, red);
}

TEST_F(MeterEditor, MomentaryBarAndShortTermHandleStandWhereTheReadingsPutThem) {
    // The bar (view 21,15, 230 rows) at -23 LUFS: (-23 + 59) / 54 lit, from row 77.
    rig.reading(kLoudnessM, -23.0);
    EXPECT_EQ(firstDifferentRow(rig.editor().render().get(), blank.get(), 30, {21, 15, 40, 245}), 15 + 77);
    // In LU the same loudness (0 LU) stands at the same height.
    ASSERT_TRUE(rig.editor().clickAt(270, 80));
    later();
    rig.reading(kLoudnessM, 0.0);
    EXPECT_EQ(firstDifferentRow(rig.editor().render().get(), blank.get(), 30, {21, 15, 40, 245}), 15 + 77);
    // The handle travels 240 - 16 pixels; the top is -5 LUFS (+18 LU).
    for (const auto& [plain, top] : {std::pair{18.0, 10}, {-9.0, 10 + 112}, {-36.0, 10 + 224}}) {
        rig.reading(kLoudnessS, plain);
        EXPECT_TRUE(shows(rig.editor().render().get(), "bmSliderHandle", 42, top)) << plain;
    }
}

TEST_F(MeterEditor, UnitLabelsAndTheResetButtonShowTheirStates) {
    auto render = rig.editor().render();
    for (auto [left, top] : {std::pair{250, 74}, {101, 54}, {250, 163}}) EXPECT_TRUE(shows(render.get(), "bmLUFS", left, top));
    EXPECT_TRUE(shows(render.get(), "bmButtonPush", 81, 198, 19)) << "the upper of its two states";
    ASSERT_TRUE(rig.editor().clickAt(110, 60)); // the momentary label switches every label
    render = rig.editor().render();
    for (auto [left, top] : {std::pair{265, 74}, {116, 54}, {265, 163}}) EXPECT_TRUE(shows(render.get(), "bmLU", left, top));
    for (int x = 250; x < 265; ++x) ASSERT_EQ(pixelAt(render.get(), x, 80), background->pixel(x, 80)) << x;
    ASSERT_TRUE(rig.editor().clickAt(270, 80));
    EXPECT_FALSE(rig.controller->luMode());
    EXPECT_FALSE(rig.editor().clickAt(300, 5)) << "nothing clickable there";
    EXPECT_EQ(edits(), (Edits{{kScaleModeLoudness, 1.0}, {kScaleModeLoudness, 0.0}}));
    EXPECT_EQ(rig.handler->openGestures(), 0);
}

TEST_F(MeterEditor, TooltipsBelongToTheTopMostShownElementAndTheAboutPageCoversAll) {
    EXPECT_EQ(rig.editor().tooltipAt(200, 50),
              "Integrated Loudness: This is the average loudness measured\r\nover the entire time of playback. \r\n"
              "EBU R128 recommends to normalize audio at -23 LUFS +/- 1 LU\r\nTo start new measurement, click the Reset "
              "button.\r\nClick on the unit to switch between LUFS and LU.");
    EXPECT_EQ(rig.editor().tooltipAt(270, 80), "Switch between LUFS and LU Unit");
    EXPECT_EQ(rig.editor().tooltipAt(160, 168), "Reset Short Term Loudness Max Value (in LU or LUFS)");
    EXPECT_EQ(rig.editor().tooltipAt(30, 100), "Momentary Loudness in LU");

    IPtr<Bitmap> about = bitmapOf(rig.framework->skins(), "bmDuravIrorAbout");
    ASSERT_TRUE(about);
    ASSERT_TRUE(rig.editor().clickAt(100, 240)); // "Show About Page"
    auto render = rig.editor().render();
    for (int y = 0; y < 273; ++y)
        for (int x = 0; x < 305; ++x) ASSERT_EQ(pixelAt(render.get(), x, y), about->pixel(x, y)) << x << "," << y;
    EXPECT_EQ(rig.editor().tooltipAt(270, 80), "") << "the page's switch has no tip";
    ASSERT_TRUE(rig.editor().clickAt(270, 80)); // over a unit label, now under the page
    EXPECT_EQ(rig.control("about")->getIntValue(), 0);
    EXPECT_FALSE(rig.controller->luMode());
    EXPECT_NE(pixelAt(rig.editor().render().get(), 150, 100), about->pixel(150, 100));
}

// A click on the bar clears its peak and is no edit; the reset button clears the maxima at once and is one.
TEST_F(MeterEditor, ClicksOnTheMomentaryBarAndTheResetButtonClearAtOnce) {
    rig.reading(kLoudnessM, -10.0);
    rig.controller->setNormalizedValue(kLoudnessMMax, 0.9);
    ASSERT_TRUE(rig.editor().clickAt(30, 100));
    float peak = -1.0f;
    rig.controller->momentaryMeter()->getValue(VuMeterData::kIdPeakValue, peak);
    EXPECT_EQ(peak, 0.0f);
    EXPECT_TRUE(rig.handler->edits().empty()) << "a click on the bar is no edit";
    ASSERT_GT(rig.controller->momentaryMeter()->maximum(0), 0.0f);
    ASSERT_TRUE(rig.editor().clickElement("resetLoudness"));
    EXPECT_EQ(rig.controller->momentaryMeter()->maximum(0), 0.0f);
    EXPECT_EQ(edits(), (Edits{{kResetLoudness, 1.0}, {kResetLoudness, 0.0}})) << "pushed, then released";
}

} // namespace
} // namespace HostViewTest
