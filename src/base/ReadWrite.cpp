// Small INI reader with the results of the platform's profile-string reader
// (Qt's own settings class differs: case-sensitive keys, escapes, no quirks).
#include "base/ReadWrite.h"

#include "base/AppPaths.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringList>

#include <optional>
#include <utility>

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

// How a file's text is stored, so that a rewrite keeps it.
enum class Encoding { Utf16LE, Utf16BE, Utf8Bom, Utf8, Latin1 };

Encoding encodingOf(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE"))
        return Encoding::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return Encoding::Utf16BE;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return Encoding::Utf8Bom;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8.decode(bytes); // decoding happens on conversion
    return utf8.hasError() ? Encoding::Latin1 : Encoding::Utf8;
}

// The text in the file's encoding, mark included; empty optional when a
// character cannot be stored in it.
std::optional<QByteArray> encodeAs(Encoding encoding, const QString& text) {
    switch (encoding) {
    case Encoding::Utf16LE:
    case Encoding::Utf16BE: {
        QStringEncoder enc(encoding == Encoding::Utf16LE ? QStringEncoder::Utf16LE
                                                         : QStringEncoder::Utf16BE);
        const QByteArray mark =
            encoding == Encoding::Utf16LE ? QByteArray("\xFF\xFE", 2) : QByteArray("\xFE\xFF", 2);
        return mark + QByteArray(enc.encode(text));
    }
    case Encoding::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case Encoding::Utf8:
        return text.toUtf8();
    case Encoding::Latin1:
        for (const QChar c : text)
            if (c.unicode() > 0xFF)
                return std::nullopt;
        return text.toLatin1();
    }
    return std::nullopt;
}

// [start, end) of the first section named section in text (its header line
// through the line before the next header), or an empty optional.
std::optional<std::pair<qsizetype, qsizetype>> sectionSpan(const QString& text,
                                                           const QString& section) {
    qsizetype lineStart = 0;
    std::optional<qsizetype> start;
    while (lineStart < text.size()) {
        qsizetype lineEnd = lineStart;
        while (lineEnd < text.size() && text[lineEnd] != QLatin1Char('\n') &&
               text[lineEnd] != QLatin1Char('\r'))
            ++lineEnd;
        qsizetype next = lineEnd;
        if (next < text.size() && text[next] == QLatin1Char('\r'))
            ++next;
        if (next < text.size() && text[next] == QLatin1Char('\n') &&
            (next == lineEnd || text[next - 1] == QLatin1Char('\r')))
            ++next;
        const QString line = text.mid(lineStart, lineEnd - lineStart).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            if (start)
                return std::make_pair(*start, lineStart);
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            if (sameName(line.mid(1, close < 0 ? -1 : close - 1), section))
                start = lineStart;
        }
        lineStart = next;
    }
    if (start)
        return std::make_pair(*start, text.size());
    return std::nullopt;
}

QString lineEndOf(const QString& text) {
    const qsizetype lf = text.indexOf(QLatin1Char('\n'));
    const qsizetype cr = text.indexOf(QLatin1Char('\r'));
    if (cr >= 0 && (lf < 0 || cr < lf))
        return lf == cr + 1 ? QStringLiteral("\r\n") : QStringLiteral("\r");
    return QStringLiteral("\n");
}

bool hasLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
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

bool WriteIniSection(const QString& section, const QList<QPair<QString, QString>>& values) {
    if (sameName(section, QStringLiteral("servidor")) || section.trimmed().isEmpty() ||
        hasLineBreak(section))
        return false;
    for (const auto& [key, value] : values)
        if (hasLineBreak(key) || hasLineBreak(value) || key.contains(QLatin1Char('=')))
            return false;

    const QString path = AppPaths::IniPath();
    QByteArray bytes;
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            return false;
        bytes = file.readAll();
        file.close();
    }
    const Encoding encoding = encodingOf(bytes);
    const QString text = decodeFile(bytes);
    const QString eol = lineEndOf(text);

    QString block = QLatin1Char('[') + section + QLatin1Char(']') + eol;
    for (const auto& [key, value] : values)
        block += key + QLatin1Char('=') + value + eol;

    QString updated;
    if (const auto span = sectionSpan(text, section)) {
        updated = text.left(span->first) + block + text.mid(span->second);
    } else {
        // A last line without its end gets one, so the new header starts a line.
        const bool open = !text.isEmpty() && !text.endsWith(QLatin1Char('\n')) &&
                          !text.endsWith(QLatin1Char('\r'));
        updated = text + (open ? eol : QString()) + block;
    }
    const std::optional<QByteArray> out = encodeAs(encoding, updated);
    if (!out)
        return false;

    QSaveFile save(path);
    if (!save.open(QIODevice::WriteOnly))
        return false;
    if (save.write(*out) != out->size())
        return false;
    return save.commit();
}

} // namespace ReadWrite
