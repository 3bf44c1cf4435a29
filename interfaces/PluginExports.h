#pragma once
// The module's exported entry points, as the host finds them by name.
// Call order: InitDll after loading, GetPluginFactory (any number of times),
// ExitDll before unloading.

#include "IPluginFactory.h"

#if defined(_WIN32)
#define ZEL_EXPORT extern "C" __declspec(dllexport)
#else
#define ZEL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace Zel {

using InitDllProc = bool (*)();
using ExitDllProc = bool (*)();
// The factory comes with one reference for the caller.
using GetPluginFactoryProc = IPluginFactory* (*)();

inline constexpr const char* kInitDllName = "InitDll";
inline constexpr const char* kExitDllName = "ExitDll";
inline constexpr const char* kGetPluginFactoryName = "GetPluginFactory";

} // namespace Zel
