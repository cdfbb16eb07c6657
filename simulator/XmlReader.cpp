// Recursive-descent reader behind parseXml. It keeps only what the simulator
// reads (names, attributes, text) and rejects everything it does not know.
#include "XmlReader.h"

#include <cstdint>

namespace valdoria {

std::string_view XmlElement::localName() const {
    std::string_view n(name);
    auto colon = n.find(':');
    return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

const XmlElement* XmlElement::child(std::string_view local) const {
    for (const auto& c : children) {
        if (c->localName() == local) {
            return c.get();
        }
    }
    return nullptr;
}

const XmlElement* XmlElement::firstChild() const {
    return children.empty() ? nullptr : children.front().get();
}

namespace {

bool isNameStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool isNameChar(unsigned char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

class Reader {
public:
    Reader(std::string_view text, int maxDepth) : s_(text), maxDepth_(maxDepth) {}

    std::unique_ptr<XmlElement> document() {
        if (s_.substr(0, 3) == "\xEF\xBB\xBF") {
            pos_ = 3;
        }
        misc();
        if (pos_ >= s_.size() || s_[pos_] != '<') {
            fail("no document element");
        }
        auto root = element(1);
        misc();
        if (pos_ != s_.size()) {
            fail("content after the document element");
        }
        return root;
    }

private:
    [[noreturn]] void fail(const std::string& why) const {
        throw XmlError(why + " at offset " + std::to_string(pos_));
    }

    bool startsWith(std::string_view p) const { return s_.substr(pos_, p.size()) == p; }

    void skipSpace() {
        while (pos_ < s_.size() && isSpace(s_[pos_])) {
            ++pos_;
        }
    }

    // Skips up to and past `end`; fails when it never comes.
    void skipPast(std::string_view end) {
        auto at = s_.find(end, pos_);
        if (at == std::string_view::npos) {
            fail("unterminated construct");
        }
        pos_ = at + end.size();
    }

    // Blanks, comments and processing instructions (the XML declaration
    // included) outside the document element.
    void misc() {
        for (;;) {
            skipSpace();
            if (startsWith("<!--")) {
                skipPast("-->");
            } else if (startsWith("<?")) {
                skipPast("?>");
            } else if (startsWith("<!")) {
                fail("document type declarations are not accepted");
            } else {
                return;
            }
        }
    }

    std::string name() {
        auto start = pos_;
        if (pos_ >= s_.size() || !isNameStart(static_cast<unsigned char>(s_[pos_]))) {
            fail("name expected");
        }
        while (pos_ < s_.size() && isNameChar(static_cast<unsigned char>(s_[pos_]))) {
            ++pos_;
        }
        return std::string(s_.substr(start, pos_ - start));
    }

    // At '&': appends the referenced character.
    void reference(std::string& out) {
        auto semi = s_.find(';', pos_);
        if (semi == std::string_view::npos || semi - pos_ > 12) {
            fail("bad reference");
        }
        auto ref = s_.substr(pos_ + 1, semi - pos_ - 1);
        pos_ = semi + 1;
        if (ref == "amp") {
            out += '&';
        } else if (ref == "lt") {
            out += '<';
        } else if (ref == "gt") {
            out += '>';
        } else if (ref == "quot") {
            out += '"';
        } else if (ref == "apos") {
            out += '\'';
        } else if (ref.size() > 1 && ref[0] == '#') {
            bool hex = ref[1] == 'x';
            auto digits = ref.substr(hex ? 2 : 1);
            if (digits.empty()) {
                fail("bad character reference");
            }
            std::uint32_t cp = 0;
            for (char c : digits) {
                int v = -1;
                if (c >= '0' && c <= '9') {
                    v = c - '0';
                } else if (hex && c >= 'a' && c <= 'f') {
                    v = c - 'a' + 10;
                } else if (hex && c >= 'A' && c <= 'F') {
                    v = c - 'A' + 10;
                }
                if (v < 0) {
                    fail("bad character reference");
                }
                cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(v);
                if (cp > 0x10FFFF) {
                    fail("character reference out of range");
                }
            }
            bool allowed = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
                           (cp >= 0xE000 && cp <= 0xFFFD) || cp >= 0x10000;
            if (!allowed) {
                fail("character reference to a forbidden character");
            }
            appendUtf8(out, cp);
        } else {
            fail("unknown entity");
        }
    }

    std::string attributeValue() {
        if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\'')) {
            fail("quoted attribute value expected");
        }
        char quote = s_[pos_++];
        std::string value;
        while (pos_ < s_.size() && s_[pos_] != quote) {
            char c = s_[pos_];
            if (c == '<') {
                fail("'<' in attribute value");
            }
            if (c == '&') {
                reference(value);
            } else {
                value += isSpace(c) ? ' ' : c;
                ++pos_;
            }
        }
        if (pos_ >= s_.size()) {
            fail("unterminated attribute value");
        }
        ++pos_;
        return value;
    }

    std::unique_ptr<XmlElement> element(int depth) {
        if (depth > maxDepth_) {
            fail("elements nested too deeply");
        }
        ++pos_; // '<'
        auto e = std::make_unique<XmlElement>();
        e->name = name();
        for (;;) {
            bool spaced = pos_ < s_.size() && isSpace(s_[pos_]);
            skipSpace();
            if (startsWith("/>")) {
                pos_ += 2;
                return e;
            }
            if (startsWith(">")) {
                ++pos_;
                break;
            }
            if (!spaced) {
                fail("blank expected before attribute");
            }
            auto attr = name();
            for (const auto& a : e->attributes) {
                if (a.first == attr) {
                    fail("duplicate attribute");
                }
            }
            skipSpace();
            if (!startsWith("=")) {
                fail("'=' expected");
            }
            ++pos_;
            skipSpace();
            e->attributes.emplace_back(std::move(attr), attributeValue());
        }
        content(*e, depth);
        return e;
    }

    void content(XmlElement& e, int depth) {
        for (;;) {
            if (pos_ >= s_.size()) {
                fail("unterminated element <" + e.name + ">");
            }
            char c = s_[pos_];
            if (c == '&') {
                reference(e.text);
            } else if (c != '<') {
                e.text += c;
                ++pos_;
            } else if (startsWith("</")) {
                pos_ += 2;
                if (name() != e.name) {
                    fail("mismatched end tag for <" + e.name + ">");
                }
                skipSpace();
                if (!startsWith(">")) {
                    fail("'>' expected");
                }
                ++pos_;
                return;
            } else if (startsWith("<!--")) {
                skipPast("-->");
            } else if (startsWith("<![CDATA[")) {
                pos_ += 9;
                auto end = s_.find("]]>", pos_);
                if (end == std::string_view::npos) {
                    fail("unterminated CDATA section");
                }
                e.text.append(s_.substr(pos_, end - pos_));
                pos_ = end + 3;
            } else if (startsWith("<?")) {
                skipPast("?>");
            } else if (startsWith("<!")) {
                fail("declaration inside content");
            } else {
                e.children.push_back(element(depth + 1));
            }
        }
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    int maxDepth_;
};

} // namespace

std::unique_ptr<XmlElement> parseXml(std::string_view text, int maxDepth) {
    return Reader(text, maxDepth).document();
}

std::string escapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace valdoria
