#include "host/view/IntegerControl.h"

#include <cmath>

namespace NivoloHost {

std::string IntegerControl::ownText() { return std::to_string(getIntValue()); }

double IntegerControl::quantise(double value) const { return std::round(value); }

} // namespace NivoloHost
