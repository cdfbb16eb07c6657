// How one file goes to the server, the same for every sender (the two
// transmission windows and the batch queue): the form field and type of the
// file part, the start of the socket upload from an address, and the reply
// read as text. Whoever sends uses these, so every sender's request is the
// same bytes for the same file and address.
#pragma once

#include <QByteArray>
#include <QString>

class MultipartUpload;

namespace SingleUpload {

// The form field that carries the file, and the type the file part declares.
inline const QString kFileField = QStringLiteral("objArquivo");
inline const QString kMimeType = QStringLiteral("application/octet-stream");

// Starts `upload` of the file at `path` (sent under its own file name) to
// `address` (UploadAddress::declaration or ::simples), the part named
// `fieldName` of type `mimeType`. Returns what MultipartUpload::start
// returns: false when it is busy or after it emitted failed() (nothing sent).
bool start(MultipartUpload& upload, const QString& address, const QString& path,
           const QString& fieldName = kFileField, const QString& mimeType = kMimeType);

// The reply as text: UTF-8 when it reads as such, else one byte per character.
QString replyText(const QByteArray& reply);

} // namespace SingleUpload
