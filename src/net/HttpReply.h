// One HTTP/1.1 POST of a SOAP call, on a connection of its own, presented as
// a QNetworkReply so every caller reads it as it read Qt's.
//
// Why not Qt's network access: Qt reads an answer's status line and header
// whole, without any bound, before the caller sees anything. Here they are
// read within HttpHead::kMaxBytes; a longer head fails the call at once and
// nothing more is read. The request's bytes are those Qt's network access
// sends for the same request (same fields, order and values), directly or
// through an HTTP proxy (absolute-form request line).
//
// The body is taken as framed (Content-Length, chunked, or up to the close),
// decoded (gzip, deflate, br, zstd, which the request advertises) and read
// from the connection no faster than the caller takes it: at most
// kReadAheadBytes wait decoded for the caller. Redirects are not followed.
// Errors carry the numbers Qt's network access gives the same failures.
//
// Proxies: the network access manager's proxy (the system's choice for
// QNetworkProxy::DefaultProxy); loopback hosts are reached directly. An HTTP
// proxy gets the request in absolute form over a plain connection; a SOCKS5
// proxy is the connection's own. A demand for a proxy password (407) is put
// to whoever listens to the manager's proxyAuthenticationRequired, as Qt
// would: a Basic answer they give is sent on a new connection. A demand
// offering only methods Qt answers itself (Digest, NTLM, Negotiate) hands the
// call to the manager, whose header reading is then Qt's.
#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>

#include <memory>

class ContentDecoder;
class QNetworkAccessManager;
class QTcpSocket;

class HttpReply : public QNetworkReply {
    Q_OBJECT
public:
    // What waits decoded for the caller at most.
    static constexpr qint64 kReadAheadBytes = 64 * 1024;

    // Starts posting body with request's URL and fields from the event loop,
    // through network's proxy. network must outlive the reply.
    HttpReply(QNetworkAccessManager& network, const QNetworkRequest& request,
              const QByteArray& body);
    ~HttpReply() override;

    void abort() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    enum class Framing { Length, Chunked, Close, None };
    enum class Chunk { Size, Data, DataEnd, Trailer };

    void start();
    void connectSocket();
    QByteArray requestBytes() const;
    void onBytesWritten();
    void onSocketError(QAbstractSocket::SocketError error);
    // Reads what the reader has room for: the head first, then the body.
    void pump();
    // False when the call ended or went elsewhere on this head.
    bool onHead();
    bool onProxyDemand();
    // The next raw bytes of the body as framed, at most max; empty when none
    // is at hand. Sets m_bodyDone at the body's end.
    QByteArray nextRaw(qint64 max);
    // The peer closed the connection and everything it sent was taken.
    bool connectionEnded() const;
    // Makes the socket tell when more of the connection arrives.
    void waitForMore();
    void handOver();
    void pullHandedOver();
    void fail(NetworkError code, const QString& text);
    void complete();
    void dropSocket();

    QPointer<QNetworkAccessManager> m_network;
    QByteArray m_body;
    QNetworkProxy m_proxy;     // the one the connection goes through
    bool m_forwarding = false; // through an HTTP proxy
    QTcpSocket* m_socket = nullptr;
    bool m_sent = false;
    QByteArray m_proxyAuthorization; // the next request's, when answered
    int m_proxyAnswers = 0;
    bool m_sentProxyOwnUser = false;

    QByteArray m_head;
    bool m_headDone = false;
    Framing m_framing = Framing::Close;
    qint64 m_left = 0; // of the body's length, or of the chunk
    Chunk m_chunk = Chunk::Size;
    qint64 m_trailer = 0;
    bool m_bodyDone = false;
    std::unique_ptr<ContentDecoder> m_decoder;
    QByteArray m_buffer; // decoded, for the reader
    bool m_pumpQueued = false;

    QPointer<QNetworkReply> m_handedOver;
};
