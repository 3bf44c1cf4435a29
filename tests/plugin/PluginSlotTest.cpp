// The whole plug-in in our host, through the module's exported entry only:
// the processor's readings reach the controller and the editor the host
// renders from the skin, and what the user clicks there reaches the processor.

#include <gtest/gtest.h>

#include "host/PluginInstance.h"
#include "host/PluginModule.h"
#include "tests/support/SessionKit.h"

namespace SessionKit {
namespace {

using NivoloHost::EditorView;

class PluginSlot : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(module_.load(NIVOLO_MODULE_PATH, error)) << error;
        ASSERT_TRUE(slot_.open(module_.factory(), {}, error)) << error;
        ASSERT_NE(editor_ = slot_.editor(), nullptr);
    }
    // Seconds of a 1 kHz sine at a peak in dBFS, in blocks of 1024.
    void play(double dbfs, double seconds) {
        Signal sine = Signal::sine(2, dbfs, kRate, 1000.0);
        for (auto left = std::llround(seconds * kRate); left > 0; left -= 1024) {
            const auto n = static_cast<int32_t>(std::min<int64_t>(left, 1024));
            float* const* x = sine.next(n);
            slot_.processBlock(x, x, n);
        }
    }
    // An idle tick, then a block without audio: pending edits reach the
    // processor and a pending request is answered.
    void settle() {
        slot_.idle();
        slot_.processNothing();
    }
    std::string shown(const char* name, ColourArgb* colour = nullptr) {
        std::string text;
        EXPECT_TRUE(editor_->shownText(name, text, colour)) << name;
        return text;
    }

    NivoloHost::PluginModule module_; // outlives the slot
    NivoloHost::PluginInstance slot_;
    EditorView* editor_ = nullptr;
};

// A stereo sine at -23 dBFS reads -23 LUFS; a click on a unit label switches
// every loudness to LU once the edit reached the processor and its answer came
// back; a reset clicked in silence clears the readings and the time.
TEST_F(PluginSlot, AToneShowsItsLoudnessAClickSwitchesItToLuAndAResetInSilenceClearsIt) {
    play(-23.0, 5.0); // an idle tick every 100 ms of audio asks for the readings and shows them
    for (const char* reading : {"loudnessI", "loudnessS", "loudnessM"}) EXPECT_EQ(shown(reading), "-23.0") << reading;
    EXPECT_EQ(shown("time"), "00:00:05");
    EXPECT_EQ(slot_.valueText(Param::kScaleModeLoudness), "LUFS");

    ASSERT_TRUE(editor_->clickElement("scaleModeLoudness"));
    ASSERT_FALSE(slot_.handler().edits().empty());
    EXPECT_EQ(slot_.handler().edits().back().id, static_cast<int32_t>(Param::kScaleModeLoudness));
    EXPECT_EQ(slot_.handler().edits().back().value, 1.0);
    settle();
    settle();
    EXPECT_EQ(slot_.valueText(Param::kScaleModeLoudness), "LU");
    for (const char* reading : {"loudnessI", "loudnessS", "loudnessM"}) EXPECT_EQ(shown(reading), "0.0") << reading;

    // A reset in silence leaves no reading to show, and the elapsed time starts over.
    play(-200.0, 1.0);
    ASSERT_TRUE(editor_->clickElement("resetLoudness"));
    play(-200.0, 1.0);
    settle();
    for (const char* reading : {"loudnessM", "loudnessI", "loudnessMMax"}) EXPECT_EQ(shown(reading), "--") << reading;
    EXPECT_EQ(shown("time"), "00:00:00");
}

// Above -22 LUFS and -1 dBTP the two warnings are on and their readings red
// (below them the editor's own test sees the normal colour).
TEST_F(PluginSlot, WarningsTurnTheirReadingsRed) {
    ColourArgb red = 0, colour = 0;
    ASSERT_EQ(slot_.framework().skins().getColour("ap.data.red", &red), kResultOk);
    play(-0.5, 10.0);
    settle();
    for (const char* reading : {"loudnessI", "truePeak"}) {
        shown(reading, &colour);
        EXPECT_EQ(colour, red) << reading;
    }
    EXPECT_EQ(slot_.normalizedValue(Param::kLoudnessIOver), 1.0);
    EXPECT_EQ(slot_.normalizedValue(Param::kTruePeakOver), 1.0);
}

} // namespace
} // namespace SessionKit
