#pragma once
// Shared by the resource suites: files, the built module's resource as a host in this
// process finds it, bitmap headers, and a strict XML reader for the skin.

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/platform/Platform.h"
#include "tools/hrf/HrfFile.h"

namespace ResourceTest {

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(Hrf::loadFile(path, bytes, error)) << error;
    return bytes;
}

// The built module, loaded once for the process as a host loads it. Its handle is
// what the module's own moduleHandle() reports: the start of its mapping (on
// Windows the instance handle, which is the same).
#if defined(_WIN32)
inline Zel::Platform::ModuleHandle moduleHandle() {
    static Zel::Platform::ModuleHandle handle =
        reinterpret_cast<Zel::Platform::ModuleHandle>(LoadLibraryA(NIVOLO_MODULE_PATH));
    return handle;
}

inline std::string loaderError() { return "error " + std::to_string(GetLastError()); }
#else
inline std::string loaderError() {
    const char* text = dlerror();
    return text ? text : "";
}

inline Zel::Platform::ModuleHandle moduleHandle() {
    static Zel::Platform::ModuleHandle handle = [] {
        void* library = dlopen(NIVOLO_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!library) return Zel::Platform::ModuleHandle{};
        Dl_info info{};
        void* entry = dlsym(library, "GetPluginFactory");
        if (!entry || dladdr(entry, &info) == 0) return Zel::Platform::ModuleHandle{};
        return static_cast<Zel::Platform::ModuleHandle>(info.dli_fbase);
    }();
    return handle;
}
#endif

// The module's "NIVOLO.HRF" through the platform lookup; empty when not found.
inline std::vector<uint8_t> moduleResource() {
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!Zel::Platform::findResource(moduleHandle(), "NIVOLO.HRF", Zel::Platform::kResourceTypeRcData,
                                     Zel::Platform::kLanguageEnglishUS, &data, &size))
        return {};
    return std::vector<uint8_t>(data, data + size);
}

inline uint32_t be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[3]) << 24 | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}
inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[1] << 8 | p[0]); }

struct ImageInfo {
    std::string format; // "PNG RGBA" or "BMP 24"
    uint32_t width = 0;
    uint32_t height = 0;
};

// Reads a PNG's IHDR (8-bit RGBA only) or an uncompressed 24-bit BMP's headers.
inline bool imageInfo(const std::vector<uint8_t>& b, ImageInfo& out, std::string& why) {
    static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (b.size() >= 33 && std::memcmp(b.data(), kPng, 8) == 0) {
        if (be32(&b[8]) != 13 || std::memcmp(&b[12], "IHDR", 4) != 0) return why = "PNG without IHDR first", false;
        if (b[24] != 8 || b[25] != 6) return why = "PNG not 8-bit RGBA", false;
        out = {"PNG RGBA", be32(&b[16]), be32(&b[20])};
        return true;
    }
    if (b.size() >= 54 && b[0] == 'B' && b[1] == 'M') {
        const uint32_t fileSize = le32(&b[2]), pixels = le32(&b[10]);
        const int32_t width = static_cast<int32_t>(le32(&b[18])), height = static_cast<int32_t>(le32(&b[22]));
        if (fileSize != b.size() || le32(&b[14]) != 40 || le16(&b[26]) != 1) return why = "BMP headers inconsistent", false;
        if (le16(&b[28]) != 24 || le32(&b[30]) != 0) return why = "BMP not uncompressed 24-bit", false;
        if (width <= 0 || height == 0) return why = "BMP without pixels", false;
        const uint64_t rows = static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
        const uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
        if (pixels > b.size() || stride * rows > b.size() - pixels) return why = "BMP pixels run past the file", false;
        out = {"BMP 24", static_cast<uint32_t>(width), static_cast<uint32_t>(rows)};
        return true;
    }
    why = "neither PNG nor BMP";
    return false;
}

// A small, strict XML reader for checking the skin as the host's framework would see it:
// line ends normalised, attribute values normalised (a literal line break in an attribute
// becomes a blank, so multi-line tooltips must use character references), entity and
// character references decoded, tags matched. No DTDs, CDATA or processing instructions
// beyond the declaration.

struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<XmlElement> children;

    const std::string* attribute(std::string_view key) const {
        for (const auto& [k, v] : attributes)
            if (k == key) return &v;
        return nullptr;
    }
    std::string get(std::string_view key) const {
        const std::string* v = attribute(key);
        return v ? *v : std::string();
    }
};

struct XmlDocument {
    XmlElement root;
    std::vector<std::string> comments; // every comment's text, in document order
};

class XmlReader {
public:
    static bool parse(std::string_view raw, XmlDocument& out, std::string& error) {
        XmlReader r;
        // End-of-line handling: CR LF and lone CR become LF before anything else.
        r.text_.reserve(raw.size());
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\r') {
                r.text_ += '\n';
                if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
            } else {
                r.text_ += raw[i];
            }
        }
        r.doc_ = &out;
        if (r.starts("<?xml")) {
            const size_t end = r.text_.find("?>", r.pos_);
            if (end == std::string::npos) return r.fail(error, "unterminated declaration");
            r.pos_ = end + 2;
        }
        if (!r.misc(error)) return false;
        if (!r.starts("<")) return r.fail(error, "no root element");
        if (!r.element(out.root, error)) return false;
        if (!r.misc(error)) return false;
        if (r.pos_ != r.text_.size()) return r.fail(error, "content after the root element");
        return true;
    }

