// The editor built from the meter's skin template: every name bound through
// the controller, what the render shows for the controls' values (checked
// against the decoded skin bitmaps), clicks, tooltips and the module view
// inside it.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <cmath>
#include <thread>

#include "host/view/EditorView.h"
#include "tests/hostview/HostViewTestSupport.h"

namespace {

using namespace HostViewTest;
using NivoloHost::Bitmap;
using NivoloHost::EditorView;
using NivoloHost::ViewFramework;

constexpr uint32_t kNormalText = 0xFF06FBC5u; // "ap.data.normal"

class EditorViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<uint8_t> file = readSkinFile();
        ASSERT_TRUE(framework->skins().registerSkinData(this, file.data(), file.size()))
            << framework->skins().lastError();
        IPlugView* view = nullptr;
        ASSERT_EQ(framework->skins().createView("DuravIrorSmallVazEzaru", controller.get(), &view), kResultOk);
        auto held = IPtr<IPlugView>::adopt(view);
        editor = queryInterface<EditorView>(view);
        ASSERT_TRUE(editor);
        background = bitmap("bmDuravIrorBack");
        ASSERT_TRUE(background);
    }

    IPtr<Bitmap> bitmap(const char* name) { return bitmapOf(framework->skins(), name); }

    // True when the render shows the first rows of picture at (left, top) over
    // the background; where tells the first pixel that differs.
    bool showsOverBackground(cairo_surface_t* render, const char* name, int left, int top, std::string& where,
                             int rows = 0) {
        IPtr<Bitmap> picture = bitmap(name);
        where = std::string("no bitmap ") + name;
        if (!picture) return false;
        for (int y = 0; y < (rows ? rows : picture->height()); ++y)
            for (int x = 0; x < picture->width(); ++x) {
                where = std::to_string(left + x) + "," + std::to_string(top + y);
                const uint32_t expected = over(picture->pixel(x, y), background->pixel(left + x, top + y));
                if (!near(pixelAt(render, left + x, top + y), expected)) return false;
            }
        return true;
    }

    void setValue(const char* name, int value) { controller->control(name)->setIntValue(value, 0); }
    int valueOf(const char* name) { return controller->control(name)->getIntValue(); }

    IPtr<ViewFramework> framework = IPtr<ViewFramework>::adopt(new ViewFramework);
    IPtr<StandInController> controller = IPtr<StandInController>::adopt(new StandInController(*framework));
    IPtr<EditorView> editor;
    IPtr<Bitmap> background;
};

// ---- building ------------------------------------------------------------------------

TEST_F(EditorViewTest, EveryNamedElementIsResolvedThroughTheController) {
    // The names the skin binds, read from its XML here (comments are not elements).
    std::vector<uint8_t> xml = skinEntry("skin.xml");
    pugi::xml_document document;
    ASSERT_TRUE(document.load_buffer(xml.data(), xml.size()));
    std::set<std::string> controls;
    std::vector<std::string> views;
    for (pugi::xpath_node n : document.select_nodes("//template//*[@name]")) {
        const std::string tag = n.node().name(), name = n.node().attribute("name").value();
        if (tag == "text" || tag == "switch" || tag == "slider" || tag == "alternative") controls.insert(name);
        if (tag == "view") views.push_back(name);
    }
    EXPECT_EQ(controller->asked, controls);
    EXPECT_EQ(views, std::vector<std::string>{"loudnessMView"});
    EXPECT_EQ(controller->viewsAsked, views);
    EXPECT_TRUE(editor->unresolved().empty());
    ASSERT_EQ(controller->viewRects.size(), 1u);
    EXPECT_EQ(controller->viewRects[0].left, 21);
    EXPECT_EQ(controller->viewRects[0].bottom, 15 + 230);
    EXPECT_EQ(controller->orientation, "vertical") << "properties reach the view builder";
    EXPECT_EQ(controller->foreName, "bmDuravIrorMeterHorizFore");

    int unitSwitches = 0, loudnessM = 0;
    bool aboutImageShown = true;
    for (const EditorView::ElementInfo& e : editor->elements()) {
        const bool isSwitch = e.kind == NivoloHost::EditorElement::Kind::Switch;
        unitSwitches += isSwitch && e.name == "scaleModeLoudness";
        loudnessM += e.name == "loudnessM";
        if (isSwitch && e.name == "about" && e.rect.right == 305) aboutImageShown = e.visible;
    }
    EXPECT_EQ(unitSwitches, 3);
    EXPECT_EQ(loudnessM, 2);
    EXPECT_FALSE(aboutImageShown) << "the about page's switch is hidden while \"about\" is 0";
}

