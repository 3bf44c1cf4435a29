#include "host/view/BmpDecoder.h"

namespace NivoloHost {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kInfoHeaderSize = 40;

uint16_t readU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t readU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
int32_t readI32(const uint8_t* p) { return static_cast<int32_t>(readU32(p)); }

bool fail(std::string& error, std::string message) {
    error = "BMP: " + std::move(message);
    return false;
}

} // namespace

bool BmpDecoder::isBmp(const uint8_t* data, size_t size) {
    return data && size >= 2 && data[0] == 'B' && data[1] == 'M';
}

bool BmpDecoder::decode(const uint8_t* data, size_t size, Image& out, std::string& error) {
    out = Image{};
    if (!isBmp(data, size)) return fail(error, "no \"BM\" signature");
    if (size < kFileHeaderSize + kInfoHeaderSize) return fail(error, "the headers are cut short");
    const uint32_t pixelOffset = readU32(data + 10);
    const uint32_t infoSize = readU32(data + 14);
    if (infoSize < kInfoHeaderSize) return fail(error, "an old-style header of " + std::to_string(infoSize) + " bytes");
    if (infoSize > size - kFileHeaderSize) return fail(error, "the info header runs past the end");
    const int32_t width = readI32(data + 18);
    const int32_t height = readI32(data + 22);
    const uint16_t planes = readU16(data + 26);
    const uint16_t bits = readU16(data + 28);
    const uint32_t compression = readU32(data + 30);
    if (bits != 24) return fail(error, std::to_string(bits) + " bits per pixel; only 24-bit pictures are read");
    if (compression != 0) return fail(error, "compression " + std::to_string(compression) + "; only uncompressed pictures are read");
    if (planes != 1) return fail(error, std::to_string(planes) + " planes");
    if (height < 0) return fail(error, "rows stored top-down; only bottom-up pictures are read");
    if (width <= 0 || height == 0) return fail(error, "an empty picture");
    if (width > kMaxSide || height > kMaxSide)
        return fail(error, std::to_string(width) + " x " + std::to_string(height) + " pixels is too large");
    if (pixelOffset < kFileHeaderSize + infoSize) return fail(error, "the pixels start inside the headers");

    const uint64_t rowBytes = static_cast<uint64_t>(width) * 3;
    const uint64_t stride = (rowBytes + 3) & ~uint64_t{3};
    // The last row's padding may be missing; its pixels may not.
    const uint64_t needed = static_cast<uint64_t>(pixelOffset) + stride * static_cast<uint64_t>(height - 1) + rowBytes;
    if (needed > size)
        return fail(error, "the pixels need " + std::to_string(needed) + " bytes, the file has " + std::to_string(size));

    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t row = 0; row < height; ++row) {
        // The first stored row is the bottom one.
        const uint8_t* src = data + pixelOffset + stride * static_cast<uint64_t>(height - 1 - row);
        uint32_t* dst = out.pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x, src += 3)
            dst[x] = 0xFF000000u | static_cast<uint32_t>(src[2]) << 16 | static_cast<uint32_t>(src[1]) << 8 | src[0];
    }
    return true;
}

} // namespace NivoloHost
