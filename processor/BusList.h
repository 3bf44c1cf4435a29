#pragma once
// The buses of one media type and direction, in index order.

#include <vector>

#include "interfaces/IPtr.h"
#include "processor/Bus.h"

namespace Zel {

class BusList : public FObject {
public:
    ZEL_FOBJECT_CLASS_AS(BusList, FObject, "Zel::BusList")

    BusList(int32_t mediaType, int32_t direction) : mediaType_(mediaType), direction_(direction) {}

    // Takes over the caller's reference.
    void append(Bus* bus) { buses_.push_back(IPtr<Bus>::adopt(bus)); }
    // Null for an index outside the list; no added reference.
    Bus* at(int32_t index) const {
        return index >= 0 && static_cast<size_t>(index) < buses_.size() ? buses_[static_cast<size_t>(index)].get()
                                                                          : nullptr;
    }
    int32_t size() const { return static_cast<int32_t>(buses_.size()); }
    void clear() { buses_.clear(); }

    int32_t mediaType() const { return mediaType_; }
    int32_t direction() const { return direction_; }

private:
    int32_t mediaType_;
    int32_t direction_;
    std::vector<IPtr<Bus>> buses_;
};

} // namespace Zel
