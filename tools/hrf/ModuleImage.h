#pragma once
// Resources linked into a module, read from the module's file without loading it, as a
// host inspects a module it has not run. A Windows module (PE32+) carries them in its
// resource directory. A Linux module carries them in an ELF note (owner
// "ZelRsrc", type 1) that the loader maps with the module; its descriptor is the table
//   u32 count; per resource: u32 type offset, u32 name offset, u32 data offset,
//   u32 data size, u32 language; then the zero-terminated strings and the data,
// offsets counted from the table's start, all little-endian.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Hrf {

inline constexpr std::string_view kResourceNoteOwner{"ZelRsrc"};
inline constexpr uint32_t kResourceNoteType = 1;
inline constexpr std::string_view kResourceTypeRcData{"RCDATA"};
inline constexpr uint16_t kLanguageEnglishUS = 1033;
inline constexpr uint16_t kLanguageAny = 0;

// Finds resource `name` of `type` (both without regard to case) and `language`
// (kLanguageAny: the first of any language) in a 64-bit little-endian ELF or PE image.
// On success [offset, offset + length) lies inside the image.
bool findModuleResource(const uint8_t* image, size_t size, std::string_view name, std::string_view type,
                        uint16_t language, size_t& offset, size_t& length, std::string& error);

// The resource file name a host asks a module for: its base name with ".hrf"
// ("build/nivolo.so" -> "nivolo.hrf").
std::string resourceNameForModule(std::string_view modulePath);

} // namespace Hrf
