#include "editor/LinearVuMeterPhData.h"

namespace Zel {

void LinearVuMeterPhData::mapToPosition(float&) const {}

} // namespace Zel
