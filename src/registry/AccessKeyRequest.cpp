// The access-key request and the reading of its fixed-position answer.
#include "registry/AccessKeyRequest.h"

#include "base/RuntimeError.h"
#include "net/SoapClient.h"
#include "net/SoapEnvelope.h"

#include <QLocale>

namespace {

constexpr qint32 kErrorNumber = static_cast<qint32>(0x80040101u);

RuntimeError unreadable(const QString& what) {
    return RuntimeError(kErrorNumber, AccessKey::kOperation, what);
}

// The server writes its clock as "yyyy-MM-dd HH:mm:ss"; older servers wrote
// the Brazilian form. Read with the C locale so the running locale never
// changes the outcome.
QDateTime readServerDate(const QString& text) {
    const QLocale c = QLocale::c();
    for (const auto& format :
         {QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("dd/MM/yyyy HH:mm:ss")}) {
        QDateTime d = c.toDateTime(text, format);
        if (d.isValid())
            return d;
    }
    return {};
}

} // namespace

namespace AccessKey {

AccessKeyAnswer readAnswer(const QString& body) {
    AccessKeyAnswer answer;
    if (body.contains(QLatin1String("NAO_AUTORIZADO"), Qt::CaseInsensitive))
        return answer;
    const QString record = Soap::GetResult(body, QStringLiteral("return"));
    if (record.isEmpty())
        throw unreadable(QStringLiteral("A resposta do servidor não contém o resultado."));
    answer.serverDate = readServerDate(record.mid(20, 19));
    if (!answer.serverDate.isValid())
        throw unreadable(QStringLiteral("A resposta do servidor não contém a data do servidor."));
    answer.authorised = true;
    answer.simples = record.mid(50, 1) == QLatin1String("S");
    answer.key = record.mid(60, 8);
    return answer;
}

} // namespace AccessKey

AccessKeyAnswer requestAccessKey(SoapClient& soap, const QString& ie, const QString& cnpj) {
    const QString body = soap.call(Soap::ServicePath, AccessKey::kOperation,
                                   {{QStringLiteral("ie"), ie},
                                    {QStringLiteral("cnpj"), cnpj},
                                    {QStringLiteral("key"), AccessKey::kRequestKey}});
    return AccessKey::readAnswer(body);
}
