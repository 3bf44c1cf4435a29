#pragma once
// Digits after the point that a continuous control shows.

#include "FUnknown.h"

namespace Zel {

class IControlPrecision : public FUnknown {
public:
    static constexpr const TUID& iid = IControlPrecision_iid;

    // [ui thread]
    virtual tresult setPrecision(int32_t digits) = 0;
    virtual int32_t getPrecision() = 0;

protected:
    ~IControlPrecision() = default;
};

} // namespace Zel
