#pragma once
// Peak-hold meter data fed with display positions (0 .. 1) already: the
// caller has mapped its values onto its own scale.

#include "editor/VuMeterPhData.h"

namespace Zel {

class LinearVuMeterPhData : public VuMeterPhData {
public:
    ZEL_FOBJECT_CLASS(LinearVuMeterPhData, VuMeterPhData)

    using VuMeterPhData::VuMeterPhData;

    // The value is its position already.
    void mapToPosition(float& value) const override;
};

} // namespace Zel
