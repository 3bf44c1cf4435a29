#pragma once
// A control holding a whole number within its range.

#include "host/view/ControlBase.h"

namespace NivoloHost {

class IntegerControl : public ControlBase {
public:
    IntegerControl() : ControlBase(kInteger, 0.0, 1.0) {}

protected:
    std::string ownText() override;
    double quantise(double value) const override;
};

} // namespace NivoloHost
