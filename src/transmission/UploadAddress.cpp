// Upload addresses of the declaration and Simples Nacional windows.
#include "transmission/UploadAddress.h"

namespace UploadAddress {

QString declaration(const QString& host, const QString& port, const QString& ie,
                    const QString& contador, const QString& chave, const QString& gias) {
    return QStringLiteral("http://") + host + QLatin1Char(':') + port +
           QStringLiteral("/client/xt_upload_1_15_01.php?ie=") + ie + QStringLiteral("&contador=") +
           contador + QStringLiteral("&chave=") + chave + QStringLiteral("&gias=") + gias;
}

QString simples(const QString& host, const QString& port, const QString& contador,
                const QString& chave) {
    return QStringLiteral("http://") + host + QLatin1Char(':') + port +
           QStringLiteral(" /client/xt_upload_simples.php?contador=") + contador +
           QStringLiteral("&chave=") + chave + QStringLiteral("&gias=");
}

} // namespace UploadAddress
