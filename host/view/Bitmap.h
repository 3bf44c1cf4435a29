#pragma once
// A skin bitmap as the framework hands it out: decoded pixels in a cairo image
// surface, or a section (a rectangle) of another bitmap sharing its pixels,
// with the skin's global alpha.

#include <cairo.h>

#include <string>

#include "interfaces/IBitmapSize.h"
#include "interfaces/IPtr.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class Bitmap : public Zel::IBitmapSize, public Zel::IBitmapRectService {
public:
    // Answered only by our bitmaps, so that the drawing context can reach the
    // pixels behind an FUnknown a view hands it.
    static constexpr Zel::TUID iid = Zel::tuidFromRegistry("{9D3F60B2-48E1-4A7C-B5D2-0E6C81F4A397}");

    // Takes over the caller's reference to surface (an ARGB32 image surface).
    Bitmap(std::string name, cairo_surface_t* surface, uint8_t alpha = 255);
    // The part area of parent (in parent's coordinates; must lie inside it).
    Bitmap(std::string name, const Bitmap& parent, const Zel::ViewRect& area);
    virtual ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // IBitmapSize
    Zel::tresult getSize(double* width, double* height) override;
    // IBitmapRectService
    Zel::tresult getName(char* buffer, int32_t size) override;
    Zel::tresult isLoaded() override { return Zel::kResultTrue; }
    // (0, 0, width, height).
    Zel::tresult getRect(Zel::ViewRect* rect) override;

    const std::string& name() const { return name_; }
    int32_t width() const { return area_.width(); }
    int32_t height() const { return area_.height(); }
    // The bitmap's place in its surface.
    const Zel::ViewRect& area() const { return area_; }
    cairo_surface_t* surface() const { return surface_; }
    uint8_t alpha() const { return alpha_; }
    // Premultiplied 0xAARRGGBB at (x, y) of the bitmap; 0 outside it.
    uint32_t pixel(int32_t x, int32_t y) const;

private:
    Zel::RefCount refCount_;
    std::string name_;
    cairo_surface_t* surface_;
    Zel::ViewRect area_;
    uint8_t alpha_;
};

} // namespace NivoloHost
