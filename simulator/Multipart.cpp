// Implementation of the multipart reader: a linear scan for delimiters, one
// header block per part, no size limits beyond the body handed in.
#include "Multipart.h"

#include <algorithm>
#include <cctype>

namespace valdoria {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

// Lead bytes and continuation bytes in order; overlong three- and four-byte
// forms are not looked for, which is enough to tell UTF-8 from Latin-1 text.
bool isUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t more = c < 0x80                 ? 0
                           : c >= 0xC2 && c <= 0xDF ? 1
                           : c >= 0xE0 && c <= 0xEF ? 2
                           : c >= 0xF0 && c <= 0xF4 ? 3
                                                    : 4;
        if (more == 4 || s.size() - i <= more) {
            return false;
        }
        for (std::size_t k = 1; k <= more; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += more + 1;
    }
    return true;
}

// Code points of Windows-1252 bytes 0x80-0x9F; the five bytes it leaves
// undefined keep their Latin-1 meaning.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, char16_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A part header's text as UTF-8. The client writes header texts in Windows-1252
// (the file name) or Latin-1, which agree outside 0x80-0x9F; other clients
// write UTF-8: valid UTF-8 is kept, any other text is read as Windows-1252.
std::string headerText(std::string_view raw) {
    if (isUtf8(raw)) {
        return std::string(raw);
    }
    std::string out;
    for (char ch : raw) {
        auto c = static_cast<unsigned char>(ch);
        appendUtf8(out, c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : char16_t{c});
    }
    return out;
}

// Value of `key=` inside a Content-Disposition value, quoted or bare.
std::string dispositionParam(std::string_view value, std::string_view key) {
    std::string lowered = lower(value);
    std::size_t at = 0;
    for (;;) {
        at = lowered.find(std::string(key) + "=", at);
        if (at == std::string::npos) {
            return {};
        }
        // Only a whole parameter name counts ("name" must not match "filename").
        if (at == 0 || lowered[at - 1] == ';' || lowered[at - 1] == ' ' ||
            lowered[at - 1] == '\t') {
            break;
        }
        at += key.size();
    }
    auto rest = value.substr(at + key.size() + 1);
    if (!rest.empty() && rest.front() == '"') {
        auto close = rest.find('"', 1);
        return std::string(rest.substr(1, close == std::string_view::npos ? close : close - 1));
    }
    return std::string(trim(rest.substr(0, rest.find(';'))));
}

} // namespace

std::string multipartBoundary(std::string_view contentType) {
    auto at = lower(contentType).find("boundary=");
    if (at == std::string::npos) {
        throw MultipartError("no boundary in Content-Type");
    }
    auto rest = contentType.substr(at + 9);
    std::string boundary;
    if (!rest.empty() && rest.front() == '"') {
        auto close = rest.find('"', 1);
        if (close == std::string_view::npos) {
            throw MultipartError("unterminated quoted boundary");
        }
        boundary = std::string(rest.substr(1, close - 1));
    } else {
        auto end = rest.find_first_of(";, \t");
        boundary = std::string(rest.substr(0, end));
    }
    if (boundary.empty() || boundary.size() > 70) {
        throw MultipartError("boundary empty or longer than 70 characters");
    }
    return boundary;
}

std::vector<MultipartPart> parseMultipart(std::string_view body, std::string_view boundary) {
    const std::string dash = "--" + std::string(boundary);
    const std::string delimiter = "\r\n" + dash;

    // The opening delimiter starts the body or a line after a preamble.
    std::size_t pos;
    if (body.substr(0, dash.size()) == dash) {
        pos = dash.size();
    } else {
        auto at = body.find(delimiter);
        if (at == std::string_view::npos) {
            throw MultipartError("opening delimiter missing");
        }
        pos = at + delimiter.size();
    }

    std::vector<MultipartPart> parts;
    for (;;) {
        // After a delimiter: "--" closes the body, CRLF opens a part.
        if (body.substr(pos, 2) == "--") {
            return parts;
        }
        if (body.substr(pos, 2) != "\r\n") {
            throw MultipartError("line break expected after delimiter");
        }
        pos += 2;

        auto headersEnd = body.find("\r\n\r\n", pos);
        // A part without headers starts straight with the empty line.
        bool noHeaders = body.substr(pos, 2) == "\r\n";
        if (!noHeaders && headersEnd == std::string_view::npos) {
            throw MultipartError("part headers never end");
        }
        MultipartPart part;
        if (!noHeaders) {
            auto block = body.substr(pos, headersEnd - pos);
            std::size_t lineStart = 0;
            while (lineStart <= block.size()) {
                auto lineEnd = block.find("\r\n", lineStart);
                auto line = block.substr(lineStart, lineEnd == std::string_view::npos
                                                        ? std::string_view::npos
                                                        : lineEnd - lineStart);
                auto colon = line.find(':');
                if (colon != std::string_view::npos) {
                    auto key = lower(trim(line.substr(0, colon)));
                    auto value = trim(line.substr(colon + 1));
                    if (key == "content-disposition") {
                        part.name = headerText(dispositionParam(value, "name"));
                        part.fileName = headerText(dispositionParam(value, "filename"));
                    } else if (key == "content-type") {
                        part.contentType = std::string(value);
                    }
                }
                if (lineEnd == std::string_view::npos) {
                    break;
                }
                lineStart = lineEnd + 2;
            }
            pos = headersEnd + 4;
        } else {
            pos += 2;
        }

        auto end = body.find(delimiter, pos);
        if (end == std::string_view::npos) {
            throw MultipartError("closing delimiter missing");
        }
        part.data = std::string(body.substr(pos, end - pos));
        parts.push_back(std::move(part));
        pos = end + delimiter.size();
        if (pos == body.size()) {
            throw MultipartError("body ends right after a delimiter");
        }
    }
}

} // namespace valdoria
