// Loading the server's list and receipt texts as XML documents. Both come
// from outside the program, so no document type declaration is accepted:
// nothing they might define (internal or external entities) is ever expanded
// or fetched.
#pragma once

#include <QString>

class QDomDocument;

namespace History {

// Parses `text` into `doc` without namespace processing (element names are
// compared as written, prefix included). Returns false when the text is not a
// well-formed document (the empty text included), carries a document type
// declaration or is nested deeper than SafeXml::kMaxDepth (refused before any
// document is built); `reason` (may be null) then receives the parser's reason, never
// an empty text. Never throws.
bool parseXml(const QString& text, QDomDocument& doc, QString* reason);

// The local part of an element name as written ("ns:recibo" -> "recibo").
QString localName(const QString& qualifiedName);

} // namespace History
