// Bounded reading of an HTTP answer's head and the reading of its fields.
#include "net/HttpHead.h"

#include <QIODevice>
#include <QList>
#include <QRegularExpression>
#include <QString>

namespace HttpHead {

Progress take(QIODevice& device, QByteArray& head) {
    // Looked at before it is taken: what follows the blank line is not ours.
    const QByteArray more = device.peek(kMaxBytes - head.size());
    const QByteArray whole = head + more;
    // The blank line ends with a line feed, after a line feed and at most a
    // carriage return: "\r\n\r\n", "\n\r\n" or "\n\n", whichever comes first.
    const qsizetype from = qMax<qsizetype>(0, head.size() - 2);
    const qsizetype crlf = whole.indexOf("\n\r\n", from);
    const qsizetype lf = whole.indexOf("\n\n", from);
    const qsizetype end = crlf >= 0 && (lf < 0 || crlf + 1 <= lf) ? crlf + 3
                          : lf >= 0                               ? lf + 2
                                                                  : -1;
    if (end < 0) {
        device.skip(more.size());
        head = whole;
        return head.size() >= kMaxBytes ? Progress::TooLong : Progress::Partial;
    }
    device.skip(end - head.size());
    head = whole.left(end);
    return Progress::Whole;
}

int statusOf(const QByteArray& head) {
    static const QRegularExpression statusLine(QStringLiteral("^HTTP/1\\.[01] (\\d{3})[ \\r\\n]"));
    const QRegularExpressionMatch status = statusLine.match(QString::fromLatin1(head.left(16)));
    return status.hasMatch() ? status.captured(1).toInt() : -1;
}

QList<QPair<QByteArray, QByteArray>> fields(const QByteArray& head) {
    QList<QPair<QByteArray, QByteArray>> out;
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            out.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    return out;
}

QByteArray field(const QByteArray& head, const QByteArray& name) {
    for (const auto& [fieldName, value] : fields(head))
        if (fieldName.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

Challenge proxyChallenge(const QByteArray& head) {
    // One field may offer several methods, separated by commas; a method's
    // parameters are "name=value" parts, its own part starts with its name.
    Challenge offered;
    for (const auto& [name, value] : fields(head)) {
        if (name.compare("proxy-authenticate", Qt::CaseInsensitive) != 0)
            continue;
        bool quoted = false; // a quoted value may hold commas of its own
        for (const QByteArray& part : value.split(',')) {
            const bool inQuotes = quoted;
            quoted = quoted != (part.count('"') % 2 == 1);
            if (inQuotes)
                continue;
            const QByteArray scheme = part.trimmed().split(' ').first().toLower();
            offered.basic = offered.basic || scheme == "basic";
            offered.qtAnswers = offered.qtAnswers || scheme == "digest" || scheme == "ntlm" ||
                                scheme == "negotiate";
        }
    }
    return offered;
}

} // namespace HttpHead