private:
    std::string text_;
    size_t pos_ = 0;
    XmlDocument* doc_ = nullptr;

    bool fail(std::string& error, const std::string& what) {
        size_t line = 1;
        for (size_t i = 0; i < pos_ && i < text_.size(); ++i) line += text_[i] == '\n';
        error = "line " + std::to_string(line) + ": " + what;
        return false;
    }
    bool starts(std::string_view s) const { return text_.compare(pos_, s.size(), s) == 0; }
    static bool blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
    void skipBlanks() {
        while (pos_ < text_.size() && blank(text_[pos_])) ++pos_;
    }
    static bool nameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':'; }
    static bool nameChar(char c) { return nameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

    bool name(std::string& out, std::string& error) {
        if (pos_ >= text_.size() || !nameStart(text_[pos_])) return fail(error, "a name was expected");
        const size_t start = pos_;
        while (pos_ < text_.size() && nameChar(text_[pos_])) ++pos_;
        out = text_.substr(start, pos_ - start);
        return true;
    }

    bool comment(std::string& error) {
        pos_ += 4;
        const size_t end = text_.find("--", pos_);
        if (end == std::string::npos || text_.compare(end, 3, "-->") != 0)
            return fail(error, "unterminated comment, or \"--\" inside one");
        doc_->comments.push_back(text_.substr(pos_, end - pos_));
        pos_ = end + 3;
        return true;
    }

    bool misc(std::string& error) {
        for (;;) {
            skipBlanks();
            if (!starts("<!--")) return true;
            if (!comment(error)) return false;
        }
    }

    bool reference(std::string& out, std::string& error) {
        const size_t end = text_.find(';', pos_);
        if (end == std::string::npos) return fail(error, "unterminated reference");
        const std::string ref = text_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        if (ref == "amp") out += '&';
        else if (ref == "lt") out += '<';
        else if (ref == "gt") out += '>';
        else if (ref == "quot") out += '"';
        else if (ref == "apos") out += '\'';
        else if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string digits = ref.substr(hex ? 2 : 1);
            if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
                return fail(error, "bad character reference &" + ref + ";");
            const unsigned long code = std::stoul(digits, nullptr, hex ? 16 : 10);
            if (code == 0 || code > 0x7F) return fail(error, "character reference outside ASCII: &" + ref + ";");
            out += static_cast<char>(code);
        } else {
            return fail(error, "unknown entity &" + ref + ";");
        }
        return true;
    }

    bool element(XmlElement& el, std::string& error) {
        ++pos_; // '<'
        if (!name(el.name, error)) return false;
        for (;;) {
            const size_t before = pos_;
            skipBlanks();
            if (starts("/>")) {
                pos_ += 2;
                return true;
            }
            if (starts(">")) {
                ++pos_;
                break;
            }
            if (pos_ == before) return fail(error, "blank expected before an attribute of <" + el.name + ">");
            std::string key, value;
            if (!name(key, error)) return false;
            skipBlanks();
            if (!starts("=")) return fail(error, "'=' expected after " + key);
            ++pos_;
            skipBlanks();
            if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\'')) return fail(error, "quoted value expected");
            const char quote = text_[pos_++];
            for (;;) {
                if (pos_ >= text_.size()) return fail(error, "unterminated attribute value");
                const char c = text_[pos_];
                if (c == quote) break;
                if (c == '<') return fail(error, "'<' in an attribute value");
                if (c == '&') {
                    if (!reference(value, error)) return false;
                    continue;
                }
                value += blank(c) ? ' ' : c; // attribute-value normalisation
                ++pos_;
            }
            ++pos_;
            if (el.attribute(key)) return fail(error, "attribute " + key + " given twice");
            el.attributes.emplace_back(key, value);
        }
        for (;;) {
            if (pos_ >= text_.size()) return fail(error, "<" + el.name + "> is not closed");
            if (starts("</")) {
                pos_ += 2;
                std::string closing;
                if (!name(closing, error)) return false;
                if (closing != el.name) return fail(error, "</" + closing + "> closes <" + el.name + ">");
                skipBlanks();
                if (!starts(">")) return fail(error, "'>' expected");
                ++pos_;
                return true;
            }
            if (starts("<!--")) {
                if (!comment(error)) return false;
            } else if (starts("<!") || starts("<?")) {
                return fail(error, "unsupported markup");
            } else if (starts("<")) {
                el.children.emplace_back();
                if (!element(el.children.back(), error)) return false;
            } else if (text_[pos_] == '&') {
                std::string ignored;
                if (!reference(ignored, error)) return false;
            } else {
                ++pos_; // character data: the skin has none that matters
            }
        }
    }
};

} // namespace ResourceTest
