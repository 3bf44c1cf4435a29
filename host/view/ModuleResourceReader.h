#pragma once
// Finds a resource linked into a loaded module from the module's handle (its
// load base address), the way the host finds a module's skin.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace NivoloHost {

class ModuleResourceReader {
public:
    // The path of the module loaded at moduleHandle; empty with an error when
    // no module starts there.
    static std::string modulePath(void* moduleHandle, std::string& error);
    // Copies resource name of type type (both matched without regard to case,
    // any language) out of that module's file.
    static bool read(void* moduleHandle, std::string_view name, std::string_view type, std::vector<uint8_t>& out,
                     std::string& error);
};

} // namespace NivoloHost
