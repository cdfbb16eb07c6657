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
// Only the first line may be a header: it is one when its first field has no
// digit. Empty lines are skipped. A relative file name is read from the CSV's
// own folder. A control character (NUL, a tab, a lone carriage return...)
// anywhere refuses the file: it would end up in a file name or an output line.
// The command's output is written with the same quoting (quoted), so it reads
// back as it was written.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace BatchCsv {

// The largest CSV read, in bytes: a batch of a few thousand rows fits many
// times over; anything larger is refused before it is read.
constexpr qint64 kMaxBytes = 1 << 20;

struct Row {
    int line = 0; // in the file, from 1
    QString ie;
    QString filePath;   // absolute
    QString references; // as written, months joined by blanks
};

// The bytes of the CSV file at `path`, read only when it is a regular file of
// at most kMaxBytes (checked before it is opened and again on the open file,
// which is opened without blocking, so a FIFO or device put in its place is
// refused, never waited on). nullopt otherwise; `error` then says why in
// Portuguese, naming the file. Never throws.
std::optional<QByteArray> readFile(const QString& path, QString* error);

// Reads the CSV's bytes; `folder` resolves relative file names. nullopt when
// the text is not UTF-8, holds a control character, a quote is left open, a
// row has fewer than two fields, an empty IE or file, or an IE without a
// digit after the first line, or no row is found; `error` then says which
// line and why, in Portuguese.
std::optional<QList<Row>> read(const QByteArray& bytes, const QString& folder, QString* error);

// One field as the reader reads it back: quoted (a quote inside doubled) when
// it holds ";", a quote, a line break or blanks at either end; else as it is.
QString quoted(const QString& field);

} // namespace BatchCsv
