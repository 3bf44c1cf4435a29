// The editor built from the meter's skin: every name bound through the
// controller, what the render shows for the controls' values (checked against
// the decoded skin bitmaps), clicks, tooltips and the module view inside it.

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

constexpr const char* kTemplate = "DuravIrorSmallVazEzaru";
constexpr uint32_t kNormalText = 0xFF06FBC5u; // "ap.data.normal"

class EditorViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<uint8_t> file = readSkinFile();
        ASSERT_TRUE(framework->skins().registerSkinData(this, file.data(), file.size()))
            << framework->skins().lastError();
        IPlugView* view = nullptr;
        ASSERT_EQ(framework->skins().createView(kTemplate, controller.get(), &view), kResultOk);
        auto held = IPtr<IPlugView>::adopt(view);
        editor = queryInterface<EditorView>(view);
        ASSERT_TRUE(editor);
        background = bitmap("bmDuravIrorBack");
    }

    IPtr<Bitmap> bitmap(const char* name) {
        FUnknown* out = nullptr;
        framework->skins().getBitmap(name, &out);
        auto held = IPtr<FUnknown>::adopt(out);
        return queryInterface<Bitmap>(out);
    }

    // True when the render shows picture at (left, top) over the background.
    static bool showsOverBackground(cairo_surface_t* render, Bitmap& picture, Bitmap& background, int left, int top,
                                    std::string& where) {
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const uint32_t expected = over(picture.pixel(x, y), background.pixel(left + x, top + y));
                if (!near(pixelAt(render, left + x, top + y), expected)) {
                    where = std::to_string(left + x) + "," + std::to_string(top + y);
                    return false;
                }
            }
        return true;
    }

    void setValue(const char* name, int value) { controller->control(name)->setIntValue(value, 0); }

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
    EXPECT_EQ(controller->viewsAsked, views);
    EXPECT_EQ(views, std::vector<std::string>{"loudnessMView"});
    EXPECT_TRUE(editor->unresolved().empty());
    ASSERT_EQ(controller->viewRects.size(), 1u);
    EXPECT_EQ(controller->viewRects[0].left, 21);
    EXPECT_EQ(controller->viewRects[0].bottom, 15 + 230);
    EXPECT_EQ(controller->orientation, "vertical") << "properties reach the view builder";
    EXPECT_EQ(controller->foreName, "bmDuravIrorMeterHorizFore");
}

TEST_F(EditorViewTest, ElementsAreListedWithTheirBindingsAndVisibility) {
    int unitSwitches = 0, loudnessM = 0;
    bool aboutImageShown = true;
    for (const EditorView::ElementInfo& e : editor->elements()) {
        unitSwitches += e.kind == NivoloHost::EditorElement::Kind::Switch && e.name == "scaleModeLoudness";
        loudnessM += e.name == "loudnessM";
        if (e.kind == NivoloHost::EditorElement::Kind::Switch && e.name == "about" && e.rect.right == 305)
            aboutImageShown = e.visible;
    }
    EXPECT_EQ(unitSwitches, 3);
    EXPECT_EQ(loudnessM, 2);
    EXPECT_FALSE(aboutImageShown) << "the about page's switch is hidden while \"about\" is 0";
}

// ---- what the render shows -------------------------------------------------------------

TEST_F(EditorViewTest, UnitLabelsFollowTheScaleMode) {
    IPtr<Bitmap> lu = bitmap("bmLU"), lufs = bitmap("bmLUFS");
    ASSERT_TRUE(lu && lufs && background);
    std::string where;

    setValue("scaleModeLoudness", 1);
    auto render = editor->render();
    EXPECT_TRUE(showsOverBackground(render.get(), *lu, *background, 265, 74, where)) << where;
    EXPECT_TRUE(showsOverBackground(render.get(), *lu, *background, 265, 163, where)) << where;
    EXPECT_TRUE(showsOverBackground(render.get(), *lu, *background, 116, 54, where)) << where;
    for (int x = 250; x < 265; ++x) ASSERT_EQ(pixelAt(render.get(), x, 80), background->pixel(x, 80)) << x;

    setValue("scaleModeLoudness", 0);
    render = editor->render();
    EXPECT_TRUE(showsOverBackground(render.get(), *lufs, *background, 250, 74, where)) << where;
    EXPECT_TRUE(showsOverBackground(render.get(), *lufs, *background, 101, 54, where)) << where;
}

