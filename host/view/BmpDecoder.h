#pragma once
// Reads the one BMP form a skin carries: uncompressed 24-bit pixels, rows
// stored bottom-up and padded to four bytes. Everything else is refused with a
// reason, and no length or offset in the file is trusted.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace NivoloHost {

class BmpDecoder {
public:
    // Larger pictures are refused rather than allocated.
    static constexpr int32_t kMaxSide = 16384;

    struct Image {
        int32_t width = 0;
        int32_t height = 0;
        // 0xFFRRGGBB per pixel, rows from the top.
        std::vector<uint32_t> pixels;
    };

    static bool isBmp(const uint8_t* data, size_t size);
    // On failure error is one line and out is left empty.
    static bool decode(const uint8_t* data, size_t size, Image& out, std::string& error);
};

} // namespace NivoloHost
