// One SOAP call's request and the reading of its reply, shared by the
// blocking transport (SoapTransport) and the parallel calls (SoapBatch), so
// both send the same bytes to the same address and judge answers alike.
#pragma once

#include "net/ProxyAuth.h"
#include "net/SoapEnvelope.h"

#include <QByteArray>
#include <QList>
#include <QNetworkProxy>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace SoapRequest {

// "http://" + host + ":" + port + path from section "servidor" of the
// settings, as written. Throws NetworkError(InvalidAddress) when host or port
// is empty, the host is more than a host, or the address is not valid.
QUrl serviceUrl(const QString& path);

// The POST request for operation at url: "Content-Type: text/xml" and
// "SOAPAction: " + operation.
QNetworkRequest request(const QUrl& url, const QString& operation);

// The envelope of operation and params as UTF-8.
QByteArray body(const QString& operation, const QList<Soap::SoapParam>& params);

// Posts the call through network's proxy on the shared HTTP engine
// (net/CurlReply.h): connections kept alive and reused, the answer's heads
// read within a bound, its body decoded within SoapTransport::kMaxAnswerBytes
// (and one byte more, so the reader can tell it passed), whatever its framing.
// A proxy's demand for a password reaches network's
// proxyAuthenticationRequired, as Qt's would. The caller must read the reply
// as it signals readyRead. The reply is the caller's to delete.
QNetworkReply* post(QNetworkAccessManager& network, const QUrl& url, const QString& operation,
                    const QList<Soap::SoapParam>& params);

// The proxy for a call to url, as section "proxy" of the settings says now
// (the system mode keeps Qt's own choice, loopback is always direct). Throws
// NetworkError(InvalidAddress) when the manual proxy lacks a host or port.
QNetworkProxy proxyFor(const QUrl& url);

// The answer of a finished reply whose body was read into `body`: decoded by
// its declared charset, whatever the HTTP status. Throws NetworkError when
// the server gave no answer or cut it short (no HTTP status, a connection or
// proxy failure, a body that failed whatever the status); a proxy's
// refusal is described by ProxyAuth::refusalText(demand).
QString answerOf(QNetworkReply& reply, const QByteArray& body, ProxyAuth::Demand demand);

// What the support log calls this call: operation, the address as the
// settings give it, and each parameter, a key with its last two characters
// only and a value longer than a few words by its size.
QString logLabel(const QString& path, const QString& operation,
                 const QList<Soap::SoapParam>& params);

// One line of the support log for a call labelled by logLabel that took ms:
// the answer's HTTP status and size, or why it failed.
void logAnswered(const QString& label, qint64 ms, int status, qsizetype answerChars);
void logFailed(const QString& label, qint64 ms, qint32 number, const QString& why);

} // namespace SoapRequest
