// The CSV the command line sends from: one row per file, fields separated by
// ";" (UTF-8, a byte-order mark ignored, line ends LF or CRLF):
//
//   IE;arquivo;referências
//   86123452;BACKUP 2026-01.ZIP;01/2026 02/2026
//   78045302;PGDAS-D.pdf
//
// The references are the third field, months "MM/AAAA" separated by blanks
// or commas; they may also come as more fields ("86123452;b.zip;01/2026;
// 02/2026"), so a spreadsheet's own ";" between months works. A field may be
// quoted ("...", a quote inside written twice), for a file name holding ";".
// The first line is a header when its first field has no digit. Empty lines
// are skipped. A relative file name is read from the CSV's own folder.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace BatchCsv {

struct Row {
    int line = 0; // in the file, from 1
    QString ie;
    QString filePath;   // absolute
    QString references; // as written, months joined by blanks
};

// Reads the CSV's bytes; `folder` resolves relative file names. nullopt when
// the text is not UTF-8, a quote is left open, a row has fewer than two
// fields or an empty IE or file, or no row is found; `error` then says which
// line and why, in Portuguese.
std::optional<QList<Row>> read(const QByteArray& bytes, const QString& folder, QString* error);

} // namespace BatchCsv
