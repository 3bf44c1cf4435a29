#pragma once
// The host's own meter scale. Optional: a host may not offer it.

#include "FUnknown.h"

namespace Zel {

class ILevelMapping : public FUnknown {
public:
    static constexpr const TUID& iid = ILevelMapping_iid;

    // [ui thread]
    virtual int32_t scaleCount() = 0; // 4
    virtual tresult scaleName(int32_t meterType, char* buffer, int32_t size) = 0; // 5
    // Maps a linear amplitude to a display position in [0, 1] for meterType.
    virtual tresult mapValue(double* value, int32_t meterType) = 0; // 6

protected:
    ~ILevelMapping() = default;
};

} // namespace Zel
