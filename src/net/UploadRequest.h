// The HTTP/1.0 multipart/form-data request that carries one file to the
// server. The request is kept as head bytes + the file on disk + tail bytes so
// that a large file is streamed from disk instead of being copied into memory;
// RenderRequest joins the three when the whole request is wanted at once.
//
// Wire layout (CRLF = "\r\n", B = boundary, L = body length):
//   POST <URI>?<Query> HTTP/1.0 CRLF            ("?" even when Query is empty)
//   Host: <Host> CRLF                            (never the port)
//   Content-Type: multipart/form-data, boundary=B CRLF   (a comma, as the server expects)
//   Content-Length: L CRLF
//   CRLF
//   --B CRLF
//   Content-Disposition: form-data; name="<field>"; filename="<file name>" CRLF
//   Content-Type: <MIME type> CRLF
//   CRLF
//   <file bytes>
//   CRLF --B--                                   (no line break after it)
//
// The file name is written in Windows-1252, the code page in which the server
// has always received file names (it holds the en dash, curly quotes and the
// euro sign that Latin-1 lacks); a name with a character outside it is refused.
// The other header texts are written one byte per character (Latin-1).
// Nothing is percent-encoded or escaped.
#pragma once

#include "net/url_helper.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace upload {

// n characters drawn uniformly from A-Z, a-z and 0-9 (QRandomGenerator::global,
// which is seeded by the system; no clock seeding needed). n <= 0 gives "".
QString RandomAlphaNumeric(int n);

// The whole file's bytes. Throws RuntimeError (source "ReadWholeFile", number =
// the QFileDevice::FileError code, description = the system's text) when the file
// cannot be opened or read in full; never returns partial content.
QByteArray ReadWholeFile(const QString& path);

// Empty when the texts can be written into the request as they are; otherwise the
// Portuguese message to show. Refused: a quotation mark, CR or LF in the file name
// or field name (they would end the quoted value or the header line), a file name
// character that Windows-1252 cannot hold, and CR or LF in the MIME type, host,
// path or query.
QString CheckHeaderValues(const UrlParts& url, const QString& fieldName, const QString& fileName,
                          const QString& mimeType);

// The file name's bytes as the request carries them (Windows-1252). Only for a
// name CheckHeaderValues accepts; a character outside the code page would come
// out as a substitute byte.
QByteArray FileNameBytes(const QString& fileName);

struct UploadRequest {
    QByteArray boundary;      // 32 characters of A-Z a-z 0-9
    QByteArray head;          // header lines, blank line and the part header, up to the file bytes
    QString filePath;         // file whose bytes follow head
    qint64 fileSize = 0;      // bytes of the file counted in Content-Length
    QByteArray tail;          // CRLF + "--" + boundary + "--"
    qint64 contentLength = 0; // bytes of the body, as written in the header

    // Bytes of the whole request on the wire.
    qint64 totalSize() const { return head.size() + fileSize + tail.size(); }
};

// The request for a file that stays on disk: fileSize is the size the caller found
// (Content-Length is computed from it; the sender must send exactly that many
// bytes). Throws RuntimeError (source "BuildFileUploadRequest", description =
// CheckHeaderValues' message) when a header value is refused.
UploadRequest BuildFileUploadRequest(const QString& filePath, qint64 fileSize, const UrlParts& url,
                                     const QString& fieldName, const QString& fileName,
                                     const QString& mimeType);

// The whole request for file bytes held in memory. Throws as above.
QByteArray BuildFileUploadRequest(const QByteArray& fileBytes, const UrlParts& url,
                                  const QString& fieldName, const QString& fileName,
                                  const QString& mimeType);

// The whole request as one byte string (reads a file-backed request's file with
// ReadWholeFile, so it throws what that throws, and a RuntimeError when the file no
// longer has the size counted in Content-Length). Meant for small files and tests.
QByteArray RenderRequest(const UploadRequest& request);

} // namespace upload
