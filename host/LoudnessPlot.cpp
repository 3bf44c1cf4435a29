#include "host/LoudnessPlot.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace NivoloHost {

namespace {

constexpr int kWidth = 960, kHeight = 480;
constexpr double kLeft = 64, kRight = 24, kTop = 40, kBottom = 48;
constexpr double kTargetLufs = -23.0;

struct Axes {
    double t0, t1, y0, y1; // data ranges
    double x(double t) const { return kLeft + (t - t0) / (t1 - t0) * (kWidth - kLeft - kRight); }
    double y(double v) const { return kHeight - kBottom - (v - y0) / (y1 - y0) * (kHeight - kTop - kBottom); }
};

void setColour(cairo_t* cr, unsigned rgb, double alpha = 1.0) {
    cairo_set_source_rgba(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0, alpha);
}

void text(cairo_t* cr, double x, double y, const char* s, double alignX) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, s, &e);
    cairo_move_to(cr, x - alignX * e.x_advance, y);
    cairo_show_text(cr, s);
}

// A polyline that breaks where a value is missing and clips to the axes.
void series(cairo_t* cr, const Axes& a, const std::vector<double>& t, const std::vector<double>& v) {
    bool pen = false;
    for (size_t i = 0; i < t.size() && i < v.size(); ++i) {
        if (!std::isfinite(v[i])) {
            pen = false;
            continue;
        }
        const double y = a.y(std::clamp(v[i], a.y0, a.y1));
        if (pen) cairo_line_to(cr, a.x(t[i]), y);
        else cairo_move_to(cr, a.x(t[i]), y);
        pen = true;
    }
    cairo_stroke(cr);
}

} // namespace

double rangeLowEdge(const LoudnessSeries& s) {
    const double offset = s.lu ? 23.0 : 0.0;
    std::vector<double> passed;
    for (double v : s.shortTerm)
        if (std::isfinite(v) && v - offset > -70.0) passed.push_back(v);
    if (passed.empty()) return NAN;
    // The relative gate works on the mean of the powers, as the meter's does.
    double power = 0;
    for (double v : passed) power += std::pow(10.0, (v - offset) / 10.0);
    const double gate = 10.0 * std::log10(power / static_cast<double>(passed.size())) - 20.0 + offset;
    std::vector<double> gated;
    for (double v : passed)
        if (v > gate) gated.push_back(v);
    if (gated.empty()) return NAN;
    std::sort(gated.begin(), gated.end());
    return gated[static_cast<size_t>(std::lround(0.10 * static_cast<double>(gated.size() - 1)))];
}