// ---- what the render shows -------------------------------------------------------------

TEST_F(EditorViewTest, UnitLabelsFollowTheScaleMode) {
    std::string where;
    setValue("scaleModeLoudness", 1);
    auto render = editor->render();
    for (auto [left, top] : {std::pair{265, 74}, {265, 163}, {116, 54}})
        EXPECT_TRUE(showsOverBackground(render.get(), "bmLU", left, top, where)) << where;
    for (int x = 250; x < 265; ++x) ASSERT_EQ(pixelAt(render.get(), x, 80), background->pixel(x, 80)) << x;

    setValue("scaleModeLoudness", 0);
    render = editor->render();
    for (auto [left, top] : {std::pair{250, 74}, {101, 54}})
        EXPECT_TRUE(showsOverBackground(render.get(), "bmLUFS", left, top, where)) << where;
}

TEST_F(EditorViewTest, SliderHandleAndButtonStripShowTheirValues) {
    std::string where;
    // 240 pixels of travel less the 16-pixel handle; value 1 is the top.
    for (float value : {1.0f, 0.5f, 0.0f}) {
        controller->control("LoudnessSIndicator")->setNormalized(value, 0);
        const int top = 10 + static_cast<int>(std::lround((1.0 - value) * (240 - 16)));
        auto render = editor->render();
        EXPECT_TRUE(showsOverBackground(render.get(), "bmSliderHandle", 42, top, where)) << value << " at " << where;
    }
    // "bmButtonPush" holds two 19-pixel states; value 0 shows the upper one.
    EXPECT_TRUE(showsOverBackground(editor->render().get(), "bmButtonPush", 81, 198, where, 19)) << where;
}

TEST_F(EditorViewTest, ATextSetFromAnotherThreadIsDrawnInItsFontColourFromTheLeft) {
    const ViewRect timeRect{180, 197, 290, 219};
    EXPECT_EQ(countPixels(editor->render().get(), timeRect, kNormalText), 0);
    std::thread([&] { controller->setText("time", u"01:02:03"); }).join();
    auto render = editor->render();
    EXPECT_GT(countPixels(render.get(), timeRect, kNormalText), 20);
    int firstColumn = timeRect.right;
    for (int y = timeRect.top; y < timeRect.bottom; ++y)
        for (int x = timeRect.left; x < timeRect.right; ++x)
            if (pixelAt(render.get(), x, y) != background->pixel(x, y)) firstColumn = std::min(firstColumn, x);
    EXPECT_LT(firstColumn, timeRect.left + 6);
}

TEST_F(EditorViewTest, ValueTextsComeThroughTheControllersHook) {
    // "loudnessM" is shown twice (26 and 11 pixels) from the hook's "%.1f".
    controller->control("loudnessM")->setRealValue(-80.0f, 0);
    auto empty = editor->render();
    controller->control("loudnessM")->setRealValue(-18.4f, 0);
    auto shown = editor->render();
    int changed = 0;
    for (const ViewRect& r : {ViewRect{68, 31, 128, 51}, ViewRect{15, 250, 45, 262}})
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) changed += pixelAt(empty.get(), x, y) != pixelAt(shown.get(), x, y);
    EXPECT_GT(changed, 40);
}

// ---- input ---------------------------------------------------------------------------------

TEST_F(EditorViewTest, ClicksToggleOnOffSwitchesAndPushButtonsSendOneThenZero) {
    ASSERT_TRUE(editor->clickAt(270, 80)); // a unit label
    ASSERT_EQ(controller->changes.size(), 1u);
    EXPECT_EQ(controller->changes[0].name, "scaleModeLoudness");
    EXPECT_EQ(controller->changes[0].normalised, 1.0f);
    EXPECT_EQ(valueOf("scaleModeLoudness"), 1);
    EXPECT_EQ(controller->gestures, "[]");
    ASSERT_TRUE(editor->clickAt(110, 60)); // the momentary label toggles the same control
    EXPECT_EQ(valueOf("scaleModeLoudness"), 0);
    EXPECT_FALSE(editor->clickAt(300, 5)) << "nothing clickable there";

    controller->changes.clear();
    ASSERT_TRUE(editor->clickElement("resetTruePeak"));
    ASSERT_EQ(controller->changes.size(), 2u);
    EXPECT_EQ(controller->changes[0].name, "resetTruePeak");
    EXPECT_EQ(controller->changes[0].normalised, 1.0f);
    EXPECT_EQ(controller->changes[1].normalised, 0.0f);
    EXPECT_EQ(valueOf("resetTruePeak"), 0);
}

