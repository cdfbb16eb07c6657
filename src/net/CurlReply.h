// One HTTP/1.1 POST of a SOAP call on the shared libcurl engine
// (net/CurlEngine.h), presented as a QNetworkReply so every caller reads it as
// it read Qt's: connections are kept alive and reused from the engine's pool.
//
// The request's bytes are those Qt's network access sends for the same
// request (same fields, order and values), directly or through an HTTP proxy
// (absolute-form request line): libcurl's own fields are replaced or removed.
//
// The answer is bounded as it arrives: every head of the exchange together
// (interim 1xx ones, a proxy's 407) within HttpHead::kMaxBytes, counted line
// by line; the body decoded (gzip, deflate, br, zstd, which the request
// advertises) within maxBody bytes, its stream checked to have reached its
// end and nothing after it. A transfer passing a bound stops at once. An
// unsolicited 101 and an invalid or conflicting Content-Length fail the call.
// Redirects are not followed. Errors carry the numbers Qt's network access
// gives the same failures.
//
// Proxies: the network access manager's proxy (the system's choice for
// QNetworkProxy::DefaultProxy); loopback hosts are reached directly. A demand
// for a proxy password (407) is put to whoever listens to the manager's
// proxyAuthenticationRequired, as Qt would, with the authenticator holding
// what was sent (empty when nothing was). What they answer is sent on a new
// try of the call, by whichever method the proxy offered (Basic, Digest, NTLM,
// Negotiate). Only one demand is put to the listeners at a time: others
// arriving meanwhile wait for it and then are asked in turn, so a password
// typed once answers every call waiting.
#pragma once

#include <QByteArray>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>

#include <curl/curl.h>

#include <memory>

class ContentDecoder;
class CurlEngine;
class QNetworkAccessManager;

class CurlReply : public QNetworkReply {
    Q_OBJECT
public:
    // Starts posting body with request's URL and fields from the event loop,
    // through network's proxy; the decoded body may reach maxBody bytes and
    // one more (so a reader can tell it passed): then the call stops and
    // fails. network must outlive the reply.
    CurlReply(QNetworkAccessManager& network, const QNetworkRequest& request,
              const QByteArray& body, qint64 maxBody);
    // A GET of request's URL (a page the server serves, no body sent), read
    // within the same bounds and through the same proxy as a POST.
    static CurlReply* get(QNetworkAccessManager& network, const QNetworkRequest& request,
                          qint64 maxBody);
    ~CurlReply() override;

    void abort() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    // Why this side stopped a transfer from inside a libcurl callback.
    enum class Stop { None, HeadTooLong, Switching, BadLength, TooLarge, Undecodable };

    static size_t onHeader(char* data, size_t size, size_t count, void* reply);
    static size_t onBody(char* data, size_t size, size_t count, void* reply);
    static int onProgress(void* reply, curl_off_t, curl_off_t, curl_off_t upTotal,
                          curl_off_t upNow);
    size_t header(const QByteArray& line);
    size_t body(const char* data, size_t size);

    void start();
    void send();
    void setFields();
    void queueDelivery();
    // Emits what the callbacks gathered; false when the call ended meanwhile.
    bool deliver();
    void publishHead();
    void onDone(CURLcode result);
    void onProxyDemand();
    void fail(NetworkError code, const QString& text);
    void complete();
    void dropTransfer();

    QPointer<QNetworkAccessManager> m_network;
    QByteArray m_body;
    bool m_get = false;
    qint64 m_maxBody;
    QPointer<CurlEngine> m_engine;
    CURL* m_easy = nullptr;
    curl_slist* m_fields = nullptr;
    bool m_inEngine = false;

    QNetworkProxy m_proxy;     // the one the connection goes through
    bool m_forwarding = false; // through an HTTP proxy
    QString m_proxyUser;       // what this try sends the proxy; empty: nothing
    QString m_proxyPassword;
    int m_proxyAnswers = 0;
    bool m_waitingForAnswer = false; // another call's demand is being answered

    qint64 m_headBytes = 0; // of every head of this try
    QByteArray m_head;      // the head being read
    QByteArray m_finalHead; // the last whole non-interim head
    int m_finalStatus = 0;  // its status
    bool m_headPublished = false;
    Stop m_stop = Stop::None;
    std::unique_ptr<ContentDecoder> m_decoder;
    qint64 m_rawBytes = 0;
    qint64 m_decodedBytes = 0;
    QByteArray m_buffer; // decoded, for the reader
    bool m_sentPending = false;
    bool m_deliveryQueued = false;
};
