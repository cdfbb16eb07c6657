// The upload of one file to the server over a plain TCP socket: connect, write
// the multipart request (the file streamed from disk in chunks as the socket
// drains), read the whole reply, and report each step through signals. Both
// transmission windows own one each; it never touches a widget.
//
// Sequence: start() → connecting → connected (requestReady, progress 0) →
// sending (progress) → sent → reply (replyReceived, once) → idle.
// Any failure emits failed() once, closes the socket and returns to idle.
// Reply bytes are read as soon as they arrive, also while the request is still
// going out. The reply is complete when the server closes or resets the
// connection (the end of an HTTP/1.0 reply; bytes the system had already
// received are still read), when maxReplyBytes have arrived, or at a deadline
// (replyTimeoutMs after the request was sent, totalTimeoutMs after start, or
// sendStallTimeoutMs of a stalled send) with at least one byte in. A pause
// between the pieces of a reply does not end it.
//
// Proxy: as section "proxy" of the settings says when the upload starts
// (net/ProxySettings.h). An HTTP proxy is asked to open a tunnel (CONNECT), so
// the bytes that reach the server are the same as without a proxy. The tunnel
// is asked for by net/ProxyTunnel, which reads the proxy's answer within a
// bound and answers a Basic demand for a password through ProxyAuth (other
// methods Qt knows are handed to Qt's proxy layer there). A SOCKS5
// proxy is left to the socket, its demand answered through ProxyAuth too.
//
// Every upload leaves one line in the support log (base/SupportLog.h): the
// address with the access key masked, the file name and request size, the
// time it took and the reply's size and first line, or the failure.
#pragma once

#include "net/ProxyAuth.h"
#include "net/UploadRequest.h"
#include "net/url_helper.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class ProxyTunnel;
class QAuthenticator;
class QFile;
class QTcpSocket;

namespace upload {

// Percent of the request sent, (total - remaining) / total * 100 rounded to the
// nearest integer with halves to even. 0 when total <= 0.
int SendPercent(qint64 total, qint64 remaining);

// The text shown beside the progress bar for a percent: "N% completo.".
QString ProgressText(int percent);

} // namespace upload

class MultipartUpload : public QObject {
    Q_OBJECT
public:
    enum class Failure {
        InvalidHost, // empty host or unusable port: nothing was sent
        FileName,    // a header value was refused: nothing was sent
        FileRead,    // the file could not be opened: nothing was sent
        FileChanged, // the file changed size or failed to read while being sent
        Socket,      // the socket's own error (refused, not found, lost)
        Timeout,     // connect, send or reply took too long
    };
    Q_ENUM(Failure)

    // Limits; the defaults are for production, tests shorten them.
    struct Options {
        int connectTimeoutMs = 30000;   // connect call → connected
        int sendStallTimeoutMs = 60000; // no byte accepted by the socket for this long
        int replyTimeoutMs = 120000;    // request sent → reply complete
        int totalTimeoutMs = 1800000;   // start → reply complete, whatever the server trickles
        qint64 maxReplyBytes = 1 << 20; // longer replies are cut here
        qint64 chunkBytes = 256 * 1024; // file bytes read and written at a time
    };

    explicit MultipartUpload(QObject* parent = nullptr);
    ~MultipartUpload() override;

    void setOptions(const Options& options) { m_options = options; }
    // Answers a proxy's demand for a password; null (the default): no answer,
    // the upload fails. Not owned, must outlive the upload.
    void setProxyAuth(ProxyAuth* proxyAuth) { m_proxyAuth = proxyAuth; }
    const Options& options() const { return m_options; }

    // Starts the upload of filePath to url, the file part named fieldName with the
    // file name fileName and the type mimeType. When url.Port is 0 the port is the
    // "port" setting of section "servidor". Returns false without doing anything
    // while an upload is under way. Returns false after emitting failed() (before
    // returning, nothing sent) for an empty host or unusable port (InvalidHost, text
    // "Invalid Host"), a refused header value (FileName) or a file that cannot be
    // opened (FileRead, the system's description), and for a manual proxy
    // without host or port (InvalidHost). Returns true once connecting.
    bool start(const UrlParts& url, const QString& filePath, const QString& fileName,
               const QString& fieldName, const QString& mimeType);