TEST_F(EditorViewTest, TheAboutPageCoversTheEditorAndClosesOnAnyClick) {
    IPtr<Bitmap> about = bitmap("bmDuravIrorAbout");
    ASSERT_TRUE(about);
    ASSERT_TRUE(editor->clickAt(100, 240)); // "Show About Page"
    EXPECT_EQ(valueOf("about"), 1);
    auto render = editor->render();
    for (int y = 0; y < 273; ++y)
        for (int x = 0; x < 305; ++x) ASSERT_EQ(pixelAt(render.get(), x, y), about->pixel(x, y)) << x << "," << y;
    EXPECT_EQ(editor->tooltipAt(270, 80), "") << "the about page's switch has no tip";

    ASSERT_TRUE(editor->clickAt(270, 80)); // over a unit label, now under the page
    EXPECT_EQ(valueOf("about"), 0);
    EXPECT_EQ(valueOf("scaleModeLoudness"), 0);
    EXPECT_NE(pixelAt(editor->render().get(), 150, 100), about->pixel(150, 100));
}

TEST_F(EditorViewTest, TooltipsBelongToTheTopMostShownElement) {
    EXPECT_EQ(editor->tooltipAt(200, 50),
              "Integrated Loudness: This is the average loudness measured\r\nover the entire time of playback. \r\n"
              "EBU R128 recommends to normalize audio at -23 LUFS +/- 1 LU\r\nTo start new measurement, click the Reset "
              "button.\r\nClick on the unit to switch between LUFS and LU.");
    EXPECT_EQ(editor->tooltipAt(270, 80), "Switch between LUFS and LU Unit");
    EXPECT_EQ(editor->tooltipAt(160, 168), "Reset Short Term Loudness Max Value (in LU or LUFS)");
    EXPECT_EQ(editor->tooltipAt(30, 100), "Momentary Loudness in LU");
}

// ---- the module's view ------------------------------------------------------------------------

TEST_F(EditorViewTest, ModuleViewDrawsInItsOwnCoordinatesClippedToItsRectangle) {
    IPtr<Bitmap> fore = bitmap("bmDuravIrorMeterHorizFore");
    ASSERT_TRUE(fore && controller->meterView);
    auto render = editor->render();
    EXPECT_EQ(controller->meterView->draws, 1);
    EXPECT_EQ(controller->meterView->lastDirty.right, 19);
    EXPECT_EQ(controller->meterView->lastDirty.bottom, 230);
    // The view at 21,15 filled itself and painted the fore bitmap's lower half.
    EXPECT_EQ(pixelAt(render.get(), 21, 15), StandInView::kFill);
    EXPECT_EQ(pixelAt(render.get(), 39, 129), StandInView::kFill);
    for (int y = 115; y < 230; y += 5)
        for (int x = 0; x < 19; ++x)
            ASSERT_TRUE(near(pixelAt(render.get(), 21 + x, 15 + y), over(fore->pixel(x, y), StandInView::kFill)))
                << x << "," << y;
    // Its fill reached beyond its rectangle; nothing of it shows there.
    EXPECT_EQ(pixelAt(render.get(), 20, 100), background->pixel(20, 100));
    EXPECT_EQ(pixelAt(render.get(), 30, 14), background->pixel(30, 14));
}

TEST_F(EditorViewTest, ModuleViewGetsClicksInItsCoordinatesAndGoesWithTheEditor) {
    ASSERT_TRUE(editor->clickAt(25, 100));
    ASSERT_EQ(controller->meterView->downs.size(), 1u);
    EXPECT_EQ(controller->meterView->downs[0].x, 4);
    EXPECT_EQ(controller->meterView->downs[0].y, 85);
    EXPECT_TRUE(controller->changes.empty());
    ASSERT_EQ(StandInView::alive, 1);
    editor.reset();
    EXPECT_EQ(StandInView::alive, 0);
}

} // namespace
