#pragma once
// The text holder the framework hands a controller to receive a value's text.

#include <string>

#include "interfaces/IStringValue.h"
#include "interfaces/RefCount.h"

namespace NivoloHost {

class StringValue : public Zel::IStringValue {
public:
    // Longest text kept, in UTF-16 units; longer texts are cut.
    static constexpr size_t kMaxUnits = 1024;

    StringValue() = default;
    virtual ~StringValue() = default;

    Zel::tresult QueryInterface(const Zel::TUID& iid, void** obj) override;
    ZEL_REFCOUNT_METHODS

    // kInvalidArgument for a null buffer or a size below 1.
    Zel::tresult getText(char16_t* buffer, int32_t size) override;
    // A null text empties the holder.
    Zel::tresult setText(const char16_t* text) override;

    bool wasSet() const { return set_; }
    // The text as UTF-8.
    std::string utf8() const;

private:
    Zel::RefCount refCount_;
    std::u16string text_;
    bool set_ = false;
};

} // namespace NivoloHost
