// A small, strict XML reader for the flat SOAP envelopes the simulator
// receives, and the escaping used when it writes XML or HTML. It knows
// elements, attributes, text, CDATA, comments, processing instructions, the
// five predefined entities and numeric character references. Document type
// declarations are refused outright, so no entity is ever defined or resolved.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace valdoria {

// Raised for text that is not well-formed XML or that uses a feature the
// reader refuses (DOCTYPE, unknown entity, nesting deeper than the limit).
class XmlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct XmlElement {
    std::string name; // qualified name as written, e.g. "soap12:Body"
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<std::unique_ptr<XmlElement>> children;
    std::string text; // the element's own character data, concatenated, UTF-8

    // Name without its namespace prefix.
    std::string_view localName() const;
    // First child whose local name is `local`, or nullptr.
    const XmlElement* child(std::string_view local) const;
    // First child element, or nullptr.
    const XmlElement* firstChild() const;
};

// Parses a whole document (UTF-8) and returns its document element.
// Throws XmlError on any fault; nesting is limited to `maxDepth` levels.
std::unique_ptr<XmlElement> parseXml(std::string_view text, int maxDepth = 64);

// Escapes &, <, >, " and ' as predefined entities: safe in XML text,
// XML attribute values and HTML alike.
std::string escapeXml(std::string_view text);

} // namespace valdoria
