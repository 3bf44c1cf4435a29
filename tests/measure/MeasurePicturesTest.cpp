// The pictures the host draws: the loudness plot, the editor at the end of a
// measurement, and `render` with clicks on named controls.

#include <cairo.h>

#include <cstring>

#include "MeasureTestSupport.h"
#include "host/LoudnessPlot.h"

namespace {

using namespace MeasureTesting;

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;

    // Pixels that differ from other's in the rectangle [x0, x1) x [y0, y1).
    int differing(const Picture& other, int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const size_t at = static_cast<size_t>(y * width + x);
                n += pixels[at] != other.pixels[at];
            }
        return n;
    }
};

std::optional<Picture> readPng(const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    std::optional<Picture> p;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        p.emplace(Picture{cairo_image_surface_get_width(s), cairo_image_surface_get_height(s), {}});
        p->pixels.resize(static_cast<size_t>(p->width * p->height));
        for (int y = 0; y < p->height; ++y)
            std::memcpy(p->pixels.data() + y * p->width,
                        cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s),
                        static_cast<size_t>(p->width) * 4);
    }
    cairo_surface_destroy(s);
    return p;
}

class MeasurePictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir;
        ASSERT_TRUE(dir_->ok());
        tone_ = dir_->file("tone.wav");
        ASSERT_TRUE(writeProgramme(tone_, steps(48000, 2, 3.0, {-30.0, -18.0})));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static Outcome run(const NivoloHost::RenderOptions& options) {
        std::ostringstream out, err;
        const int status = NivoloHost::runRender(options, out, err);
        return {status, out.str(), err.str()};
    }
    static NivoloHost::RenderOptions options(const std::string& name, std::vector<std::string> clicks = {}) {
        NivoloHost::RenderOptions options;
        options.measure = optionsFor(tone_);
        options.out = dir_->file(name + ".png");
        options.clicks = std::move(clicks);
        return options;
    }
    // The editor after the clicks; no picture when rendering failed.
    static std::optional<Picture> render(const NivoloHost::RenderOptions& options) {
        const Outcome outcome = run(options);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        return readPng(options.out);
    }
    static inline ScratchDir* dir_ = nullptr;
    static inline std::string tone_;
};

TEST_F(MeasurePictures, MeasureWritesThePlotAndTheEditorAndSaysWhere) {
    NivoloHost::MeasureOptions options = optionsFor(tone_);
    options.plot = dir_->file("loudness.png");
    options.editor = dir_->file("editor.png");
    const Outcome run = measure(options);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Editor:            " + options.editor), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Loudness plot:     " + options.plot), std::string::npos) << run.out;
    std::optional<Picture> plot = readPng(options.plot), editor = readPng(options.editor);
    ASSERT_TRUE(plot && editor);
    EXPECT_EQ(plot->width, 960);
    EXPECT_EQ(plot->height, 480);
    EXPECT_EQ(editor->width, 306); // the skin's template
    EXPECT_EQ(editor->height, 273);

    options.editor.clear();
    options.plot = dir_->file("no-such-dir/loudness.png");
    EXPECT_TRUE(isOneLineFailure(measure(options)));
}

TEST_F(MeasurePictures, RenderClicksChangeOnlyWhatTheyConcern) {
    NivoloHost::RenderOptions lufs = options("lufs"), lu = options("lu", {"scaleModeLoudness"});
    lufs.at = lu.at = 4.0;
    EXPECT_EQ(run(lu).out, lu.out + ": the editor after 4.0 s of " + tone_ + "\n");
    std::optional<Picture> before = render(lufs), after = readPng(lu.out);
    ASSERT_TRUE(before && after);
    // The unit label under the short-term reading changes, the elapsed time
    // does not (both stopped after 4 s).
    EXPECT_GT(after->differing(*before, 250, 163, 290, 181), 0);
    EXPECT_EQ(after->differing(*before, 180, 197, 290, 219), 0);

    // The about page covers the integrated reading, the time and the meter.
    std::optional<Picture> plain = render(options("plain")), about = render(options("about", {"about"}));
    ASSERT_TRUE(plain && about);
    EXPECT_GT(about->differing(*plain, 166, 31, 276, 71), 1000);
    EXPECT_GT(about->differing(*plain, 21, 15, 40, 245), 1000);
}

TEST_F(MeasurePictures, RenderRefusesAnUnknownClickAndAMissingOutput) {
    EXPECT_TRUE(isOneLineFailure(run(options("x", {"noSuchControl"}))));
    NivoloHost::RenderOptions noOutput = options("x");
    noOutput.out.clear();
    EXPECT_TRUE(isOneLineFailure(run(noOutput)));
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
