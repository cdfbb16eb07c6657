// Masking of secrets before they reach the support log.
#include "base/LogMasking.h"

#include <QRegularExpression>

namespace LogMasking {

Kind kindOf(const QString& name) {
    const QString n = name.trimmed().toLower();
    for (const char* key : {"chave", "key", "token"})
        if (n.endsWith(QLatin1String(key)))
            return Kind::Key;
    for (const char* secret : {"senha", "password", "passwd", "pwd", "pin"})
        if (n.endsWith(QLatin1String(secret)))
            return Kind::Secret;
    return Kind::Plain;
}

QString maskKey(const QString& key) {
    if (key.size() <= 2)
        return QString(key.size(), QLatin1Char('*'));
    return QString(key.size() - 2, QLatin1Char('*')) + key.right(2);
}

QString field(const QString& name, const QString& value) {
    switch (kindOf(name)) {
    case Kind::Key:
        return maskKey(value);
    case Kind::Secret:
        return QStringLiteral("(omitida)");
    case Kind::Plain:
        break;
    }
    return value;
}

QString text(const QString& text) {
    // A name is the run of letters, digits and "_" just before "="; the value
    // may stand in quotation marks.
    static const QRegularExpression pair(
        QStringLiteral("([A-Za-z0-9_]+)=\"?([^&\\s\\[\\](),;\"']*)"));
    static const QRegularExpression userInfo(QStringLiteral("(://[^/\\s:@]*):[^/\\s@]*@"));
    QString out;
    qsizetype from = 0;
    for (auto it = pair.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(from, m.capturedStart(2) - from);
        out += kindOf(m.captured(1)) == Kind::Plain ? m.captured(2)
                                                    : field(m.captured(1), m.captured(2));
        from = m.capturedEnd(2);
    }
    out += text.mid(from);
    out.replace(userInfo, QStringLiteral("\\1:(omitida)@"));
    return out;
}

} // namespace LogMasking
