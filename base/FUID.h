#pragma once
// A class or interface identifier as a value: generation, comparison and its
// text forms.

#include <cstdint>
#include <string>

#include "interfaces/Tuid.h"

namespace Zel {

class FUID {
public:
    enum class PrintStyle {
        kInlineUid,      // INLINE_UID (0x..., 0x..., 0x..., 0x...)
        kDeclareUid,     // DECLARE_UID (...)
        kFuid,           // FUID (...)
        kDeclareClassIid // DECLARE_CLASS_IID (Interface, ...)
    };

    FUID() = default; // all zero: not valid
    explicit FUID(const TUID& id) : id_(id) {}
    // The four 32-bit words of the 32-digit text form, left to right.
    FUID(uint32_t l1, uint32_t l2, uint32_t l3, uint32_t l4);

    // A new identifier from the platform's generator; false (and unchanged) on failure.
    bool generate();
    bool isValid() const;

    const TUID& data() const { return id_; }
    uint32_t getLong1() const;
    uint32_t getLong2() const;
    uint32_t getLong3() const;
    uint32_t getLong4() const;

    bool operator==(const FUID& other) const { return iidEqual(id_, other.id_); }
    bool operator!=(const FUID& other) const { return !(*this == other); }
    bool operator<(const FUID& other) const;

    // 32 hex digits, no separators ("%08X%04X%04X" and the last eight bytes).
    std::string toString() const;
    // Accepts exactly 32 hex digits; false (and unchanged) otherwise.
    bool fromString(const std::string& text);
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    std::string toRegistryString() const;
    bool fromRegistryString(const std::string& text);
    std::string print(PrintStyle style) const;

private:
    TUID id_{};
};

} // namespace Zel
