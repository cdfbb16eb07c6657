// What the Simples Nacional window reads in the server's reply to an extract
// upload, and its test of the chosen file's name. The server judges the file;
// it marks a refusal with one of three texts, each of which has its message.
#pragma once

#include <QByteArray>
#include <QStringList>

namespace SimplesReply {

// Messages for the markers found in the reply, in the fixed order extract,
// receipt, modified; each marker is looked for on its own, so a reply may give
// more than one. Empty when the reply holds none (no word of success is read).
QStringList messages(const QByteArray& reply);

// Whether the chosen file may be sent: its last three characters, lower-cased,
// are "pdf" ("EXTRATO.PDF" is, "extrato.pdf.txt" is not).
bool isPdfName(const QString& fileName);

} // namespace SimplesReply
