#pragma once
// Shared by the resource suites: files, and the built module's resource as a host in
// this process finds it.

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

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
// what the module's own moduleHandle() reports: the start of its mapping (on
// Windows the instance handle, which is the same).
#if defined(_WIN32)
inline Zel::Platform::ModuleHandle moduleHandle() {
    static Zel::Platform::ModuleHandle handle =
        reinterpret_cast<Zel::Platform::ModuleHandle>(LoadLibraryA(NIVOLO_MODULE_PATH));
    return handle;
}

inline std::string loaderError() { return "error " + std::to_string(GetLastError()); }
#else
inline std::string loaderError() {
    const char* text = dlerror();
    return text ? text : "";
}

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
#endif

// The module's "NIVOLO.HRF" through the platform lookup; empty when not found.
inline std::vector<uint8_t> moduleResource() {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!Zel::Platform::findResource(moduleHandle(), "NIVOLO.HRF", Zel::Platform::kResourceTypeRcData,
                                     Zel::Platform::kLanguageEnglishUS, &data, &size))
        return {};
    return std::vector<uint8_t>(data, data + size);
}

inline uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}
inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[1] << 8 | p[0]); }

} // namespace ResourceTest
