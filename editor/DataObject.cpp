#include "editor/DataObject.h"

#include "base/UpdateHandler.h"
#include "interfaces/IPtr.h"
#include "interfaces/IUpdateManager.h"

namespace Zel::Frame {

DataObject::~DataObject() {
    if (IPtr<IUpdateManager> manager = queryInterface<IUpdateManager>(activeUpdateHandler()))
        manager->cancelDeferred(unknownCast());
}

} // namespace Zel::Frame