TEST_F(EditorViewTest, AboutPageCoversTheEditorWhileAboutIsOne) {
    IPtr<Bitmap> about = bitmap("bmDuravIrorAbout");
    ASSERT_TRUE(about);
    setValue("about", 1);
    auto render = editor->render();
    for (int y = 0; y < 273; ++y)
        for (int x = 0; x < 305; ++x) ASSERT_EQ(pixelAt(render.get(), x, y), about->pixel(x, y)) << x << "," << y;
    setValue("about", 0);
    render = editor->render();
    EXPECT_NE(pixelAt(render.get(), 150, 100), about->pixel(150, 100));
}

TEST_F(EditorViewTest, ATextSetFromAnotherThreadIsDrawnInItsFontColour) {
    const ViewRect timeRect{180, 197, 290, 219};
    EXPECT_EQ(countPixels(editor->render().get(), timeRect, kNormalText), 0);
    std::thread audio([&] { controller->setText("time", u"01:02:03"); });
    audio.join();
    auto render = editor->render();
    EXPECT_GT(countPixels(render.get(), timeRect, kNormalText), 20);
    // Left-justified: the text starts at the rectangle's left edge.
    int firstColumn = timeRect.right;
    for (int y = timeRect.top; y < timeRect.bottom; ++y)
        for (int x = timeRect.left; x < timeRect.right; ++x)
            if (pixelAt(render.get(), x, y) != background->pixel(x, y)) firstColumn = std::min(firstColumn, x);
    EXPECT_LT(firstColumn, timeRect.left + 6);
}

TEST_F(EditorViewTest, ValueTextsComeThroughTheControllersHook) {
    // "loudnessM" is shown twice (26 and 11 pixels) from the hook's "%.1f".
    const ViewRect big{68, 31, 128, 51}, small{15, 250, 45, 262};
    controller->control("loudnessM")->setRealValue(-80.0f, 0);
    auto empty = editor->render();
    controller->control("loudnessM")->setRealValue(-18.4f, 0);
    auto shown = editor->render();
    int changed = 0;
    for (const ViewRect& r : {big, small})
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) changed += pixelAt(empty.get(), x, y) != pixelAt(shown.get(), x, y);
    EXPECT_GT(changed, 40);
}

TEST_F(EditorViewTest, OverAlternativeSwitchesTheIntegratedTextToRed) {
    ColourArgb red = 0;
    ASSERT_EQ(framework->skins().getColour("ap.data.red", &red), kResultOk);
    const ViewRect integrated{166, 31, 276, 71};
    controller->setText("loudnessI", u"-18.0");
    auto normal = editor->render();
    EXPECT_GT(countPixels(normal.get(), integrated, kNormalText), 50);
    EXPECT_EQ(countPixels(normal.get(), integrated, red), 0);
    setValue("loudnessIOver", 1);
    auto over = editor->render();
    EXPECT_GT(countPixels(over.get(), integrated, red), 50);
    EXPECT_EQ(countPixels(over.get(), integrated, kNormalText), 0);
}

TEST_F(EditorViewTest, SliderHandleStandsAtTheNormalisedValueFromTheTop) {
    IPtr<Bitmap> handle = bitmap("bmSliderHandle");
    ASSERT_TRUE(handle);
    std::string where;
    // 240 pixels of travel less the 16-pixel handle; value 1 is the top.
    for (float value : {1.0f, 0.5f, 0.0f}) {
        controller->control("LoudnessSIndicator")->setNormalized(value, 0);
        const int top = 10 + static_cast<int>(std::lround((1.0 - value) * (240 - 16)));
        auto render = editor->render();
        EXPECT_TRUE(showsOverBackground(render.get(), *handle, *background, 42, top, where)) << value << " " << where;
    }
}

