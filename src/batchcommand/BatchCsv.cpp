// Reading the command line's CSV.
#include "batchcommand/BatchCsv.h"

#include <QDir>
#include <QStringConverter>
#include <QStringDecoder>
#include <QStringList>

namespace BatchCsv {

namespace {

// Splits one line into fields; nullopt when a quote is left open.
std::optional<QStringList> fields(const QString& line) {
    QStringList out;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"' && field.trimmed().isEmpty()) {
            quoted = true;
            wasQuoted = true;
            field.clear();
        } else if (c == u';') {
            out << (wasQuoted ? field : field.trimmed());
            field.clear();
            wasQuoted = false;
        } else {
            field += c;
        }
    }
    if (quoted)
        return std::nullopt;
    out << (wasQuoted ? field : field.trimmed());
    return out;
}

bool hasDigit(const QString& text) {
    for (const QChar c : text)
        if (c.isDigit())
            return true;
    return false;
}

} // namespace

std::optional<QList<Row>> read(const QByteArray& bytes, const QString& folder, QString* error) {
    const auto fail = [&](const QString& why) -> std::optional<QList<Row>> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return fail(QStringLiteral("O arquivo CSV não está em UTF-8."));
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(QLatin1Char('\n'));
    QList<Row> rows;
    const QDir dir(folder);
    bool seenLine = false;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        const int number = int(n + 1);
        const std::optional<QStringList> parts = fields(line);
        if (!parts)
            return fail(QStringLiteral("Linha %1 do CSV: aspas não fechadas.").arg(number));
        const bool first = !seenLine;
        seenLine = true;
        if (first && !hasDigit(parts->value(0)))
            continue; // the header
        if (parts->size() < 2 || parts->at(0).isEmpty() || parts->at(1).isEmpty())
            return fail(QStringLiteral("Linha %1 do CSV: são esperados IE;arquivo;referências.")
                            .arg(number));
        QStringList months;
        for (qsizetype i = 2; i < parts->size(); ++i)
            if (!parts->at(i).trimmed().isEmpty())
                months << parts->at(i).trimmed();
        rows.append({number, parts->at(0), QDir::cleanPath(dir.absoluteFilePath(parts->at(1))),
                     months.join(QLatin1Char(' '))});
    }
    if (rows.isEmpty())
        return fail(QStringLiteral("O arquivo CSV não tem nenhuma linha a enviar."));
    return rows;
}

} // namespace BatchCsv
