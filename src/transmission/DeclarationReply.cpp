// Reading of the declaration upload reply.
#include "transmission/DeclarationReply.h"

#include <QRegularExpression>
#include <QStringList>

namespace DeclarationReply {

namespace {

// The body of an HTTP reply; the text itself when it carries no header block.
QString bodyOf(const QString& reply) {
    if (!reply.startsWith(QLatin1String("HTTP/")))
        return reply;
    for (const QLatin1String end : {QLatin1String("\r\n\r\n"), QLatin1String("\n\n")}) {
        const qsizetype at = reply.indexOf(end);
        if (at >= 0)
            return reply.mid(at + end.size());
    }
    return {};
}

QString decodeEntities(const QString& text) {
    static const QRegularExpression entity(
        QStringLiteral("&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|[a-zA-Z]{2,6});"));
    static const struct {
        const char* name;
        char16_t ch;
    } named[] = {{"lt", u'<'},   {"gt", u'>'},    {"amp", u'&'},
                 {"quot", u'"'}, {"apos", u'\''}, {"nbsp", u' '}};
    QString out;
    qsizetype last = 0;
    for (auto it = entity.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString name = m.captured(1);
        QString replacement = m.captured(0); // unknown names stay as written
        if (name.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
            const uint code = hex ? name.mid(2).toUInt(&ok, 16) : name.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
                const char32_t c = code;
                replacement = QString::fromUcs4(&c, 1);
            }
        } else {
            for (const auto& n : named)
                if (name == QLatin1String(n.name))
                    replacement = QString(QChar(n.ch));
        }
        out += QStringView(text).mid(last, m.capturedStart() - last);
        out += replacement;
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out;
}

} // namespace

QString stripMarkup(const QString& html) {
    using RE = QRegularExpression;
    static const RE hidden(QStringLiteral("<!--.*?-->|<(head|script|style)\\b[^>]*>.*?</\\1\\s*>"),
                           RE::CaseInsensitiveOption | RE::DotMatchesEverythingOption);
    static const RE block(QStringLiteral("<\\s*/?\\s*(br|p|div|li|tr|td|th|h[1-6]|table|ul|ol|"
                                         "body|html|title|pre|blockquote)\\b[^>]*>"),
                          RE::CaseInsensitiveOption);
    static const RE tag(QStringLiteral("<[^>]*>"));
    QString text = html;
    text.replace(hidden, QStringLiteral("\n"));
    text.replace(block, QStringLiteral("\n"));
    text.replace(tag, QString());
    text = decodeEntities(text);
    QStringList lines;
    for (const QString& line : text.split(QRegularExpression(QStringLiteral("[\r\n]")))) {
        const QString simple = line.simplified();
        if (!simple.isEmpty())
            lines << simple;
    }
    return lines.join(QLatin1Char('\n'));
}

QString refusal(const QString& replyText) {
    if (!replyText.contains(QLatin1String("ERRO")))
        return {};
    const QString body = stripMarkup(bodyOf(replyText));
    return body.isEmpty() ? stripMarkup(replyText) : body;
}

} // namespace DeclarationReply
