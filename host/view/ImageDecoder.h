#pragma once
// Turns a skin entry's bytes into pixels: PNG through cairo, BMP through our
// own reader.

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace NivoloHost {

class ImageDecoder {
public:
    // A new ARGB32 image surface (the caller owns its reference), or null with
    // a one-line error.
    static cairo_surface_t* decode(const uint8_t* data, size_t size, std::string& error);
};

} // namespace NivoloHost
