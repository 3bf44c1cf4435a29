#pragma once
// Result codes returned by every interface operation. "False" is an ordinary
// answer (refused, nothing to do), not an error.

#include <cstdint>

namespace Zel {

using tresult = int32_t;

inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultTrue = kResultOk;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);
inline constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u);
inline constexpr tresult kResultFailed = static_cast<tresult>(0x80004005u);
inline constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u);

} // namespace Zel
