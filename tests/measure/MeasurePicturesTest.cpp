// The pictures the host draws: the loudness plot, the editor at the end of a
// measurement, and `render` with clicks on named controls.

#include "MeasureTestSupport.h"
#include "host/LoudnessPlot.h"

namespace {

using namespace MeasureTesting;

class MeasurePictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        tone_ = file("two-steps.wav");
        ASSERT_TRUE(makeAudio(tone_, 48000, 6.0, {sine({-30.0, -18.0}, 3.0, 1000.0)}, 2));
    }
    static Outcome run(const NivoloHost::RenderOptions& options) {
        std::ostringstream out, err;
        const int status = NivoloHost::runRender(options, out, err);
        return {status, out.str(), err.str()};
    }
    static NivoloHost::RenderOptions options(const std::string& name, std::vector<std::string> clicks = {}) {
        return {optionsFor(tone_), file(name + ".png"), -1.0, std::move(clicks)};
    }
    // The editor after the clicks.
    static Picture render(const NivoloHost::RenderOptions& options) {
        EXPECT_EQ(run(options).status, 0);
        return Picture(options.out);
    }
    static inline std::string tone_;
};

TEST_F(MeasurePictures, MeasureWritesThePlotAndTheEditorAndSaysWhere) {
    NivoloHost::MeasureOptions options = optionsFor(tone_);
    options.plot = file("loudness.png");
    options.editor = file("editor.png");
    const Outcome run = measure(options);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Editor:            " + options.editor), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Loudness plot:     " + options.plot), std::string::npos) << run.out;
    const Picture plot(options.plot), editor(options.editor);
    EXPECT_EQ(std::pair(plot.width, plot.height), std::pair(960, 480));
    EXPECT_EQ(std::pair(editor.width, editor.height), std::pair(306, 273)); // the skin's template

    options.editor.clear();
    options.plot = file("no-such-dir/loudness.png");
    EXPECT_TRUE(isOneLineFailure(measure(options)));
    // Render refuses an unknown click and a missing output.
    EXPECT_TRUE(isOneLineFailure(MeasurePictures::run(this->options("x", {"noSuchControl"}))));
    EXPECT_TRUE(isOneLineFailure(MeasurePictures::run({optionsFor(tone_), "", -1.0, {}})));
}

TEST_F(MeasurePictures, RenderClicksChangeOnlyWhatTheyConcern) {
    NivoloHost::RenderOptions lufs = options("lufs"), lu = options("lu", {"scaleModeLoudness"});
    lufs.at = lu.at = 4.0;
    EXPECT_EQ(run(lu).out, lu.out + ": the editor after 4.0 s of " + tone_ + "\n");
    const Picture before = render(lufs), after(lu.out);
    // The unit label under the short-term reading changes, the elapsed time
    // does not (both stopped after 4 s).
    EXPECT_GT(after.differing(before, 250, 163, 290, 181), 0);
    EXPECT_EQ(after.differing(before, 180, 197, 290, 219), 0);

    // The about page covers the integrated reading, the time and the meter.
    const Picture plain = render(options("plain")), about = render(options("about", {"about"}));
    EXPECT_GT(about.differing(plain, 166, 31, 276, 71), 1000);
    EXPECT_GT(about.differing(plain, 21, 15, 40, 245), 1000);
}

TEST(LoudnessPlot, RangeBandStartsAtTheTenthPercentileOfTheGatedShortTermValues) {
    NivoloHost::LoudnessSeries series;
    // 100 values from -30 to -20.1 LUFS, plus some below the absolute gate and
    // far below the relative gate (20 LU under the mean power).
    for (int i = 0; i < 100; ++i) series.add(i * 0.1, NAN, -30.0 + 0.1 * i, NAN);
    for (int i = 0; i < 20; ++i) series.add(10 + i * 0.1, NAN, -75.0, NAN);
    for (int i = 0; i < 20; ++i) series.add(12 + i * 0.1, NAN, -60.0, NAN);
    // Mean power of the 120 values above -70: about -25.7 LUFS; the gate lies near -45.7,
    // so the -60 values drop out and the lowest tenth of the 100 remaining ends at -29.0 or so.
    const double low = NivoloHost::rangeLowEdge(series);
    EXPECT_NEAR(low, -30.0 + 0.1 * std::lround(0.1 * 99), 1e-9);
    series.lu = true; // the same values read as LU are 23 dB louder in LUFS: nothing is gated
    for (double& v : series.shortTerm) v += 23.0;
    EXPECT_NEAR(NivoloHost::rangeLowEdge(series), low + 23.0, 1e-9);
}

} // namespace
