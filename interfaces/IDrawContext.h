#pragma once
// The host's drawing surface, handed to a view's draw call.

#include "FUnknown.h"
#include "ViewTypes.h"

namespace Zel {

class IDrawContext : public FUnknown {
public:
    static constexpr const TUID& iid = IDrawContext_iid;

    // All operations: [ui thread], only during the draw call.
    virtual tresult setLineColour(ColourArgb colour, int32_t width, double opacity) = 0;     // 4
    virtual tresult setFillColour(ColourArgb colour) = 0;                                   // 5
    virtual tresult setFont(const char* face, int32_t size, int32_t style, double scale) = 0; // 6
    virtual int32_t fontHeight() = 0;                                                       // 7
    virtual tresult setTextColour(ColourArgb colour) = 0;                                   // 8
    virtual tresult drawLine(ViewPoint from, ViewPoint to) = 0;                             // 9
    virtual tresult drawRect(const ViewRect* rect) = 0;                                     // 10
    virtual tresult fillRect(const ViewRect* rect) = 0;                                     // 11
    virtual tresult drawEllipse(const ViewRect* rect) = 0;                                  // 12
    virtual int32_t stringWidth(const char* text) = 0;                                      // 13
    // Centred in rect.
    virtual tresult drawString(const char* text, const ViewRect* rect) = 0;                 // 14
    virtual tresult drawStringAligned(const char* text, const ViewRect* rect, int32_t align) = 0; // 15
    // bitmap: a host bitmap (from the skin or a meter service); source in its pixels.
    virtual tresult drawBitmapSection(FUnknown* bitmap, const ViewRect* source,
                                      const ViewRect* destination) = 0;                     // 16

protected:
    ~IDrawContext() = default;
};

} // namespace Zel
