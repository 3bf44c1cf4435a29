#pragma once
// The drawing surface a view draws on, on top of cairo: colours 0xAARRGGBB,
// integer pixel coordinates relative to a frame (a view's rectangle), and
// nothing drawn outside that frame. Skins and module views draw through the
// same context.

#include <cairo.h>

#include <string>

#include "interfaces/IDrawContext.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class CairoDrawContext : public Zel::IDrawContext {
public:
    // drawStringAligned's align.
    enum Align : int32_t { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2 };
    // setFont's style bits.
    enum FontStyle : int32_t { kFontBold = 1, kFontItalic = 2 };

    static constexpr Zel::ColourArgb kDefaultColour = 0xFF000000u;
    static constexpr int32_t kDefaultFontSize = 12;

    // Draws on cr with (0, 0) at frame's top-left, clipped to frame. cr must
    // outlive the context, or close() must come first.
    CairoDrawContext(cairo_t* cr, const Zel::ViewRect& frame);
    virtual ~CairoDrawContext();
    CairoDrawContext(const CairoDrawContext&) = delete;
    CairoDrawContext& operator=(const CairoDrawContext&) = delete;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // The line colour's alpha is multiplied by opacity (0 to 1).
    Zel::tresult setLineColour(Zel::ColourArgb colour, int32_t width, double opacity) override;
    Zel::tresult setFillColour(Zel::ColourArgb colour) override;
    // size in pixels (the em size), multiplied by scale.
    Zel::tresult setFont(const char* face, int32_t size, int32_t style, double scale) override;
    int32_t fontHeight() override;
    Zel::tresult setTextColour(Zel::ColourArgb colour) override;
    // Horizontal and vertical lines cover whole pixels and leave out the end
    // point, as a pen moving to it does.
    Zel::tresult drawLine(Zel::ViewPoint from, Zel::ViewPoint to) override;
    Zel::tresult drawRect(const Zel::ViewRect* rect) override;
    Zel::tresult fillRect(const Zel::ViewRect* rect) override;
    Zel::tresult drawEllipse(const Zel::ViewRect* rect) override;
    int32_t stringWidth(const char* text) override;
    Zel::tresult drawString(const char* text, const Zel::ViewRect* rect) override;
    // Vertically centred; clipped to rect.
    Zel::tresult drawStringAligned(const char* text, const Zel::ViewRect* rect, int32_t align) override;
    // Maps source (in the bitmap's pixels) onto destination, scaling when the
    // sizes differ; parts of source outside the bitmap stay undrawn.
    Zel::tresult drawBitmapSection(Zel::FUnknown* bitmap, const Zel::ViewRect* source,
                                   const Zel::ViewRect* destination) override;

    // Ends drawing: later calls (from a view that kept the context) do nothing.
    void close();

private:
    void applyFont();
    void setSource(Zel::ColourArgb colour, double opacity);

    Zel::RefCount refCount_;
    cairo_t* cr_;
    Zel::ColourArgb lineColour_ = kDefaultColour;
    int32_t lineWidth_ = 1;
    double lineOpacity_ = 1.0;
    Zel::ColourArgb fillColour_ = kDefaultColour;
    Zel::ColourArgb textColour_ = kDefaultColour;
    std::string face_;
    double fontSize_ = kDefaultFontSize;
    int32_t fontStyle_ = 0;
};

} // namespace NivoloHost
