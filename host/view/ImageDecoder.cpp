#include "host/view/ImageDecoder.h"

#include <cstring>

#include "host/view/BmpDecoder.h"

namespace NivoloHost {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t position;
};

cairo_status_t readFromMemory(void* closure, unsigned char* out, unsigned int length) {
    auto* reader = static_cast<MemoryReader*>(closure);
    if (length > reader->size - reader->position) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, reader->data + reader->position, length);
    reader->position += length;
    return CAIRO_STATUS_SUCCESS;
}

cairo_surface_t* decodePng(const uint8_t* data, size_t size, std::string& error) {
    MemoryReader reader{data, size, 0};
    cairo_surface_t* png = cairo_image_surface_create_from_png_stream(readFromMemory, &reader);
    if (cairo_surface_status(png) != CAIRO_STATUS_SUCCESS) {
        error = std::string("PNG: ") + cairo_status_to_string(cairo_surface_status(png));
        cairo_surface_destroy(png);
        return nullptr;
    }
    if (cairo_image_surface_get_format(png) == CAIRO_FORMAT_ARGB32) return png;
    // Opaque and grey pictures come back in other formats; the renderer wants one.
    const int width = cairo_image_surface_get_width(png), height = cairo_image_surface_get_height(png);
    cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(argb);
    cairo_set_source_surface(cr, png, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(png);
    return argb;
}

cairo_surface_t* decodeBmp(const uint8_t* data, size_t size, std::string& error) {
    BmpDecoder::Image image;
    if (!BmpDecoder::decode(data, size, image, error)) return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        error = "BMP: no memory for the picture";
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int32_t row = 0; row < image.height; ++row)
        std::memcpy(pixels + static_cast<size_t>(row) * static_cast<size_t>(stride),
                    image.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(image.width),
                    static_cast<size_t>(image.width) * 4);
    cairo_surface_mark_dirty(surface);
    return surface;
}

} // namespace

cairo_surface_t* ImageDecoder::decode(const uint8_t* data, size_t size, std::string& error) {
    if (data && size >= sizeof kPngSignature && std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0)
        return decodePng(data, size, error);
    if (BmpDecoder::isBmp(data, size)) return decodeBmp(data, size, error);
    error = "neither a PNG nor a BMP picture";
    return nullptr;
}

} // namespace NivoloHost
