#pragma once
// Conversions between the UTF-16 texts that cross the interfaces and 8-bit
// (UTF-8) text, into fixed buffers so that no call allocates.

#include <cstddef>
#include <cstdint>

namespace Zel {

// Length in units, at most maxUnits.
inline size_t utf16Length(const char16_t* text, size_t maxUnits) {
    size_t n = 0;
    if (text)
        while (n < maxUnits && text[n] != 0) ++n;
    return n;
}

// Converts at most inUnits units (stopping at a terminator) into out, which
// receives at most outSize - 1 bytes and a terminator; a character that does
// not fit whole is left out. Unpaired surrogates become '?'. Returns the bytes
// written, without the terminator.
inline size_t utf16ToUtf8(const char16_t* in, size_t inUnits, char* out, size_t outSize) {
    if (!out || outSize == 0) return 0;
    size_t o = 0;
    for (size_t i = 0; in && i < inUnits && in[i] != 0; ++i) {
        uint32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < inUnits && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = '?';
        }
        char bytes[4];
        size_t n;
        if (c < 0x80) {
            bytes[0] = static_cast<char>(c);
            n = 1;
        } else if (c < 0x800) {
            bytes[0] = static_cast<char>(0xC0 | (c >> 6));
            bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
            n = 2;
        } else if (c < 0x10000) {
            bytes[0] = static_cast<char>(0xE0 | (c >> 12));
            bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
            n = 3;
        } else {
            bytes[0] = static_cast<char>(0xF0 | (c >> 18));
            bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
            n = 4;
        }
        if (o + n > outSize - 1) break;
        for (size_t k = 0; k < n; ++k) out[o++] = bytes[k];
    }
    out[o] = 0;
    return o;
}

// Converts zero-terminated UTF-8 into out, which receives at most outUnits - 1
// units and a terminator. Malformed bytes become '?'. Returns the units written.
inline size_t utf8ToUtf16(const char* in, char16_t* out, size_t outUnits) {
    if (!out || outUnits == 0) return 0;
    size_t o = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(in ? in : "");
    while (*s) {
        uint32_t c = *s;
        size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 4;
        if (extra == 4) {
            c = '?';
            ++s;
        } else {
            c &= extra == 0 ? 0x7F : (0x3F >> extra);
            size_t k = 1;
            for (; k <= extra; ++k) {
                if ((s[k] & 0xC0) != 0x80) break;
                c = (c << 6) | (s[k] & 0x3F);
            }
            if (k <= extra) c = '?'; // truncated sequence
            s += k;
        }
        size_t need = c >= 0x10000 ? 2 : 1;
        if (o + need > outUnits - 1) break;
        if (need == 2) {
            c -= 0x10000;
            out[o++] = static_cast<char16_t>(0xD800 + (c >> 10));
            out[o++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out[o++] = static_cast<char16_t>(c);
        }
    }
    out[o] = 0;
    return o;
}

} // namespace Zel
