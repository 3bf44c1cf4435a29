// The whole plug-in in our host: processor and controller from the module's
// factory, readings shown on the editor the host renders from the skin.

#include "PluginTestSupport.h"

#include <algorithm>

namespace NivoloHost::Testing {
namespace {

using Zel::ViewRect;

TEST(EditorReadings, SineAtMinus23DbfsShowsMinus23LufsIntegrated) {
    // A stereo 1 kHz sine at -23 dBFS reads -23 LUFS (the K-weighting is 0 dB
    // at 1 kHz within 0.01 dB, and two channels add 3 dB to the sine's -3 dB mean square).
    PluginSlot slot;
    slot.playSine(-23.0, 20.0);
    slot.settle();
    EXPECT_EQ(slot.shown("loudnessI"), "-23.0");
    EXPECT_EQ(slot.shown("loudnessS"), "-23.0");
    EXPECT_EQ(slot.shown("loudnessM"), "-23.0");
    EXPECT_EQ(slot.shown("time"), "00:00:20");
}

TEST(EditorReadings, ClickingAUnitLabelSwitchesEveryLoudnessToLu) {
    PluginSlot slot;
    slot.playSine(-23.0, 20.0);
    slot.settle();
    // The three unit labels: visible images inside the "scaleModeLoudness" alternatives.
    const auto labels = [&]() {
        std::vector<std::pair<int, int>> corners;
        for (const auto& e : slot.editor().elements())
            if (e.kind == EditorElement::Kind::Image && e.visible && e.rect.top != 114 && e.rect.height() == 18 &&
                e.rect.width() <= 60)
                corners.emplace_back(e.rect.left, e.rect.top);
        std::sort(corners.begin(), corners.end());
        return corners;
    };
    using Corners = std::vector<std::pair<int, int>>;
    EXPECT_EQ(labels(), (Corners{{101, 54}, {250, 74}, {250, 163}})); // "LUFS" pictures
    EXPECT_EQ(slot.instance().valueText(48), "LUFS");

    ASSERT_TRUE(slot.editor().clickElement("scaleModeLoudness"));
    // The edit reaches the processor with the next block; its readings come back in LU.
    slot.settle();
    slot.settle();
    EXPECT_EQ(slot.instance().valueText(48), "LU");
    EXPECT_EQ(labels(), (Corners{{116, 54}, {265, 74}, {265, 163}})); // "LU" pictures
    EXPECT_EQ(slot.shown("loudnessI"), "0.0");
    EXPECT_EQ(slot.shown("loudnessS"), "0.0");
    EXPECT_EQ(slot.shown("loudnessM"), "0.0");
    ASSERT_FALSE(slot.instance().handler().edits().empty());
    EXPECT_EQ(slot.instance().handler().edits().back().id, 48);
    EXPECT_EQ(slot.instance().handler().edits().back().value, 1.0);
}

TEST(EditorReadings, ResetWhileSilentLeavesNoMomentaryReading) {
    PluginSlot slot;
    slot.playSine(-23.0, 3.0);
    slot.playSilence(1.0);
    ASSERT_TRUE(slot.editor().clickElement("resetLoudness"));
    slot.playSilence(1.0);
    slot.settle();
    EXPECT_EQ(slot.shown("loudnessM"), "--");
    EXPECT_EQ(slot.shown("loudnessI"), "--");
    EXPECT_EQ(slot.shown("loudnessMMax"), "--");
    EXPECT_EQ(slot.shown("time"), "00:00:00"); // the reset also restarts the elapsed time
}

TEST(EditorReadings, TimeTextAdvancesOncePerSecondOfAudio) {
    PluginSlot slot;
    std::vector<std::string> seen;
    for (int step = 0; step < 35; ++step) { // 3.5 s in steps of 100 ms
        slot.playSine(-30.0, 0.1);
        seen.push_back(slot.instance().controlText("time"));
    }
    // The text changes exactly at whole seconds of played audio.
    for (int step = 0; step < 35; ++step) {
        const int seconds = (step + 1) / 10;
        char expected[16];
        std::snprintf(expected, sizeof expected, "00:00:%02d", seconds);
        if (seconds == 0) EXPECT_TRUE(seen[static_cast<size_t>(step)].empty() || seen[static_cast<size_t>(step)] == "00:00:00");
        else EXPECT_EQ(seen[static_cast<size_t>(step)], expected) << "after " << (step + 1) * 100 << " ms";
    }
}

TEST(EditorReadings, WarningsTurnTheirTextsRed) {
    PluginSlot slot;
    const Zel::ColourArgb normal = slot.skinColour("ap.data.normal");
    const Zel::ColourArgb red = slot.skinColour("ap.data.red");
    ASSERT_NE(normal, red);

    slot.playSine(-23.0, 5.0);
    slot.settle();
    EXPECT_EQ(slot.shownColour("loudnessI"), normal);
    EXPECT_EQ(slot.shownColour("truePeak"), normal);

    // -0.5 dBFS: true peak above -1 dBTP at once, integrated well above -22 LUFS.
    slot.playSine(-0.5, 10.0);
    slot.settle();
    EXPECT_EQ(slot.shownColour("truePeak"), red);
    EXPECT_EQ(slot.shownColour("loudnessI"), red);
    EXPECT_EQ(slot.instance().normalizedValue(46), 1.0);
    EXPECT_EQ(slot.instance().normalizedValue(47), 1.0);
}

uint32_t pixelAt(cairo_surface_t* surface, int x, int y) {
    uint32_t v;
    std::memcpy(&v, cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface) + x * 4, 4);
    return v;
}

// The momentary bar (view 21,15 19x230): the first row of its middle column,
// from the top, that differs from the empty meter is the top of the lit bar.
int firstLitRow(PluginSlot& slot, PluginSlot& empty) {
    auto lit = slot.editor().render();
    auto unlit = empty.editor().render();
    for (int row = 0; row < 230; ++row)
        if (pixelAt(lit.get(), 30, 15 + row) != pixelAt(unlit.get(), 30, 15 + row)) return row;
    return 230;
}

TEST(EditorReadings, MomentaryBarStandsAtTwoThirdsAtMinus23Lufs) {
    PluginSlot slot;
    slot.playSine(-23.0, 3.0);
    slot.settle();
    // The bar spans -59 to -5 LUFS over the 230-pixel image: (-23 + 59) / 54 = 0.667 lit.
    const double position = (-23.0 + 59.0) / 54.0;
    const int expected = static_cast<int>((1.0 - position) * 230.0 + 0.5);
    PluginSlot empty;
    EXPECT_EQ(firstLitRow(slot, empty), expected);
    // In LU the same loudness (0 LU) stands at the same height.
    ASSERT_TRUE(slot.editor().clickElement("scaleModeLoudness"));
    slot.playSine(-23.0, 1.0);
    slot.settle();
    EXPECT_EQ(slot.shown("loudnessM"), "0.0");
    EXPECT_EQ(firstLitRow(slot, empty), expected);
}

TEST(EditorStateRestore, ByteCountOf140PerEntryRestoresThatManyEntries) {
    for (int n = 1; n <= 2; ++n) {
        PluginSlot slot;
        // Entry 1 switches the unit to LU, entry 2 opens the about page.
        auto state = stateStream({{48, 1.0}, {54, 1.0}}, 140 * n);
        slot.instance().controller()->applyProcessorState(state.get());
        EXPECT_EQ(slot.instance().valueText(48), "LU") << n;
        EXPECT_EQ(slot.instance().normalizedValue(54), n == 2 ? 1.0 : 0.0) << n;
    }
}

TEST(EditorStateRestore, SwitchRestoredFromPointSevenReadsOn) {
    PluginSlot slot;
    auto state = stateStream({{7, 0.7}}, 144);
    slot.instance().controller()->applyProcessorState(state.get());
    EXPECT_EQ(slot.instance().normalizedValue(7), 1.0);
    EXPECT_EQ(slot.instance().valueText(7), "On");
}

// The grey maximum line of the momentary bar (opaque 110/110/110).
int maximumLineRows(PluginSlot& slot) {
    auto surface = slot.editor().render();
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    int rows = 0;
    for (int y = 15; y < 245; ++y) {
        uint32_t v;
        std::memcpy(&v, data + y * stride + 30 * 4, 4);
        if (v == 0xFF6E6E6Eu) ++rows;
    }
    return rows;
}

TEST(EditorStateRestore, RestoredResetClearsTheMaximaButIsNotSentToTheHost) {
    PluginSlot slot;
    slot.playSine(-14.0, 2.0);
    slot.playSine(-40.0, 3.0); // the bar falls below its maximum
    slot.settle();
    ASSERT_EQ(maximumLineRows(slot), 1);
    const size_t editsBefore = slot.instance().handler().edits().size();

    auto state = stateStream({{4, 1.0}}, 144);
    slot.instance().controller()->applyProcessorState(state.get());
    EXPECT_EQ(maximumLineRows(slot), 0);
    EXPECT_EQ(slot.instance().handler().edits().size(), editsBefore);

    // A click on the same reset is the user's: it is sent.
    slot.playSine(-14.0, 1.0);
    ASSERT_TRUE(slot.editor().clickElement("resetLoudness"));
    ASSERT_GT(slot.instance().handler().edits().size(), editsBefore);
    EXPECT_EQ(slot.instance().handler().edits()[editsBefore].id, 4);
}

TEST(EditorReadings, AboutSwitchOpensAndClosesTheAboutPage) {
    PluginSlot slot;
    ASSERT_TRUE(slot.editor().clickElement("about"));
    EXPECT_EQ(slot.instance().normalizedValue(54), 1.0);
    // The page covers the editor: no reading is shown through it.
    slot.settle();
    std::string text;
    for (const auto& e : slot.editor().elements())
        if (e.kind == EditorElement::Kind::Image && e.visible && e.rect.left == 0 && e.rect.top == 0 &&
            e.rect.right == 305)
            text = "about page";
    EXPECT_EQ(text, "about page");
    ASSERT_TRUE(slot.editor().clickAt(150, 130)); // the page's own full-size switch
    EXPECT_EQ(slot.instance().normalizedValue(54), 0.0);
}

} // namespace
} // namespace NivoloHost::Testing
