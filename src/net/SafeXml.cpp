// Document type declarations and nesting depth in answers from outside the
// program, checked with a streaming reader that builds no tree.
#include "net/SafeXml.h"

#include <QXmlStreamReader>

namespace SafeXml {

Verdict check(const QString& text) {
    QXmlStreamReader reader(text);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            return Verdict::DocumentType;
        case QXmlStreamReader::StartElement:
            if (++depth > kMaxDepth)
                return Verdict::TooDeep;
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        case QXmlStreamReader::Invalid:
            return Verdict::Accepted;
        default:
            break;
        }
    }
    return Verdict::Accepted;
}

} // namespace SafeXml
