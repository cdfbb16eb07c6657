// Document type declarations in answers from outside the program.
#include "net/SafeXml.h"

#include <QXmlStreamReader>

namespace SafeXml {

// A document type declaration can only come before the document element, so
// the prolog is all that needs looking at.
bool hasDocumentTypeDeclaration(const QString& text) {
    QXmlStreamReader reader(text);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            return true;
        case QXmlStreamReader::StartElement:
        case QXmlStreamReader::Invalid:
            return false;
        default:
            break;
        }
    }
    return false;
}

} // namespace SafeXml
