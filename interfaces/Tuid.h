#pragma once
// A 16-byte class or interface identifier, compared byte for byte.
// Its registry text form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX} reads the first
// three groups as little-endian 32-, 16- and 16-bit numbers and the last two
// groups as the remaining 8 bytes in order.

#include <cstdint>
#include <cstring>
#include <string>

namespace Zel {

struct TUID {
    uint8_t bytes[16];
};
static_assert(sizeof(TUID) == 16);

// Compared as two 64-bit words; memcpy keeps it free of alignment assumptions.
inline bool iidEqual(const TUID& a, const TUID& b) {
    uint64_t a0, a1, b0, b1;
    std::memcpy(&a0, a.bytes, 8);
    std::memcpy(&a1, a.bytes + 8, 8);
    std::memcpy(&b0, b.bytes, 8);
    std::memcpy(&b1, b.bytes + 8, 8);
    return a0 == b0 && a1 == b1;
}

inline bool operator==(const TUID& a, const TUID& b) { return iidEqual(a, b); }

namespace detail {
constexpr int hexValue(char c) {
    return (c >= '0' && c <= '9')   ? c - '0'
           : (c >= 'A' && c <= 'F') ? c - 'A' + 10
           : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                    : -1;
}
constexpr uint8_t hexByte(const char* s) {
    if (hexValue(s[0]) < 0 || hexValue(s[1]) < 0)
        throw "invalid hex digit in identifier"; // compile-time error in constant evaluation
    return static_cast<uint8_t>(hexValue(s[0]) * 16 + hexValue(s[1]));
}
} // namespace detail

// Builds an id from its registry form at compile time, so the id table can be
// written exactly as the standard publishes it.
constexpr TUID tuidFromRegistry(const char (&text)[39]) {
    if (text[0] != '{' || text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-' ||
        text[37] != '}')
        throw "identifier is not in registry form";
    TUID id{};
    const char* s = text + 1;
    // Group 1: 32-bit little-endian.
    for (int i = 0; i < 4; ++i) id.bytes[3 - i] = detail::hexByte(s + 2 * i);
    // Groups 2 and 3: 16-bit little-endian.
    id.bytes[5] = detail::hexByte(s + 9);
    id.bytes[4] = detail::hexByte(s + 11);
    id.bytes[7] = detail::hexByte(s + 14);
    id.bytes[6] = detail::hexByte(s + 16);
    // Groups 4 and 5: bytes in order.
    id.bytes[8] = detail::hexByte(s + 19);
    id.bytes[9] = detail::hexByte(s + 21);
    for (int i = 0; i < 6; ++i) id.bytes[10 + i] = detail::hexByte(s + 24 + 2 * i);
    return id;
}

// The registry text form, as both sides print it.
inline std::string tuidToRegistry(const TUID& id) {
    static const char digits[] = "0123456789ABCDEF";
    static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string out = "{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        uint8_t b = id.bytes[order[i]];
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    out += '}';
    return out;
}

} // namespace Zel
