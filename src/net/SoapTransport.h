// The SOAP transport of the program: one HTTP POST per call over Qt's network
// access manager, to the host and port the settings name at the moment of the
// call.
//
// The call blocks its caller but not the windows: it waits in a local event
// loop that excludes user input, so windows keep painting while the user
// cannot start a second action, and a busy indicator is shown meanwhile.
//
// Time-outs (defaults, see SoapTimeouts): 15 s to connect and send the
// request, then 60 s without any data from the server. Both end the call with
// a NetworkError.
//
// Proxy: the system's proxy settings apply, except that loopback hosts
// (localhost, 127.0.0.0/8, ::1) are always reached directly.
// Redirects are not followed: a 3xx answer is returned like any other body.
#pragma once

#include "net/SoapClient.h"

#include <chrono>
#include <memory>

class BusyIndicator;
class QNetworkAccessManager;

struct SoapTimeouts {
    // From the start of the call until the request has been sent: name
    // look-up, connection, request.
    std::chrono::milliseconds connect{15000};
    // After the request has been sent, the longest silence from the server.
    std::chrono::milliseconds read{60000};
};

class SoapTransport : public SoapClient {
public:
    // busy: shown during each call; may be null; not owned, must outlive the
    // transport. Must be created and used on one thread that runs Qt events.
    explicit SoapTransport(BusyIndicator* busy = nullptr, SoapTimeouts timeouts = {});
    ~SoapTransport() override;
    SoapTransport(const SoapTransport&) = delete;
    SoapTransport& operator=(const SoapTransport&) = delete;

    // Reads "host" and "port" of section "servidor" from the settings, posts
    // the envelope of operation and params as UTF-8 to
    // "http://" + host + ":" + port + path with "Content-Type: text/xml" and
    // "SOAPAction: " + operation, and returns the response body, UTF-8
    // decoded, whatever the HTTP status.
    // Throws NetworkError when host or port is empty or the address is not
    // valid (nothing is sent), and when the server cannot be reached, the
    // connection fails or a time-out expires.
    QString call(const QString& path, const QString& operation,
                 const QList<Soap::SoapParam>& params) override;

private:
    BusyIndicator* m_busy;
    SoapTimeouts m_timeouts;
    std::unique_ptr<QNetworkAccessManager> m_manager;
};
