// URL splitter: scheme, host, port, path and query by the first "://", ":",
// "/" and "?".
#include "net/url_helper.h"

namespace {

// Decimal port with blanks around it, or 0 when not numeric or out of range.
qint16 portFromText(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return 0;
    int value = 0;
    for (QChar ch : t) {
        if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
            return 0;
        value = value * 10 + (ch.unicode() - u'0');
        if (value > 32767)
            return 0;
    }
    return static_cast<qint16>(value);
}

} // namespace

namespace url_helper {

UrlParts ExtractUrl(const QString& url) {
    UrlParts parts;
    QString s = url;

    const qsizetype p = s.indexOf(QLatin1String("://"));
    if (p >= 0) {
        parts.Scheme = s.left(p);
        s = s.mid(p + 3);
    }

    const qsizetype c = s.indexOf(QLatin1Char(':'));
    const qsizetype d = s.indexOf(QLatin1Char('/'));
    if (c >= 0 && d >= 0 && c < d) {
        parts.Host = s.left(c);
        parts.Port = portFromText(s.mid(c + 1, d - c - 1));
    } else if (d < 0) {
        parts.Host = s;
        parts.URI = QStringLiteral("/");
        return parts;
    } else {
        parts.Host = s.left(d);
    }

    s = s.mid(d);
    const qsizetype q = s.indexOf(QLatin1Char('?'));
    if (q >= 0) {
        parts.URI = s.left(q);
        parts.Query = s.mid(q + 1);
    } else {
        parts.URI = s;
    }
    return parts;
}

} // namespace url_helper
