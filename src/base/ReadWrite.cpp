// Small INI reader with the results of the platform's profile-string reader
// (Qt's own settings class differs: case-sensitive keys, escapes, no quirks).
#include "base/ReadWrite.h"

#include "base/AppPaths.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringList>

namespace {

constexpr qsizetype kMaxValueLength = 254;

QString decodeFile(QByteArray bytes) {
    // Windows tools that save "Unicode" write UTF-16 behind its byte-order
    // mark; without the mark a file is read as UTF-8, else Latin-1.
    const bool littleEndian = bytes.startsWith("\xFF\xFE");
    if (littleEndian || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(littleEndian ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return utf16.decode(QByteArrayView(bytes).sliced(2));
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

QString unquote(const QString& value) {
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

bool sameName(const QString& a, const QString& b) {
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// The raw value, or a null text when the section or key is absent.
QString findValue(const QString& text, const QString& section, const QString& key) {
    bool inSection = false;
    bool sectionSeen = false;
    QString normalized = text;
    normalized.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalized.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = normalized.split(QLatin1Char('\n'));
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            if (sectionSeen)
                return {};
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QString name = line.mid(1, close < 0 ? -1 : close - 1);
            inSection = sameName(name, section);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        if (sameName(line.left(eq), key))
            return unquote(line.mid(eq + 1).trimmed());
    }
    return {};
}

} // namespace

namespace ReadWrite {

QString ReadIniValue(const QString& section, const QString& key) {
    QFile file(AppPaths::IniPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString value = findValue(decodeFile(file.readAll()), section, key);
    value.truncate(kMaxValueLength);
    if (value.size() < 2)
        return {};
    return value;
}

} // namespace ReadWrite
