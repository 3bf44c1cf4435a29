// The pictures the host draws: the loudness plot, the editor at the end of a
// measurement, and `render` with clicks on named controls.

#include <cairo.h>

#include <cmath>
#include <cstring>

#include "MeasureTestSupport.h"
#include "host/LoudnessPlot.h"

namespace {

using namespace MeasureTesting;

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

std::optional<Picture> readPng(const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return std::nullopt;
    }
    Picture p;
    p.width = cairo_image_surface_get_width(s);
    p.height = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            uint32_t v;
            std::memcpy(&v, data + y * stride + x * 4, 4);
            p.pixels.push_back(v);
        }
    cairo_surface_destroy(s);
    return p;
}

int differingPixels(const Picture& a, const Picture& b, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += a.at(x, y) != b.at(x, y);
    return n;
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
    static NivoloHost::RenderOptions renderOptions(const std::string& out) {
        NivoloHost::RenderOptions options;
        options.measure = optionsFor(tone_);
        options.out = out;
        return options;
    }
    static Outcome render(const NivoloHost::RenderOptions& options) {
        std::ostringstream out, err;
        Outcome run;
        run.status = NivoloHost::runRender(options, out, err);
        run.out = out.str();
        run.err = err.str();
        return run;
    }
    static inline ScratchDir* dir_ = nullptr;
    static inline std::string tone_;
};

TEST_F(MeasurePictures, MeasureWritesThePlotAndTheEditorAndSaysWhere) {
    NivoloHost::MeasureOptions options = optionsFor(tone_);
    options.plot = dir_->file("loudness.png");
    options.editor = dir_->file("editor.png");
    Outcome run = measure(options);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Editor:            " + options.editor), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Loudness plot:     " + options.plot), std::string::npos) << run.out;
    std::optional<Picture> plot = readPng(options.plot), editor = readPng(options.editor);
    ASSERT_TRUE(plot && editor);
    EXPECT_EQ(plot->width, 960);
    EXPECT_EQ(plot->height, 480);
    EXPECT_EQ(editor->width, 306); // the skin's template
    EXPECT_EQ(editor->height, 273);
}

TEST_F(MeasurePictures, UnwritablePictureIsOneErrorLine) {
    NivoloHost::MeasureOptions options = optionsFor(tone_);
    options.plot = dir_->file("no-such-dir/loudness.png");
    EXPECT_TRUE(isOneLineFailure(measure(options)));
}

TEST_F(MeasurePictures, RenderClickOnTheUnitChangesOnlyWhatTheUnitShows) {
    NivoloHost::RenderOptions lufs = renderOptions(dir_->file("lufs.png"));
    lufs.at = 4.0;
    NivoloHost::RenderOptions lu = lufs;
    lu.out = dir_->file("lu.png");
    lu.clicks = {"scaleModeLoudness"};
    ASSERT_EQ(render(lufs).status, 0);
    Outcome run = render(lu);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, lu.out + ": the editor after 4.0 s of " + tone_ + "\n");
    std::optional<Picture> a = readPng(lufs.out), b = readPng(lu.out);
    ASSERT_TRUE(a && b);
    // The unit label under the short-term reading changes...
    EXPECT_GT(differingPixels(*a, *b, 250, 163, 290, 181), 0);
    // ...and the elapsed time does not (both stopped after 4 s).
    EXPECT_EQ(differingPixels(*a, *b, 180, 197, 290, 219), 0);
}

TEST_F(MeasurePictures, RenderAboutCoversTheReadings) {
    NivoloHost::RenderOptions plain = renderOptions(dir_->file("plain.png"));
    NivoloHost::RenderOptions about = renderOptions(dir_->file("about.png"));
    about.clicks = {"about"};
    ASSERT_EQ(render(plain).status, 0);
    ASSERT_EQ(render(about).status, 0);
    std::optional<Picture> a = readPng(plain.out), b = readPng(about.out);
    ASSERT_TRUE(a && b);
    // Integrated reading, time and meter all lie under the page.
    EXPECT_GT(differingPixels(*a, *b, 166, 31, 276, 71), 1000);
    EXPECT_GT(differingPixels(*a, *b, 21, 15, 40, 245), 1000);
}

TEST_F(MeasurePictures, RenderRefusesAnUnknownClickAndAMissingOutput) {
    NivoloHost::RenderOptions options = renderOptions(dir_->file("x.png"));
    options.clicks = {"noSuchControl"};
    EXPECT_TRUE(isOneLineFailure(render(options)));
    options.clicks.clear();
    options.out.clear();
    EXPECT_TRUE(isOneLineFailure(render(options)));
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
