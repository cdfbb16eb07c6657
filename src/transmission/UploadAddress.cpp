// Upload addresses of the declaration and Simples Nacional windows.
#include "transmission/UploadAddress.h"

#include "net/ServerHost.h"
#include "store/ContadorRepository.h"

namespace {

// Left empty, the host makes the engine refuse the address before sending.
QString hostPart(const QString& host) {
    return ServerHost::isPlainHost(host) ? host : QString();
}

} // namespace

namespace UploadAddress {

QString accountant(LocalDb& db) {
    const std::optional<ContadorRow> row = selectContador(db);
    return row ? row->cont_cpf_cnpj : QString();
}

QString declaration(const QString& host, const QString& port, const QString& ie,
                    const QString& contador, const QString& chave, const QString& gias) {
    return QStringLiteral("http://") + hostPart(host) + QLatin1Char(':') + port +
           QStringLiteral("/client/xt_upload_1_15_01.php?ie=") + ie + QStringLiteral("&contador=") +
           contador + QStringLiteral("&chave=") + chave + QStringLiteral("&gias=") + gias;
}

QString simples(const QString& host, const QString& port, const QString& contador,
                const QString& chave) {
    return QStringLiteral("http://") + hostPart(host) + QLatin1Char(':') + port +
           QStringLiteral(" /client/xt_upload_simples.php?contador=") + contador +
           QStringLiteral("&chave=") + chave + QStringLiteral("&gias=");
}

} // namespace UploadAddress
