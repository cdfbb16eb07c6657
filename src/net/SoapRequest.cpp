// The request and reply rules every SOAP call follows.
#include "net/SoapRequest.h"

#include "base/LogMasking.h"
#include "base/ReadWrite.h"
#include "base/SupportLog.h"
#include "net/AnswerText.h"
#include "net/CurlReply.h"
#include "net/NetworkError.h"
#include "net/ProxySettings.h"
#include "net/ServerHost.h"
#include "net/SoapTransport.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStringList>

namespace {

// Longest parameter value the support log writes out. Longer ones (names,
// addresses, certificates) would swell the log and spread what support does
// not need; they are given by their size.
constexpr qsizetype kLoggedValueLimit = 24;

} // namespace

namespace SoapRequest {

QUrl serviceUrl(const QString& path) {
    const QString host =
        ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"));
    const QString port =
        ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port"));
    // Built exactly as the settings give it; what cannot be sent is refused
    // (the request would otherwise go to a default port or nowhere).
    const QString text = QLatin1String("http://") + host + QLatin1Char(':') + port + path;
    if (host.isEmpty() || port.isEmpty())
        throw NetworkError(NetworkError::InvalidAddress,
                           QStringLiteral("Host or port missing in the settings: %1").arg(text));
    if (!ServerHost::isPlainHost(host))
        throw NetworkError(NetworkError::InvalidAddress,
                           QStringLiteral("The host setting holds more than a host: %1").arg(host));
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.port() < 0)
        throw NetworkError(NetworkError::InvalidAddress,
                           QStringLiteral("Invalid server address: %1").arg(text));
    return url;
}

QNetworkRequest request(const QUrl& url, const QString& operation) {
    QNetworkRequest r(url);
    r.setRawHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/xml"));
    r.setRawHeader(QByteArrayLiteral("SOAPAction"), operation.toUtf8());
    return r;
}

QByteArray body(const QString& operation, const QList<Soap::SoapParam>& params) {
    return Soap::BuildSoapRequest(operation, params).toUtf8();
}

QNetworkReply* post(QNetworkAccessManager& network, const QUrl& url, const QString& operation,
                    const QList<Soap::SoapParam>& params) {
    return new CurlReply(network, request(url, operation), body(operation, params),
                         SoapTransport::kMaxAnswerBytes);
}

QNetworkProxy proxyFor(const QUrl& url) {
    const ProxySettings::Settings settings = ProxySettings::read();
    if (!settings.usable())
        throw NetworkError(
            NetworkError::InvalidAddress,
            QStringLiteral("O proxy manual não tem host ou porta nas configurações."));
    return settings.mode == ProxySettings::Mode::System && !ProxySettings::isLoopback(url.host())
               ? QNetworkProxy(QNetworkProxy::DefaultProxy)
               : ProxySettings::proxyFor(settings, url.host(), static_cast<quint16>(url.port()));
}

QString answerOf(QNetworkReply& reply, const QByteArray& body, ProxyAuth::Demand demand) {
    // An HTTP status means the server answered: its whole body is the result,
    // error status or not. Without one the request never got an answer. The
    // engine reports no error for an error status, so any error is the answer
    // itself failing (cut short, not decoding, past a bound), never a
    // shorter answer, whatever the status.
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int code = static_cast<int>(reply.error());
    if (code == QNetworkReply::ProxyAuthenticationRequiredError)
        throw NetworkError(static_cast<qint32>(code), ProxyAuth::refusalText(demand));
    if (!status.isValid() || code != 0)
        throw NetworkError(static_cast<qint32>(code), reply.errorString());
    return AnswerText::decode(body, reply.rawHeader(QByteArrayLiteral("Content-Type")));
}

QString logLabel(const QString& path, const QString& operation,
                 const QList<Soap::SoapParam>& params) {
    QStringList shown;
    for (const Soap::SoapParam& p : params) {
        const QString value = LogMasking::field(p.name, p.value);
        shown << p.name + QLatin1Char('=') +
                     (value.size() <= kLoggedValueLimit
                          ? value
                          : QStringLiteral("(%1 caracteres)").arg(p.value.size()));
    }
    // One arg() for all: a "%" in a parameter must stay as it is.
    return QStringLiteral("%1 http://%2:%3%4 [%5]")
        .arg(operation, ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host")),
             ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port")), path,
             shown.join(QLatin1Char(' ')));
}

void logAnswered(const QString& label, qint64 ms, int status, qsizetype answerChars) {
    SupportLog::write(QStringLiteral("servidor"),
                      QStringLiteral("%1 %2 ms: resposta HTTP %3, %4 caracteres")
                          .arg(label, QString::number(ms), QString::number(status),
                               QString::number(answerChars)));
}

void logFailed(const QString& label, qint64 ms, qint32 number, const QString& why) {
    SupportLog::write(QStringLiteral("servidor"),
                      QStringLiteral("%1 %2 ms: falhou (%3) %4")
                          .arg(label, QString::number(ms), QString::number(number), why));
}

} // namespace SoapRequest
