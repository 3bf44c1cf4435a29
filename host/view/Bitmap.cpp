#include "host/view/Bitmap.h"

#include <algorithm>
#include <cstring>

#include "interfaces/InterfaceQuery.h"

namespace NivoloHost {

using namespace Zel;

Bitmap::Bitmap(std::string name, cairo_surface_t* surface, uint8_t alpha)
    : name_(std::move(name)), surface_(surface), alpha_(alpha) {
    area_.right = cairo_image_surface_get_width(surface_);
    area_.bottom = cairo_image_surface_get_height(surface_);
}

Bitmap::Bitmap(std::string name, const Bitmap& parent, const ViewRect& area)
    : name_(std::move(name)), surface_(cairo_surface_reference(parent.surface_)), alpha_(parent.alpha_) {
    area_ = ViewRect{parent.area_.left + area.left, parent.area_.top + area.top, parent.area_.left + area.right,
                     parent.area_.top + area.bottom};
}

Bitmap::~Bitmap() { cairo_surface_destroy(surface_); }

tresult Bitmap::QueryInterface(const TUID& asked, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IBitmapSize>(asked, this, obj) || answerInterface<IBitmapRectService>(asked, this, obj) ||
        answerInterface<Bitmap>(asked, this, obj) || answerInterface<FUnknown>(asked, static_cast<IBitmapSize*>(this), obj))
        return kResultOk;
    *obj = nullptr;
    return kNoInterface;
}

tresult Bitmap::getSize(double* width, double* height) {
    if (!width || !height) return kInvalidArgument;
    *width = area_.width();
    *height = area_.height();
    return kResultOk;
}

tresult Bitmap::getName(char* buffer, int32_t size) {
    if (!buffer || size < 1) return kInvalidArgument;
    size_t n = std::min(name_.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, name_.data(), n);
    buffer[n] = 0;
    return kResultOk;
}

tresult Bitmap::getRect(ViewRect* rect) {
    if (!rect) return kInvalidArgument;
    *rect = ViewRect{0, 0, area_.width(), area_.height()};
    return kResultOk;
}

uint32_t Bitmap::pixel(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width() || y >= height()) return 0;
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    uint32_t value;
    std::memcpy(&value, data + static_cast<size_t>(area_.top + y) * static_cast<size_t>(stride) +
                            static_cast<size_t>(area_.left + x) * 4,
                sizeof value);
    return value;
}

} // namespace NivoloHost
