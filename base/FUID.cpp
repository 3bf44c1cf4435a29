#include "base/FUID.h"

#include <cstdio>
#include <cstring>

#include "base/platform/Platform.h"

namespace Zel {

// The words are read the way the text form is written: the first three groups
// are little-endian numbers in the bytes, the last eight bytes go in order.
FUID::FUID(uint32_t l1, uint32_t l2, uint32_t l3, uint32_t l4) {
    uint8_t* b = id_.bytes;
    b[0] = static_cast<uint8_t>(l1);
    b[1] = static_cast<uint8_t>(l1 >> 8);
    b[2] = static_cast<uint8_t>(l1 >> 16);
    b[3] = static_cast<uint8_t>(l1 >> 24);
    b[4] = static_cast<uint8_t>(l2 >> 16);
    b[5] = static_cast<uint8_t>(l2 >> 24);
    b[6] = static_cast<uint8_t>(l2);
    b[7] = static_cast<uint8_t>(l2 >> 8);
    for (int i = 0; i < 4; ++i) {
        b[8 + i] = static_cast<uint8_t>(l3 >> (24 - 8 * i));
        b[12 + i] = static_cast<uint8_t>(l4 >> (24 - 8 * i));
    }
}

bool FUID::generate() {
    TUID fresh{};
    if (!Platform::generateGuid(fresh.bytes)) return false;
    id_ = fresh;
    return true;
}

bool FUID::isValid() const {
    static const TUID zero{};
    return !iidEqual(id_, zero);
}

uint32_t FUID::getLong1() const {
    const uint8_t* b = id_.bytes;
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

uint32_t FUID::getLong2() const {
    const uint8_t* b = id_.bytes;
    return uint32_t(b[5]) << 24 | uint32_t(b[4]) << 16 | uint32_t(b[7]) << 8 | uint32_t(b[6]);
}

uint32_t FUID::getLong3() const {
    const uint8_t* b = id_.bytes;
    return uint32_t(b[8]) << 24 | uint32_t(b[9]) << 16 | uint32_t(b[10]) << 8 | uint32_t(b[11]);
}

uint32_t FUID::getLong4() const {
    const uint8_t* b = id_.bytes;
    return uint32_t(b[12]) << 24 | uint32_t(b[13]) << 16 | uint32_t(b[14]) << 8 | uint32_t(b[15]);
}

bool FUID::operator<(const FUID& other) const { return std::memcmp(id_.bytes, other.id_.bytes, 16) < 0; }

std::string FUID::toString() const {
    char text[33];
    std::snprintf(text, sizeof text, "%08X%08X%08X%08X", getLong1(), getLong2(), getLong3(), getLong4());
    return text;
}

namespace {
bool parseWord(const char* digits, uint32_t& out) {
    uint32_t value = 0;
    for (int i = 0; i < 8; ++i) {
        int d = detail::hexValue(digits[i]);
        if (d < 0) return false;
        value = value << 4 | static_cast<uint32_t>(d);
    }
    out = value;
    return true;
}
} // namespace

bool FUID::fromString(const std::string& text) {
    if (text.size() != 32) return false;
    uint32_t w[4];
    for (int i = 0; i < 4; ++i)
        if (!parseWord(text.data() + 8 * i, w[i])) return false;
    *this = FUID(w[0], w[1], w[2], w[3]);
    return true;
}

std::string FUID::toRegistryString() const { return tuidToRegistry(id_); }

bool FUID::fromRegistryString(const std::string& text) {
    if (text.size() != 38 || text[0] != '{' || text[37] != '}') return false;
    if (text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-') return false;
    std::string digits = text.substr(1, 8) + text.substr(10, 4) + text.substr(15, 4) + text.substr(20, 4) +
                         text.substr(25, 12);
    return fromString(digits);
}

std::string FUID::print(PrintStyle style) const {
    const char* format = nullptr;
    switch (style) {
    case PrintStyle::kInlineUid: format = "INLINE_UID (0x%08X, 0x%08X, 0x%08X, 0x%08X)"; break;
    case PrintStyle::kDeclareUid: format = "DECLARE_UID (0x%08X, 0x%08X, 0x%08X, 0x%08X)"; break;
    case PrintStyle::kFuid: format = "FUID (0x%08X, 0x%08X, 0x%08X, 0x%08X)"; break;
    case PrintStyle::kDeclareClassIid:
        format = "DECLARE_CLASS_IID (Interface, 0x%08X, 0x%08X, 0x%08X, 0x%08X)";
        break;
    }
    char text[96];
    std::snprintf(text, sizeof text, format, getLong1(), getLong2(), getLong3(), getLong4());
    return text;
}

} // namespace Zel
