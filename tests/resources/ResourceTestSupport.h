#pragma once
// Shared by the resource suites: files, the built module's resource as a host in this
// process finds it, and bitmap headers.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/platform/Platform.h"
#include "tools/hrf/HrfFile.h"

namespace ResourceTest {

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(Hrf::loadFile(path, bytes, error)) << error;
    return bytes;
}

// The built module, loaded once for the process as a host loads it. Its handle is
// what the module's own moduleHandle() reports: the start of its mapping.
inline Zel::Platform::ModuleHandle moduleHandle() {
    static Zel::Platform::ModuleHandle handle = [] {
        void* library = dlopen(NIVOLO_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!library) return Zel::Platform::ModuleHandle{};
        Dl_info info{};
        void* entry = dlsym(library, "GetPluginFactory");
        if (!entry || dladdr(entry, &info) == 0) return Zel::Platform::ModuleHandle{};
        return static_cast<Zel::Platform::ModuleHandle>(info.dli_fbase);
    }();
    return handle;
}

// The module's "NIVOLO.HRF" through the platform lookup; empty when not found.
inline std::vector<uint8_t> moduleResource() {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!Zel::Platform::findResource(moduleHandle(), "NIVOLO.HRF", Zel::Platform::kResourceTypeRcData,
                                     Zel::Platform::kLanguageEnglishUS, &data, &size))
        return {};
    return std::vector<uint8_t>(data, data + size);
}

inline uint32_t be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}
inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[1] << 8 | p[0]); }

struct ImageInfo {
    std::string format; // "PNG RGBA" or "BMP 24"
    uint32_t width = 0;
    uint32_t height = 0;
};

// Reads a PNG's IHDR (8-bit RGBA only) or an uncompressed 24-bit BMP's headers.
inline bool imageInfo(const std::vector<uint8_t>& b, ImageInfo& out, std::string& why) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (b.size() >= 33 && std::memcmp(b.data(), kPng, 8) == 0) {
        if (be32(&b[8]) != 13 || std::memcmp(&b[12], "IHDR", 4) != 0) return why = "PNG without IHDR first", false;
        if (b[24] != 8 || b[25] != 6) return why = "PNG not 8-bit RGBA", false;
        out = {"PNG RGBA", be32(&b[16]), be32(&b[20])};
        return true;
    }
    if (b.size() >= 54 && b[0] == 'B' && b[1] == 'M') {
        const uint32_t fileSize = le32(&b[2]), pixels = le32(&b[10]);
        const int32_t width = static_cast<int32_t>(le32(&b[18])), height = static_cast<int32_t>(le32(&b[22]));
        if (fileSize != b.size() || le32(&b[14]) != 40 || le16(&b[26]) != 1) return why = "BMP headers inconsistent", false;
        if (le16(&b[28]) != 24 || le32(&b[30]) != 0) return why = "BMP not uncompressed 24-bit", false;
        if (width <= 0 || height == 0) return why = "BMP without pixels", false;
        const uint64_t rows = static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
        const uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
        if (pixels > b.size() || stride * rows > b.size() - pixels) return why = "BMP pixels run past the file", false;
        out = {"BMP 24", static_cast<uint32_t>(width), static_cast<uint32_t>(rows)};
        return true;
    }
    why = "neither PNG nor BMP";
    return false;
}

} // namespace ResourceTest
