// Character set of an answer: byte-order mark, then the Content-Type's
// charset, then the XML declaration's encoding, else UTF-8.
#include "net/AnswerText.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace {

// A charset value as HTTP writes it: a token, or the same in quotes.
QByteArray unquoted(QByteArray value) {
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2).trimmed();
    return value;
}

QByteArray charsetParameter(const QByteArray& contentType) {
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts.at(i).trimmed();
        const qsizetype eq = part.indexOf('=');
        if (eq > 0 && part.left(eq).trimmed().toLower() == "charset")
            return unquoted(part.mid(eq + 1));
    }
    return {};
}

// The declaration can only stand at the very start, and is short.
QByteArray xmlDeclarationEncoding(const QByteArray& body) {
    static const QRegularExpression declaration(
        QStringLiteral(R"(^<\?xml\s[^>]*?\bencoding\s*=\s*["']([A-Za-z][A-Za-z0-9._-]*)["'])"));
    const QRegularExpressionMatch m = declaration.match(QString::fromLatin1(body.left(256)));
    return m.hasMatch() ? m.captured(1).toLatin1() : QByteArray();
}

} // namespace

namespace AnswerText {

QByteArray declaredCharset(const QByteArray& body, const QByteArray& contentType) {
    if (const auto bom = QStringConverter::encodingForData(body))
        return QStringConverter::nameForEncoding(*bom);
    QByteArray name = charsetParameter(contentType);
    if (name.isEmpty())
        name = xmlDeclarationEncoding(body);
    return name;
}

QString decode(const QByteArray& body, const QByteArray& contentType) {
    const QByteArray name = declaredCharset(body, contentType);
    if (!name.isEmpty()) {
        QStringDecoder decoder(name.constData());
        if (decoder.isValid())
            return decoder(body);
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    return utf8(body);
}

} // namespace AnswerText