    // Drops the connection of an upload under way without any signal.
    void abort();

    // True from the connection to the server (through the proxy's tunnel, if
    // any) until the request is sent or the socket closes.
    bool Connected() const { return m_connected; }
    // True from start() until the reply or a failure has been reported.
    bool isRunning() const { return m_state != State::Idle; }
    // Bytes of the whole request of the current or last upload (0 before any).
    qint64 TotalBytesToSend() const { return m_total; }

signals:
    // The request as shown to the user: the whole request for small files, else the
    // head, a note with the file size and the closing delimiter.
    void requestReady(const QString& text);
    // Send progress, percent 0..100 never decreasing, text "N% completo.".
    void progress(int percent, const QString& text);
    // The last request byte has left; text "Aguarde, carregando informações".
    void sent(const QString& text);
    // The server's whole reply, bytes as received (bounded by maxReplyBytes).
    // Only a reply that begins with an HTTP status line (other than 407)
    // counts; anything else ends the upload in failed() instead.
    void replyReceived(const QByteArray& reply);
    // The upload ended without a reply; description is ready to show.
    void failed(const QString& description, MultipartUpload::Failure kind);

private:
    enum class State { Idle, Connecting, Sending, AwaitingReply };

    // Takes m_socket's signals, once it is connected or while it connects.
    void watchSocket();
    // Through an HTTP proxy: the tunnel is open, the request goes through it.
    void onTunnelOpened();
    void onConnected();
    void onBytesWritten(qint64 bytes);
    void onReadyRead();
    void onSocketError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void onProxyAuthentication(const QNetworkProxy& proxy, QAuthenticator* authenticator);
    // The socket closed or failed: deliver what the server answered, else fail.
    void endOnClose();
    void onConnectTimeout();
    void onStallTimeout();
    void onReplyDeadline();
    void onTotalDeadline();

    // Queues file chunks (then the tail) while the socket's write buffer is short.
    // Returns false after having failed the upload.
    bool pump();
    void reportProgress();
    void collectReply();
    // At a deadline: a reply already received ends the upload as usual;
    // without one the upload fails as a time-out with this message.
    void finishOrTimeOut(const QString& message);
    // Reads, through m_replyDescriptor, what the system received but the socket
    // has not taken in (the socket may already have closed its own descriptor).
    void collectUnreadReply();
    void finishWithReply();
    void fail(const QString& description, Failure kind);
    void releaseSocket();
    QString displayText();

    Options m_options;
    ProxyAuth* m_proxyAuth = nullptr;
    int m_proxyTries = 0;            // answers given to the proxy during this upload
    QNetworkProxy m_proxy;           // the proxy of this upload (NoProxy: direct)
    ProxyTunnel* m_tunnel = nullptr; // while an HTTP proxy opens the tunnel; deleteLater
    ProxyAuth::Demand m_demand = ProxyAuth::Demand::None; // the last password demand
    State m_state = State::Idle;
    bool m_connected = false;
    QTcpSocket* m_socket = nullptr; // parentless: released with deleteLater
    std::unique_ptr<QFile> m_file;
    upload::UploadRequest m_request;
    qint64 m_total = 0;
    qint64 m_written = 0;    // bytes the socket has handed to the system
    qint64 m_fileQueued = 0; // file bytes given to the socket so far
    bool m_tailQueued = false;
    int m_lastPercent = -1;
    QByteArray m_reply;
    qintptr m_replyDescriptor = -1; // a second descriptor of the connection, from connect on
    QTimer m_connectTimer;
    QTimer m_stallTimer;
    QTimer m_replyDeadline;
    QTimer m_totalDeadline;
    QElapsedTimer m_elapsed; // since start(), for the support log
    QString m_logWhat;       // the address (key masked) and file name, for the support log
};
