// The SOAP transport of the program: one HTTP POST per call, on the shared
// HTTP engine (net/CurlReply.h, through SoapRequest::post) with a network
// access manager's proxy, to the host and port the settings name at the moment
// of the call.
//
// The call blocks its caller but not the windows: it waits in a local event
// loop that excludes user input, so windows keep painting while the user
// cannot start a second action, and a busy indicator is shown meanwhile. A
// call that lasts longer than a moment (SoapTimeouts::cancelOffer) is offered
// to the user to cancel through the busy indicator; a cancelled call fails.
//
// Time-outs (defaults, see SoapTimeouts): 15 s to connect and send the
// request, then 60 s without any data from the server, and 120 s for the whole
// call however the server trickles its answer. Each ends the call with a
// NetworkError.
//
// The answer's head is read within HttpHead::kMaxBytes and its body as it
// arrives, never held beyond kMaxAnswerBytes: a longer head or a larger body
// stops the reading and fails the call.
//
// Proxy: as section "proxy" of the settings says at the moment of the call
// (net/ProxySettings.h); loopback hosts (localhost, 127.0.0.0/8, ::1) are
// always reached directly. A proxy's demand for a password is answered through
// ProxyAuth.
// Redirects are not followed: a 3xx answer is returned like any other body.
//
// Every call leaves one line in the support log (base/SupportLog.h): the
// operation, the address, the parameters with access keys masked, the time it
// took and its outcome.
#pragma once

#include "net/PageClient.h"
#include "net/ProxyAuth.h"
#include "net/SoapClient.h"

#include <QByteArray>
#include <functional>

#include <chrono>
#include <memory>

class BusyIndicator;
class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

struct SoapTimeouts {
    // From the start of the call until the request has been sent: name
    // look-up, connection, request.
    std::chrono::milliseconds connect{15000};
    // After the request has been sent, the longest silence from the server.
    std::chrono::milliseconds read{60000};
    // From the start of the call until the whole answer is in, whatever the
    // server keeps sending.
    std::chrono::milliseconds total{120000};
    // How long a call waits before the user is offered to cancel it.
    std::chrono::milliseconds cancelOffer{1500};
};

class SoapTransport : public SoapClient, public PageClient {
public:
    // The largest answer body accepted, in bytes (after any content decoding).
    // The server's answers are a few kilobytes.
    static constexpr qint64 kMaxAnswerBytes = 4 * 1024 * 1024;
    // The largest page get() accepts (a printable receipt, HTML or PDF).
    static constexpr qint64 kMaxPageBytes = 8 * 1024 * 1024;

    // busy: shown during each call; proxyAuth: answers a proxy's demand for a
    // password. Both may be null; not owned, must outlive the transport. Must be
    // created and used on one thread that runs Qt events.
    explicit SoapTransport(BusyIndicator* busy = nullptr, SoapTimeouts timeouts = {},
                           ProxyAuth* proxyAuth = nullptr);
    ~SoapTransport() override;
    SoapTransport(const SoapTransport&) = delete;
    SoapTransport& operator=(const SoapTransport&) = delete;

    // Reads "host" and "port" of section "servidor" from the settings, posts
    // the envelope of operation and params as UTF-8 to
    // "http://" + host + ":" + port + path with "Content-Type: text/xml" and
    // "SOAPAction: " + operation, and returns the response body, whatever the
    // HTTP status, decoded by the charset it declares (UTF-8 when none; see
    // net/AnswerText.h).
    // Throws NetworkError when host or port is empty, the host is more than a
    // host (ServerHost::isPlainHost) or the address is not valid (nothing is
    // sent), and when the server cannot be reached, the connection fails, a
    // time-out or the total deadline expires, the answer is larger than
    // kMaxAnswerBytes, or the user cancels the call; also (InvalidAddress,
    // nothing sent) when the manual proxy lacks a host or port, and when the
    // proxy refuses the credentials (Qt's ProxyAuthenticationRequiredError).
    QString call(const QString& path, const QString& operation,
                 const QList<Soap::SoapParam>& params) override;

    // A GET of url (http only) with the same engine, proxy, time-outs and
    // cancel as call(), its body kept as served within kMaxPageBytes. The
    // support log's line names the page without its query. Throws
    // NetworkError as call() does (InvalidAddress for a URL that is not
    // http with a host); any HTTP status is returned, not thrown.
    HttpPage get(const QUrl& url) override;

private:
    QNetworkAccessManager& manager();
    // One transfer made by start on the manager, waited for with the
    // time-outs, the deadline and the cancel; body gets at most maxBytes of
    // its answer and demand what a proxy asked. Throws NetworkError when a
    // bound ends it; returns the finished reply.
    std::unique_ptr<QNetworkReply>
    transfer(const QUrl& url, qint64 maxBytes,
             const std::function<QNetworkReply*(QNetworkAccessManager&)>& start, QByteArray& body,
             ProxyAuth::Demand& demand);
    // One call as call() describes it, without the support log's line.
    QString exchange(const QString& path, const QString& operation,
                     const QList<Soap::SoapParam>& params);

    BusyIndicator* m_busy;
    SoapTimeouts m_timeouts;
    ProxyAuth* m_proxyAuth;
    std::unique_ptr<QNetworkAccessManager> m_manager; // see manager()
    int m_lastStatus = 0; // HTTP status of the last answer, 0 without one
};
