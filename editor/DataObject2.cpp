#include "editor/DataObject2.h"

namespace Zel {

void DataObject2::notifyOwner(int32_t message) {
    if (owner_) owner_->update(unknownCast(), message);
}

} // namespace Zel
