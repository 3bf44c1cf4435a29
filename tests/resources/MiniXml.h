#pragma once
// A small, strict XML reader for checking the skin as the host's framework would see it:
// line ends normalised, attribute values normalised (a literal line break in an attribute
// becomes a blank, so multi-line tooltips must use character references), entity and
// character references decoded, tags matched. No DTDs, CDATA or processing instructions
// beyond the declaration.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ResourceTest {

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
