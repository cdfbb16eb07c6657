// Pages the server serves to a browser (the printable receipt), fetched with
// a GET on the same engine and request rules as the SOAP calls.
#pragma once

#include <QByteArray>
#include <QUrl>

// A page as served: nothing decoded beyond the transfer's content coding.
struct HttpPage {
    int status = 0;         // the HTTP status
    QByteArray contentType; // the Content-Type field as sent, empty without one
    QByteArray body;        // the bytes as served
};

class PageClient {
public:
    virtual ~PageClient() = default;
    // The page at url, whatever its HTTP status. Throws NetworkError when no
    // whole answer came (unreachable, a time-out, past the size bound,
    // cancelled).
    virtual HttpPage get(const QUrl& url) = 0;
};
