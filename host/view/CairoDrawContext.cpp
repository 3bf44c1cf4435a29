#include "host/view/CairoDrawContext.h"

#include <algorithm>
#include <cmath>

#include "host/view/Bitmap.h"
#include "host/view/FontFaces.h"
#include "interfaces/IPtr.h"
#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

CairoDrawContext::CairoDrawContext(cairo_t* cr, const ViewRect& frame)
    : cr_(cr), face_(FontFaces::resolve({})) {
    cairo_save(cr_);
    cairo_rectangle(cr_, frame.left, frame.top, frame.width(), frame.height());
    cairo_clip(cr_);
    cairo_translate(cr_, frame.left, frame.top);
    // Grey antialiasing: text keeps its colour, with no coloured fringes.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_set_font_options(cr_, options);
    cairo_font_options_destroy(options);
}

CairoDrawContext::~CairoDrawContext() { close(); }

void CairoDrawContext::close() {
    if (cr_) cairo_restore(cr_);
    cr_ = nullptr;
}

tresult CairoDrawContext::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IDrawContext>(asked, this, obj) || answerInterface<FUnknown>(asked, this, obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

void CairoDrawContext::setSource(ColourArgb colour, double opacity) {
    cairo_set_source_rgba(cr_, ((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0, (colour & 0xFF) / 255.0,
                          ((colour >> 24) & 0xFF) / 255.0 * std::clamp(opacity, 0.0, 1.0));
}

tresult CairoDrawContext::setLineColour(ColourArgb colour, int32_t width, double opacity) {
    lineColour_ = colour;
    lineWidth_ = std::max(width, 1);
    lineOpacity_ = std::isnan(opacity) ? 1.0 : opacity;
    return kResultOk;
}

tresult CairoDrawContext::setFillColour(ColourArgb colour) {
    fillColour_ = colour;
    return kResultOk;
}

tresult CairoDrawContext::setTextColour(ColourArgb colour) {
    textColour_ = colour;
    return kResultOk;
}

tresult CairoDrawContext::setFont(const char* face, int32_t size, int32_t style, double scale) {
    if (size <= 0 || !(scale > 0)) return kInvalidArgument;
    face_ = FontFaces::resolve(face ? face : "");
    fontSize_ = size * scale;
    fontStyle_ = style;
    return kResultOk;
}

void CairoDrawContext::applyFont() {
    cairo_select_font_face(cr_, face_.c_str(), (fontStyle_ & kFontItalic) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           (fontStyle_ & kFontBold) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr_, fontSize_);
}

int32_t CairoDrawContext::fontHeight() {
    if (!cr_) return 0;
    applyFont();
    cairo_font_extents_t extents;
    cairo_font_extents(cr_, &extents);
    return static_cast<int32_t>(std::ceil(extents.ascent + extents.descent));
}

int32_t CairoDrawContext::stringWidth(const char* text) {
    if (!cr_ || !text) return 0;
    applyFont();
    cairo_text_extents_t extents;
    cairo_text_extents(cr_, text, &extents);
    return static_cast<int32_t>(std::lround(extents.x_advance));
}

tresult CairoDrawContext::drawLine(ViewPoint from, ViewPoint to) {
    if (!cr_) return kResultFalse;
    setSource(lineColour_, lineOpacity_);
    const double w = lineWidth_;
    if (from.y == to.y || from.x == to.x) {
        // Whole pixels from the start up to (not including) the end point.
        const double x0 = std::min(from.x, to.x), x1 = std::max(from.x, to.x);
        const double y0 = std::min(from.y, to.y), y1 = std::max(from.y, to.y);
        if (from.y == to.y)
            cairo_rectangle(cr_, x0, y0 - std::floor((w - 1) / 2), x1 - x0, w);
        else
            cairo_rectangle(cr_, x0 - std::floor((w - 1) / 2), y0, w, y1 - y0);
        cairo_fill(cr_);
        return kResultOk;
    }
    cairo_set_line_width(cr_, w);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
    cairo_move_to(cr_, from.x + 0.5, from.y + 0.5);
    cairo_line_to(cr_, to.x + 0.5, to.y + 0.5);
    cairo_stroke(cr_);
    return kResultOk;
}

tresult CairoDrawContext::drawRect(const ViewRect* rect) {
    if (!rect) return kInvalidArgument;
    if (!cr_) return kResultFalse;
    const double w = lineWidth_;
    if (rect->width() < w || rect->height() < w) return fillRect(rect);
    setSource(lineColour_, lineOpacity_);
    cairo_set_line_width(cr_, w);
    cairo_rectangle(cr_, rect->left + w / 2, rect->top + w / 2, rect->width() - w, rect->height() - w);
    cairo_stroke(cr_);
    return kResultOk;
}

tresult CairoDrawContext::fillRect(const ViewRect* rect) {
    if (!rect) return kInvalidArgument;
    if (!cr_) return kResultFalse;
    setSource(fillColour_, 1.0);
    cairo_rectangle(cr_, rect->left, rect->top, rect->width(), rect->height());
    cairo_fill(cr_);
    return kResultOk;
}

tresult CairoDrawContext::drawEllipse(const ViewRect* rect) {
    if (!rect) return kInvalidArgument;
    if (!cr_) return kResultFalse;
    const double w = lineWidth_;
    const double rx = (rect->width() - w) / 2, ry = (rect->height() - w) / 2;
    if (rx <= 0 || ry <= 0) return kResultOk;
    setSource(lineColour_, lineOpacity_);
    cairo_save(cr_);
    cairo_translate(cr_, rect->left + rect->width() / 2.0, rect->top + rect->height() / 2.0);
    cairo_scale(cr_, rx, ry);
    cairo_arc(cr_, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr_); // the stroke keeps the pen round
    cairo_set_line_width(cr_, w);
    cairo_stroke(cr_);
    return kResultOk;
}

tresult CairoDrawContext::drawString(const char* text, const ViewRect* rect) {
    return drawStringAligned(text, rect, kAlignCenter);
}

tresult CairoDrawContext::drawStringAligned(const char* text, const ViewRect* rect, int32_t align) {
    if (!text || !rect) return kInvalidArgument;
    if (!cr_) return kResultFalse;
    if (!*text) return kResultOk;
    applyFont();
    cairo_font_extents_t font;
    cairo_text_extents_t extents;
    cairo_font_extents(cr_, &font);
    cairo_text_extents(cr_, text, &extents);
    double x = rect->left;
    if (align == kAlignCenter) x += (rect->width() - extents.x_advance) / 2;
    if (align == kAlignRight) x = rect->right - extents.x_advance;
    const double baseline = rect->top + (rect->height() - (font.ascent + font.descent)) / 2 + font.ascent;
    cairo_save(cr_);
    cairo_rectangle(cr_, rect->left, rect->top, rect->width(), rect->height());
    cairo_clip(cr_);
    setSource(textColour_, 1.0);
    cairo_move_to(cr_, std::round(x), std::round(baseline));
    cairo_show_text(cr_, text);
    cairo_restore(cr_);
    return kResultOk;
}

tresult CairoDrawContext::drawBitmapSection(FUnknown* bitmap, const ViewRect* source, const ViewRect* destination) {
    if (!source || !destination) return kInvalidArgument;
    IPtr<Bitmap> picture = queryInterface<Bitmap>(bitmap);
    if (!picture) return kInvalidArgument;
    if (!cr_) return kResultFalse;
    if (source->width() <= 0 || source->height() <= 0 || destination->width() <= 0 || destination->height() <= 0)
        return kResultOk;
    const double sx = static_cast<double>(destination->width()) / source->width();
    const double sy = static_cast<double>(destination->height()) / source->height();
    cairo_save(cr_);
    cairo_translate(cr_, destination->left, destination->top);
    cairo_scale(cr_, sx, sy);
    // From here one unit is one source pixel, with source's corner at the origin:
    // clip to the source rectangle and to the bitmap itself (a section's
    // neighbours in the shared surface must not show).
    cairo_rectangle(cr_, 0, 0, source->width(), source->height());
    cairo_clip(cr_);
    cairo_rectangle(cr_, -source->left, -source->top, picture->width(), picture->height());
    cairo_clip(cr_);
    const ViewRect& area = picture->area();
    cairo_set_source_surface(cr_, picture->surface(), -(area.left + source->left), -(area.top + source->top));
    if (sx != 1.0 || sy != 1.0) cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
    cairo_paint_with_alpha(cr_, picture->alpha() / 255.0);
    cairo_restore(cr_);
    return kResultOk;
}

} // namespace NivoloHost
