// Reading of the declaration upload reply.
#include "transmission/DeclarationReply.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace DeclarationReply {

namespace {

// Longer texts are cut: a message box is no place for a whole page.
constexpr qsizetype kMaxShown = 2000;

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
    // One pass, each character looked at a bounded number of times, so that a
    // hostile reply (up to the upload's reply bound) cannot stall the window.
    static const QLatin1String hiddenElements[] = {QLatin1String("head"), QLatin1String("script"),
                                                   QLatin1String("style")};
    static const QLatin1String blockElements[] = {
        QLatin1String("br"),    QLatin1String("p"),     QLatin1String("div"),
        QLatin1String("li"),    QLatin1String("tr"),    QLatin1String("td"),
        QLatin1String("th"),    QLatin1String("h1"),    QLatin1String("h2"),
        QLatin1String("h3"),    QLatin1String("h4"),    QLatin1String("h5"),
        QLatin1String("h6"),    QLatin1String("table"), QLatin1String("ul"),
        QLatin1String("ol"),    QLatin1String("body"),  QLatin1String("html"),
        QLatin1String("title"), QLatin1String("pre"),   QLatin1String("blockquote")};
    const qsizetype n = html.size();
    QString text;
    text.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        if (html[i] != u'<') {
            text += html[i++];
            continue;
        }
        if (QStringView(html).mid(i).startsWith(QLatin1String("<!--"))) {
            const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
            i = end < 0 ? n : end + 3;
            text += u'\n';
            continue;
        }
        const qsizetype close = html.indexOf(u'>', i + 1);
        if (close < 0)
            break; // an unfinished tag: nothing readable follows
        qsizetype p = i + 1;
        while (p < close && html[p].isSpace())
            ++p;
        const bool closing = p < close && html[p] == u'/';
        if (closing)
            ++p;
        while (p < close && html[p].isSpace())
            ++p;
        qsizetype q = p;
        while (q < close && html[q].isLetterOrNumber())
            ++q;
        const QString name = html.mid(p, q - p).toLower();
        i = close + 1;
        if (!closing && std::find(std::begin(hiddenElements), std::end(hiddenElements), name) !=
                            std::end(hiddenElements)) {
            // Its content is not for reading: skip to the end of its closing tag.
            const qsizetype end = html.indexOf(QLatin1String("</") + name, i, Qt::CaseInsensitive);
            const qsizetype endClose = end < 0 ? -1 : html.indexOf(u'>', end);
            i = endClose < 0 ? n : endClose + 1;
            text += u'\n';
            continue;
        }
        if (std::find(std::begin(blockElements), std::end(blockElements), name) !=
            std::end(blockElements))
            text += u'\n';
    }
    text = decodeEntities(text);
    QStringList lines;
    for (const QString& line : text.split(QRegularExpression(QStringLiteral("[\r\n]")))) {
        const QString simple = line.simplified();
        if (!simple.isEmpty())
            lines << simple;
    }
    return lines.join(QLatin1Char('\n'));
}

QString message(const QString& replyText) {
    QString shown = stripMarkup(bodyOf(replyText));
    if (shown.isEmpty())
        shown = stripMarkup(replyText);
    if (shown.isEmpty())
        shown = replyText.simplified(); // the text lies inside the markup
    if (shown.size() > kMaxShown)
        shown = shown.left(kMaxShown) + QStringLiteral("…");
    return shown;
}

QString refusal(const QString& replyText) {
    if (!replyText.contains(QLatin1String("ERRO")))
        return {};
    return message(replyText);
}

} // namespace DeclarationReply
