// One SOAP call's request and the reading of its reply, shared by the
// blocking transport (SoapTransport) and the parallel calls (SoapBatch), so
// both send the same bytes to the same address and judge answers alike.
#pragma once

#include "net/SoapEnvelope.h"

#include <QByteArray>
#include <QList>
#include <QNetworkProxy>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

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

// The proxy for a call to url, as section "proxy" of the settings says now
// (the system mode keeps Qt's own choice, loopback is always direct). Throws
// NetworkError(InvalidAddress) when the manual proxy lacks a host or port.
QNetworkProxy proxyFor(const QUrl& url);

// The answer of a finished reply whose body was read into `body`: decoded by
// its declared charset, whatever the HTTP status. Throws NetworkError when
// the server gave no answer or cut it short (no HTTP status, a connection or
// proxy failure, a body that failed under a success status).
QString answerOf(QNetworkReply& reply, const QByteArray& body);

} // namespace SoapRequest
