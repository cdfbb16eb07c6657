// The one check every reader of the server's XML answers runs before building
// a document: a document type declaration is refused outright, so nothing it
// might define (internal or external entities) is ever expanded or fetched,
// and so is a document nested deeper than kMaxDepth elements, whose building
// would cost time growing with the square of its depth.
#pragma once

#include <QString>

namespace SafeXml {

// Deepest element nesting accepted; the document element is depth 1. The
// server's answers never go past a handful of levels.
inline constexpr int kMaxDepth = 64;

enum class Verdict {
    Accepted,     // nothing refused (text that is not XML at all included)
    DocumentType, // a document type declaration before the document element
    TooDeep,      // an element nested deeper than kMaxDepth
};

// Streams through `text` once without building anything and stops at the
// first refusal, so the cost of a refused text is bounded by what comes
// before its first too-deep element. Text that is not well-formed gives
// Accepted up to the point where it breaks (the parser that follows reports
// it). Never throws.
Verdict check(const QString& text);

} // namespace SafeXml
