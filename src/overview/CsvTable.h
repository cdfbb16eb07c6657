// A table as the CSV file that spreadsheets used in Brazil open directly:
// UTF-8 with a byte-order mark, ";" between cells, CR LF between lines.
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace CsvTable {

// The header line, then one line per row. A cell holding ";", a quote, a
// line break or leading/trailing blanks is put in quotes (quotes doubled); a
// cell starting with "=", "+", "-", "@", TAB or CR gets a leading "'" so no
// spreadsheet reads it as a formula.
QByteArray write(const QStringList& header, const QList<QStringList>& rows);

} // namespace CsvTable
