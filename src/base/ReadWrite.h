// Settings reader: the server's host and port come from section "servidor"
// of the settings file (AppPaths::IniPath()), read afresh at every call so an
// edit takes effect at the next call without a restart. The client writes
// only sections of its own (the proxy), never "servidor".
//
// The file is a plain INI file: "[section]" lines, then "key=value" lines.
// Section and key names are compared without regard to case and with blanks
// around them ignored; only the first section of a name is searched and the
// first matching key in it wins. The value loses the blanks around it and one
// pair of matching quotes ("..." or '...') around it. Lines without "=" are
// ignored. The file may be UTF-8 (with or without a byte-order mark), UTF-16
// of either byte order with its byte-order mark (as Windows tools save it),
// or a single-byte Latin-1 file; lines may end in LF, CR LF or CR, and the
// last line needs no line end.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace ReadWrite {

// Value of key in section, or the empty text when the file, the section or the
// key is missing or the file cannot be read. Two quirks the client has always
// had are kept: a value of exactly one character reads as empty, and a value
// longer than 254 characters comes back cut to its first 254. Never throws.
QString ReadIniValue(const QString& section, const QString& key);

// Replaces the first section of that name with "[section]" and the given
// "key=value" lines (or appends it at the end when there is none). Every other
// byte of the file stays as it was: the text is kept in the file's own
// encoding (UTF-16 with its mark, UTF-8 with or without one, else Latin-1),
// and new lines end like the file's first line. A missing file is created as
// UTF-8. The file is replaced whole (write aside, then rename), never left
// half-written. Refuses (false, file untouched) section "servidor", a value
// that the file's encoding cannot hold, a name or value with a line break,
// and a file that cannot be read or written. Never throws.
bool WriteIniSection(const QString& section, const QList<QPair<QString, QString>>& values);

} // namespace ReadWrite
