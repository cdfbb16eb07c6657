// Builds the multipart upload request: boundary, head, tail and Content-Length.
#include "net/UploadRequest.h"

#include "base/RuntimeError.h"
#include "net/CodePage1252.h"

#include <QFile>
#include <QRandomGenerator>

namespace upload {

namespace {

constexpr int kBoundaryLength = 32;
const char kCrlf[] = "\r\n";

bool hasLineBreak(const QString& s) {
    return s.contains(QLatin1Char('\r')) || s.contains(QLatin1Char('\n'));
}

bool hasQuoteOrLineBreak(const QString& s) {
    return hasLineBreak(s) || s.contains(QLatin1Char('"'));
}

// Part header and closing delimiter for one boundary; the file bytes go between.
struct BodyFrame {
    QByteArray partHeader;
    QByteArray tail;
};

BodyFrame makeFrame(const QByteArray& boundary, const QString& fieldName, const QString& fileName,
                    const QString& mimeType) {
    BodyFrame f;
    f.partHeader = QByteArray("--") + boundary + kCrlf;
    f.partHeader += QByteArray("Content-Disposition: form-data; name=\"") + fieldName.toLatin1() +
                    QByteArray("\"; filename=\"") + FileNameBytes(fileName) + QByteArray("\"") +
                    kCrlf;
    f.partHeader += QByteArray("Content-Type: ") + mimeType.toLatin1() + kCrlf;
    f.partHeader += kCrlf;
    f.tail = QByteArray(kCrlf) + QByteArray("--") + boundary + QByteArray("--");
    return f;
}

QByteArray makeHeaderLines(const UrlParts& url, const QByteArray& boundary, qint64 bodyLength) {
    QByteArray h;
    h += QByteArray("POST ") + url.URI.toLatin1() + QByteArray("?") + url.Query.toLatin1() +
         QByteArray(" HTTP/1.0") + kCrlf;
    h += QByteArray("Host: ") + url.Host.toLatin1() + kCrlf;
    h += QByteArray("Content-Type: multipart/form-data, boundary=") + boundary + kCrlf;
    h += QByteArray("Content-Length: ") + QByteArray::number(bodyLength) + kCrlf;
    h += kCrlf;
    return h;
}

void refuseBadValues(const UrlParts& url, const QString& fieldName, const QString& fileName,
                     const QString& mimeType) {
    const QString problem = CheckHeaderValues(url, fieldName, fileName, mimeType);
    if (!problem.isEmpty())
        throw RuntimeError(0, QStringLiteral("BuildFileUploadRequest"), problem);
}

} // namespace

QString RandomAlphaNumeric(int n) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    constexpr int kAlphabetSize = sizeof(kAlphabet) - 1;
    QString out;
    if (n <= 0)
        return out;
    out.reserve(n);
    auto* rng = QRandomGenerator::global();
    for (int i = 0; i < n; ++i)
        out += QLatin1Char(kAlphabet[rng->bounded(kAlphabetSize)]);
    return out;
}

QByteArray ReadWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(static_cast<qint32>(file.error()), QStringLiteral("ReadWholeFile"),
                           file.errorString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError(static_cast<qint32>(file.error()), QStringLiteral("ReadWholeFile"),
                           file.errorString());
    return bytes;
}

QString CheckHeaderValues(const UrlParts& url, const QString& fieldName, const QString& fileName,
                          const QString& mimeType) {
    if (hasQuoteOrLineBreak(fileName))
        return QStringLiteral("O nome do arquivo contém aspas ou quebra de linha e não pode ser "
                              "enviado. Renomeie o arquivo e tente novamente.");
    if (const QString bad = CodePage1252::firstOutside(fileName); !bad.isEmpty())
        return QStringLiteral("O nome do arquivo contém o caractere \"%1\", que não pode ser "
                              "enviado ao servidor. Renomeie o arquivo sem esse caractere e "
                              "tente novamente.")
            .arg(bad);
    if (hasQuoteOrLineBreak(fieldName))
        return QStringLiteral("O nome do campo contém aspas ou quebra de linha.");
    if (hasLineBreak(mimeType))
        return QStringLiteral("O tipo MIME contém quebra de linha.");
    if (hasLineBreak(url.Host) || hasLineBreak(url.URI) || hasLineBreak(url.Query))
        return QStringLiteral("O endereço de envio contém quebra de linha.");
    return {};
}

QByteArray FileNameBytes(const QString& fileName) {
    return CodePage1252::encode(fileName);
}

UploadRequest BuildFileUploadRequest(const QString& filePath, qint64 fileSize, const UrlParts& url,
                                     const QString& fieldName, const QString& fileName,
                                     const QString& mimeType) {
    refuseBadValues(url, fieldName, fileName, mimeType);
    UploadRequest r;
    r.boundary = RandomAlphaNumeric(kBoundaryLength).toLatin1();
    const BodyFrame frame = makeFrame(r.boundary, fieldName, fileName, mimeType);
    const qint64 bodyLength = frame.partHeader.size() + fileSize + frame.tail.size();
    r.head = makeHeaderLines(url, r.boundary, bodyLength) + frame.partHeader;
    r.filePath = filePath;
    r.fileSize = fileSize;
    r.tail = frame.tail;
    r.contentLength = bodyLength;
    return r;
}

QByteArray BuildFileUploadRequest(const QByteArray& fileBytes, const UrlParts& url,
                                  const QString& fieldName, const QString& fileName,
                                  const QString& mimeType) {
    refuseBadValues(url, fieldName, fileName, mimeType);
    const QByteArray boundary = RandomAlphaNumeric(kBoundaryLength).toLatin1();
    const BodyFrame frame = makeFrame(boundary, fieldName, fileName, mimeType);
    const QByteArray body = frame.partHeader + fileBytes + frame.tail;
    return makeHeaderLines(url, boundary, body.size()) + body;
}

QByteArray RenderRequest(const UploadRequest& request) {
    const QByteArray bytes = ReadWholeFile(request.filePath);
    if (bytes.size() != request.fileSize)
        throw RuntimeError(0, QStringLiteral("RenderRequest"),
                           QStringLiteral("O arquivo foi alterado depois de preparado o envio."));
    return request.head + bytes + request.tail;
}

} // namespace upload
