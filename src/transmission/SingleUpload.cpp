// The one way a file is sent, shared by the windows and the batch queue.
#include "transmission/SingleUpload.h"

#include "net/MultipartUpload.h"
#include "net/url_helper.h"

#include <QFileInfo>
#include <QStringDecoder>

namespace SingleUpload {

bool start(MultipartUpload& upload, const QString& address, const QString& path,
           const QString& fieldName, const QString& mimeType) {
    const UrlParts parts = url_helper::ExtractUrl(address);
    return upload.start(parts, path, QFileInfo(path).fileName(), fieldName, mimeType);
}

QString replyText(const QByteArray& reply) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(reply);
    return utf8.hasError() ? QString::fromLatin1(reply) : text;
}

} // namespace SingleUpload
