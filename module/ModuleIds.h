#pragma once
// What identifies this module and its two classes to a host.

#include "interfaces/Tuid.h"

namespace Zel {

inline constexpr TUID kProcessorClassId = tuidFromRegistry("{42613CDE-3556-4653-B0D4-0AD6BDC2AA79}");
inline constexpr TUID kControllerClassId = tuidFromRegistry("{6D826A83-82B4-4A8D-B374-804FBE779C68}");

// Forms the skin's resource name.
inline constexpr const char* kModuleName = "nivolo";

inline constexpr const char* kVendorName = "Halvernik";
inline constexpr const char* kVendorUrl = "https://www.halvernik.example";
inline constexpr const char* kVendorEmail = "mailto:support@halvernik.example";
inline constexpr const char* kModuleVersion = "1.0.0.181";
inline constexpr const char* kSdkVersion = "ZEL 3.5.2";

inline constexpr const char* kProcessorCategory = "Audio Module Class";
inline constexpr const char* kControllerCategory = "Component Controller Class";
inline constexpr const char* kProcessorName = "Nivolo";
inline constexpr const char* kControllerName = "Nivolo Controller";
inline constexpr const char* kProcessorSubCategories = "Fx|Analyzer";

} // namespace Zel
