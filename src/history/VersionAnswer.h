// The answer to the version call "Transferencia.ver2" as the update notice
// reads it: the server's date-time, the working years and the newest program
// version at fixed character positions of the "return" text, the rejected-key
// marker, and the comparison with the installed version text of info.dip.
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace History {

// Characters `start` (counting from 1) to start + length - 1 of `text`; fewer
// (possibly none) when the text is shorter. start < 1 counts as 1.
QString Mid(const QString& text, int start, int length);

// The server's date-time from its 19 characters. Accepted layouts, whatever
// the running locale: "yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss" and the
// Brazilian "dd/MM/yyyy HH:mm:ss". Read as local time of this machine (the
// server states no zone). nullopt when the text is none of these or names a
// date or time that does not exist.
std::optional<QDateTime> parseServerDateTime(const QString& text);

// What the version answer carries besides the list.
struct VersionFields {
    QDateTime dataServidor; // characters 32 to 50
    QString anoTrabalho;    // characters 59 to 67, as sent (blanks kept)
    QString novaVersao;     // characters 78 to 97, as sent; shorter when the text is
};

// Reads the fields from the "return" text. Throws RuntimeError when
// characters 32 to 50 are not a date-time (a text shorter than 50 characters
// included).
VersionFields readVersionFields(const QString& returnText);

// True when the server rejected the access key: the whole answer (not only
// its "return" text) contains "CHAVE_I", compared case-sensitively.
bool keyRejected(const QString& wholeAnswer);

// True when the whole answer contains the installed version text, line
// breaks included; an empty installed text is contained in any answer.
bool isUpToDate(const QString& wholeAnswer, const QString& installedVersion);

// Caption of the new-version notice.
QString newVersionCaption(const QString& novaVersao);

// The whole content of the installed version file (info.dip), line breaks
// kept as they are in the file. UTF-8, or Latin-1 when the bytes are not
// UTF-8; a UTF-8 byte-order mark is not part of the text. Throws RuntimeError
// when the file cannot be opened or read.
QString readInstalledVersion(const QString& path);

} // namespace History