bool writeLoudnessPlot(const LoudnessSeries& s, const std::string& path, std::string& error) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    const double offset = s.lu ? 23.0 : 0.0;
    const char* unit = s.lu ? "LU" : "LUFS";
    Axes a{0.0, s.seconds.empty() ? 1.0 : std::max(s.seconds.back(), 1.0), -60.0 + offset, 0.0 + offset};

    setColour(cr, 0x15191E);
    cairo_paint(cr);
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);

    // Grid: every 6 dB, and about ten steps of round seconds across.
    cairo_set_line_width(cr, 1);
    for (double v = a.y0; v <= a.y1 + 1e-9; v += 6.0) {
        setColour(cr, 0x2C333B);
        cairo_move_to(cr, kLeft, std::round(a.y(v)) + 0.5);
        cairo_line_to(cr, kWidth - kRight, std::round(a.y(v)) + 0.5);
        cairo_stroke(cr);
        char label[16];
        std::snprintf(label, sizeof label, "%.0f", v);
        setColour(cr, 0xA8B0B8);
        text(cr, kLeft - 8, a.y(v) + 4, label, 1.0);
    }
    const double span = a.t1 - a.t0;
    double tick = 1.0;
    for (double candidate : {1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 900.0, 1800.0, 3600.0})
        if (span / candidate <= 12) { tick = candidate; break; }
    for (double t = 0; t <= a.t1 + 1e-9; t += tick) {
        setColour(cr, 0x2C333B);
        cairo_move_to(cr, std::round(a.x(t)) + 0.5, kTop);
        cairo_line_to(cr, std::round(a.x(t)) + 0.5, kHeight - kBottom);
        cairo_stroke(cr);
        char label[24];
        const int whole = static_cast<int>(t);
        std::snprintf(label, sizeof label, "%d:%02d", whole / 60, whole % 60);
        setColour(cr, 0xA8B0B8);
        text(cr, a.x(t), kHeight - kBottom + 18, label, 0.5);
    }

    // The range band, then the target, then the three curves (integrated on top).
    const double low = rangeLowEdge(s);
    if (std::isfinite(low) && s.loudnessRange > 0) {
        const double top = std::min(low + s.loudnessRange, a.y1), bottom = std::max(low, a.y0);
        setColour(cr, 0x3D7BD9, 0.22);
        cairo_rectangle(cr, kLeft, a.y(top), kWidth - kLeft - kRight, a.y(bottom) - a.y(top));
        cairo_fill(cr);
    }
    setColour(cr, 0xE8C547);
    const double dash[] = {6.0, 4.0};
    cairo_set_dash(cr, dash, 2, 0);
    cairo_move_to(cr, kLeft, a.y(kTargetLufs + offset));
    cairo_line_to(cr, kWidth - kRight, a.y(kTargetLufs + offset));
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);

    cairo_save(cr);
    cairo_rectangle(cr, kLeft, kTop, kWidth - kLeft - kRight, kHeight - kTop - kBottom);
    cairo_clip(cr);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    setColour(cr, 0x7FD1B9, 0.55);
    cairo_set_line_width(cr, 1.0);
    series(cr, a, s.seconds, s.momentary);
    setColour(cr, 0x06FBC5);
    cairo_set_line_width(cr, 2.0);
    series(cr, a, s.seconds, s.shortTerm);
    setColour(cr, 0xFF5A36);
    cairo_set_line_width(cr, 2.5);
    series(cr, a, s.seconds, s.integrated);
    cairo_restore(cr);

    // Frame, title, legend.
    setColour(cr, 0x6B737C);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, kLeft + 0.5, kTop + 0.5, kWidth - kLeft - kRight - 1, kHeight - kTop - kBottom - 1);
    cairo_stroke(cr);
    setColour(cr, 0xE6EAEE);
    cairo_set_font_size(cr, 14);
    text(cr, kLeft, 24, s.title.c_str(), 0.0);
    cairo_set_font_size(cr, 12);
    char yLabel[16];
    std::snprintf(yLabel, sizeof yLabel, "%s", unit);
    text(cr, 14, kTop - 8, yLabel, 0.0);
    struct Key { unsigned colour; double alpha; const char* name; };
    char rangeName[40], targetName[40];
    std::snprintf(rangeName, sizeof rangeName, "Loudness range %.1f LU", s.loudnessRange);
    std::snprintf(targetName, sizeof targetName, "Target %.0f %s", kTargetLufs + offset, unit);
    const Key keys[] = {{0x7FD1B9, 0.55, "Momentary"}, {0x06FBC5, 1.0, "Short-term"}, {0xFF5A36, 1.0, "Integrated"},
                        {0x3D7BD9, 0.5, rangeName}, {0xE8C547, 1.0, targetName}};
    double x = kWidth - kRight;
    for (int i = 4; i >= 0; --i) {
        cairo_text_extents_t e;
        cairo_text_extents(cr, keys[i].name, &e);
        x -= e.x_advance;
        setColour(cr, 0xE6EAEE);
        text(cr, x, 24, keys[i].name, 0.0);
        setColour(cr, keys[i].colour, keys[i].alpha);
        cairo_rectangle(cr, x - 18, 16, 12, 8);
        cairo_fill(cr);
        x -= 34;
    }

    cairo_destroy(cr);
    const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = "cannot write the plot '" + path + "': " + cairo_status_to_string(status);
        return false;
    }
    return true;
}

} // namespace NivoloHost
