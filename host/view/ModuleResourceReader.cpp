#include "host/view/ModuleResourceReader.h"

#include <dlfcn.h>

#include "tools/hrf/HrfFile.h"
#include "tools/hrf/ModuleImage.h"

namespace NivoloHost {

std::string ModuleResourceReader::modulePath(void* moduleHandle, std::string& error) {
    Dl_info info{};
    // The handle is the address the module's image starts at, so the loader
    // must name a module whose base is exactly there.
    if (!moduleHandle || dladdr(moduleHandle, &info) == 0 || info.dli_fbase != moduleHandle || !info.dli_fname ||
        !*info.dli_fname) {
        error = "no module is loaded at handle " + std::to_string(reinterpret_cast<uintptr_t>(moduleHandle));
        return {};
    }
    return info.dli_fname;
}

bool ModuleResourceReader::read(void* moduleHandle, std::string_view name, std::string_view type,
                                std::vector<uint8_t>& out, std::string& error) {
    std::string path = modulePath(moduleHandle, error);
    if (path.empty()) return false;
    std::vector<uint8_t> image;
    std::string reason;
    if (!Hrf::loadFile(path, image, reason)) {
        error = "module " + path + ": " + reason;
        return false;
    }
    size_t offset = 0, length = 0;
    if (!Hrf::findModuleResource(image.data(), image.size(), name, type, Hrf::kLanguageAny, offset, length, reason)) {
        error = "module " + path + ": " + reason;
        return false;
    }
    out.assign(image.begin() + static_cast<std::ptrdiff_t>(offset),
               image.begin() + static_cast<std::ptrdiff_t>(offset + length));
    return true;
}

} // namespace NivoloHost
