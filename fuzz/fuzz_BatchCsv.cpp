// Fuzz target for the command line's CSV reader: any bytes give rows or a
// refusal, never a crash; the rows read, written back with the output's
// quoting under a header, read back as the same rows (so what the command
// prints can be read as its input is).
#include "batchcommand/BatchCsv.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString folder = QStringLiteral("/lote");
    const std::optional<QList<BatchCsv::Row>> rows = BatchCsv::read(bytes, folder, nullptr);
    if (!rows)
        return 0;
    QString written = QStringLiteral("IE;arquivo;referências\n");
    for (const BatchCsv::Row& row : *rows)
        written += BatchCsv::quoted(row.ie) + QLatin1Char(';') + BatchCsv::quoted(row.filePath) +
                   QLatin1Char(';') + BatchCsv::quoted(row.references) + QLatin1Char('\n');
    const std::optional<QList<BatchCsv::Row>> again =
        BatchCsv::read(written.toUtf8(), folder, nullptr);
    if (!again || again->size() != rows->size())
        __builtin_trap();
    for (qsizetype i = 0; i < rows->size(); ++i) {
        const BatchCsv::Row& a = rows->at(i);
        const BatchCsv::Row& b = again->at(i);
        if (a.ie != b.ie || a.filePath != b.filePath || a.references != b.references)
            __builtin_trap();
    }
    return 0;
}
