// Turning the bytes of a server's answer into text by the character set the
// answer declares, so an answer written in Latin-1 keeps its accents.
#pragma once

#include <QByteArray>
#include <QString>

namespace AnswerText {

// The character set named by the answer, first found wins: a byte-order mark;
// the "charset" parameter of contentType (the Content-Type header's value,
// may be empty); the "encoding" of an XML declaration at the very start of
// body. Empty when none is named.
QByteArray declaredCharset(const QByteArray& body, const QByteArray& contentType);

// body decoded by its declared charset (see declaredCharset), UTF-8 when none
// is named or the name is not one this system can decode. A byte-order mark
// is dropped. Never throws.
QString decode(const QByteArray& body, const QByteArray& contentType);

} // namespace AnswerText
