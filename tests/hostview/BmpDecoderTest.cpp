// The framework's BMP reader: 24-bit bottom-up pictures with padded rows, and
// a refusal with a reason for everything else, whatever the bytes.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "host/view/BmpDecoder.h"
#include "host/view/ImageDecoder.h"
#include "tests/hostview/HostViewTestSupport.h"

namespace {

using NivoloHost::BmpDecoder;

void putU16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void putU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    putU16(b, at, v & 0xFFFF);
    putU16(b, at + 2, v >> 16);
}

// The colour this test paints at (x, y), y counted from the top.
uint32_t colourAt(int x, int y) {
    return 0xFF000000u | static_cast<uint32_t>(x * 40 + 1) << 16 | static_cast<uint32_t>(y * 50 + 2) << 8 |
           static_cast<uint32_t>(x + y + 3);
}

// A BMP file as a writer lays it out: headers, then rows from the bottom, each
// B, G, R per pixel and padded to four bytes.
std::vector<uint8_t> makeBmp(int width, int height) {
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> b(54 + stride * static_cast<size_t>(height), 0);
    b[0] = 'B';
    b[1] = 'M';
    putU32(b, 2, static_cast<uint32_t>(b.size()));
    putU32(b, 10, 54);
    putU32(b, 14, 40);
    putU32(b, 18, static_cast<uint32_t>(width));
    putU32(b, 22, static_cast<uint32_t>(height));
    putU16(b, 26, 1);
    putU16(b, 28, 24);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = b.data() + 54 + stride * static_cast<size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const uint32_t c = colourAt(x, y);
            row[x * 3] = static_cast<uint8_t>(c);
            row[x * 3 + 1] = static_cast<uint8_t>(c >> 8);
            row[x * 3 + 2] = static_cast<uint8_t>(c >> 16);
        }
        for (size_t pad = static_cast<size_t>(width) * 3; pad < stride; ++pad) row[pad] = 0xEE; // must not show
    }
    return b;
}

TEST(BmpDecoder, ReadsBottomUpRowsWithPaddingIntoTopDownPixels) {
    for (int width : {1, 2, 3, 4, 5}) {
        const int height = 3;
        std::vector<uint8_t> file = makeBmp(width, height);
        BmpDecoder::Image image;
        std::string error;
        ASSERT_TRUE(BmpDecoder::decode(file.data(), file.size(), image, error)) << error;
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(image.pixels[static_cast<size_t>(y * width + x)], colourAt(x, y))
                    << "width " << width << " at " << x << "," << y;
    }
}

TEST(BmpDecoder, RefusesOtherFormsWithTheirReason) {
    struct Case {
        const char* what;
        void (*change)(std::vector<uint8_t>&);
        const char* reason;
    };
    const Case cases[] = {
        {"32-bit", [](std::vector<uint8_t>& b) { putU16(b, 28, 32); }, "32 bits per pixel"},
        {"8-bit", [](std::vector<uint8_t>& b) { putU16(b, 28, 8); }, "8 bits per pixel"},
        {"run-length", [](std::vector<uint8_t>& b) { putU32(b, 30, 1); }, "compression 1"},
        {"top-down", [](std::vector<uint8_t>& b) { putU32(b, 22, static_cast<uint32_t>(-2)); }, "top-down"},
        {"no signature", [](std::vector<uint8_t>& b) { b[1] = 'X'; }, "signature"},
        {"old header", [](std::vector<uint8_t>& b) { putU32(b, 14, 12); }, "old-style header"},
        {"pixels inside headers", [](std::vector<uint8_t>& b) { putU32(b, 10, 20); }, "inside the headers"},
        {"huge", [](std::vector<uint8_t>& b) { putU32(b, 18, 1u << 30); }, "too large"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = makeBmp(4, 2);
        c.change(file);
        BmpDecoder::Image image;
        std::string error;
        EXPECT_FALSE(BmpDecoder::decode(file.data(), file.size(), image, error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    }
}

// Every cut is refused with a reason, except one inside the last row's
// padding, which writers are known to leave out.
TEST(BmpDecoder, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
    const std::vector<uint8_t> file = makeBmp(3, 4);
    const size_t lastRowPad = 3; // 9 bytes of pixels padded to 12
    for (size_t length = 0; length < file.size(); ++length) {
        // A copy of exactly that length, so that a read past it is a fault the
        // sanitisers and the heap checker see.
        std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        BmpDecoder::Image image;
        std::string error;
        const bool ok = BmpDecoder::decode(cut.data(), cut.size(), image, error);
        EXPECT_EQ(ok, length >= file.size() - lastRowPad) << "length " << length;
        if (!ok) {
            EXPECT_FALSE(error.empty()) << "length " << length;
            EXPECT_TRUE(image.pixels.empty()) << "length " << length;
        }
    }
}

TEST(ImageDecoder, TurnsBothSkinFormatsIntoPixelsAndNamesAnythingElse) {
    std::vector<uint8_t> bmp = makeBmp(3, 2);
    std::string error;
    cairo_surface_t* surface = NivoloHost::ImageDecoder::decode(bmp.data(), bmp.size(), error);
    ASSERT_NE(surface, nullptr) << error;
    EXPECT_EQ(HostViewTest::pixelAt(surface, 2, 1), colourAt(2, 1));
    cairo_surface_destroy(surface);

    std::vector<uint8_t> png = HostViewTest::skinEntry("LU.png");
    surface = NivoloHost::ImageDecoder::decode(png.data(), png.size(), error);
    ASSERT_NE(surface, nullptr) << error;
    EXPECT_EQ(cairo_image_surface_get_width(surface), 18);
    EXPECT_EQ(cairo_image_surface_get_height(surface), 12);
    cairo_surface_destroy(surface);

    png.resize(png.size() / 2);
    EXPECT_EQ(NivoloHost::ImageDecoder::decode(png.data(), png.size(), error), nullptr);
    EXPECT_NE(error.find("PNG"), std::string::npos) << error;
    const uint8_t gif[] = {'G', 'I', 'F', '8', '9', 'a'};
    EXPECT_EQ(NivoloHost::ImageDecoder::decode(gif, sizeof gif, error), nullptr);
    EXPECT_NE(error.find("neither"), std::string::npos) << error;
}

} // namespace
