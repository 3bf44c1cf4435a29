#pragma once
// The base of the objects that hold what the module's views show. Views watch
// them through change notification.

#include "base/FObject.h"

namespace Zel::Frame {

class DataObject : public FObject {
public:
    ZEL_FOBJECT_CLASS_AS(DataObject, FObject, "DataObject")

    // Drops the changes still queued for this object, which must not be
    // delivered after it is gone.
    ~DataObject() override;
};

} // namespace Zel::Frame
