#pragma once
// A control that is off (0) or on (1).

#include "host/view/ControlBase.h"

namespace NivoloHost {

class SwitchControl : public ControlBase {
public:
    SwitchControl() : ControlBase(kSwitch, 0.0, 1.0) {}

protected:
    // "On" or "Off".
    std::string ownText() override;
    // Values from one half up are on.
    double quantise(double value) const override;
};

} // namespace NivoloHost
