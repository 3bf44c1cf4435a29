#pragma once
// A text in double quotes with its quotes, backslashes and control characters
// escaped as JSON writes them: what the host prints stays one line per value
// and reads back whatever a file or a module names itself.

#include <cstdio>
#include <string>
#include <string_view>

namespace NivoloHost {

inline std::string jsonString(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

} // namespace NivoloHost
