#include "host/view/SwitchControl.h"

namespace NivoloHost {

std::string SwitchControl::ownText() { return getIntValue() ? "On" : "Off"; }

double SwitchControl::quantise(double value) const { return value >= 0.5 ? 1.0 : 0.0; }

} // namespace NivoloHost
