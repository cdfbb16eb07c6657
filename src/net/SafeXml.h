// The one test every parser of the server's XML answers runs first: a document
// type declaration is refused outright, so nothing it might define (internal
// or external entities) is ever expanded or fetched.
#pragma once

#include <QString>

namespace SafeXml {

// True when `text` carries a document type declaration before its document
// element. Text that is not XML at all gives false (the parser that follows
// reports it). Never throws.
bool hasDocumentTypeDeclaration(const QString& text);

} // namespace SafeXml
