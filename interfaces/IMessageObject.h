#pragma once
// A message between processor and controller: an id and its attributes.

#include "FUnknown.h"

namespace Zel {

class IAttributeSet;

class IMessageObject : public FUnknown {
public:
    static constexpr const TUID& iid = IMessageObject_iid;

    // Owned by the message; null when none was assigned.
    virtual const char* messageId() = 0;
    // The text is copied.
    virtual void assignMessageId(const char* id) = 0;
    // Owned by the message (no added reference).
    virtual IAttributeSet* attributeSet() = 0;

protected:
    ~IMessageObject() = default;
};

} // namespace Zel