TEST_F(EditorViewTest, ResetButtonShowsTheStateOfItsPictureStrip) {
    // "bmButtonPush" is two 19-pixel states of the 56 x 38 section; value 0 shows the upper one.
    IPtr<Bitmap> strip = bitmap("bmButtonPush");
    ASSERT_TRUE(strip);
    auto render = editor->render();
    for (int y = 0; y < 19; ++y)
        for (int x = 0; x < 56; ++x)
            ASSERT_TRUE(near(pixelAt(render.get(), 81 + x, 198 + y), over(strip->pixel(x, y), background->pixel(81 + x, 198 + y))))
                << x << "," << y;
}

// ---- input ---------------------------------------------------------------------------------

TEST_F(EditorViewTest, ClickOnAUnitLabelTogglesTheScaleModeAndTellsTheController) {
    ASSERT_TRUE(editor->clickAt(270, 80));
    ASSERT_EQ(controller->changes.size(), 1u);
    EXPECT_EQ(controller->changes[0].name, "scaleModeLoudness");
    EXPECT_EQ(controller->changes[0].normalised, 1.0f);
    EXPECT_EQ(controller->control("scaleModeLoudness")->getIntValue(), 1);
    EXPECT_EQ(controller->gestures, "[]");
    ASSERT_TRUE(editor->clickAt(110, 60)); // the momentary label toggles the same control
    EXPECT_EQ(controller->control("scaleModeLoudness")->getIntValue(), 0);
    EXPECT_FALSE(editor->clickAt(300, 5)) << "nothing clickable there";
}

TEST_F(EditorViewTest, PushButtonsSendOneThenZero) {
    ASSERT_TRUE(editor->clickElement("resetTruePeak"));
    ASSERT_EQ(controller->changes.size(), 2u);
    EXPECT_EQ(controller->changes[0].normalised, 1.0f);
    EXPECT_EQ(controller->changes[1].normalised, 0.0f);
    EXPECT_EQ(controller->changes[0].name, "resetTruePeak");
    EXPECT_EQ(controller->control("resetTruePeak")->getIntValue(), 0);
}

TEST_F(EditorViewTest, TheOpenAboutPageTakesEveryClickAndClosesOnIt) {
    ASSERT_TRUE(editor->clickAt(100, 240)); // "Show About Page"
    EXPECT_EQ(controller->control("about")->getIntValue(), 1);
    ASSERT_TRUE(editor->clickAt(270, 80)); // over a unit label, now under the page
    EXPECT_EQ(controller->control("about")->getIntValue(), 0);
    EXPECT_EQ(controller->control("scaleModeLoudness")->getIntValue(), 0);
}

TEST_F(EditorViewTest, TooltipsBelongToTheTopMostShownElement) {
    EXPECT_EQ(editor->tooltipAt(200, 50),
              "Integrated Loudness: This is the average loudness measured\r\nover the entire time of playback. \r\n"
              "EBU R128 recommends to normalize audio at -23 LUFS +/- 1 LU\r\nTo start new measurement, click the Reset "
              "button.\r\nClick on the unit to switch between LUFS and LU.");
    EXPECT_EQ(editor->tooltipAt(270, 80), "Switch between LUFS and LU Unit");
    EXPECT_EQ(editor->tooltipAt(160, 168), "Reset Short Term Loudness Max Value (in LU or LUFS)");
    EXPECT_EQ(editor->tooltipAt(30, 100), "Momentary Loudness in LU");
    setValue("about", 1);
    EXPECT_EQ(editor->tooltipAt(270, 80), "") << "the about page's switch has no tip";
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

TEST_F(EditorViewTest, ClickOnTheModuleViewArrivesInViewCoordinates) {
    ASSERT_TRUE(editor->clickAt(25, 100));
    ASSERT_EQ(controller->meterView->downs.size(), 1u);
    EXPECT_EQ(controller->meterView->downs[0].x, 4);
    EXPECT_EQ(controller->meterView->downs[0].y, 85);
    EXPECT_TRUE(controller->changes.empty());
}

TEST_F(EditorViewTest, ClosingTheEditorLetsTheModuleViewGo) {
    ASSERT_EQ(StandInView::alive, 1);
    editor.reset();
    EXPECT_EQ(StandInView::alive, 0);
}

} // namespace
