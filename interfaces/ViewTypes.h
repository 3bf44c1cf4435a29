#pragma once
// Geometry and colour as the view framework passes them: integer pixels,
// colours as 0xAARRGGBB.

#include <cstdint>

namespace Zel {

struct ViewRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
};
static_assert(sizeof(ViewRect) == 16);

struct ViewPoint {
    int32_t x = 0;
    int32_t y = 0;
};
static_assert(sizeof(ViewPoint) == 8);

using ColourArgb = uint32_t;

} // namespace Zel
