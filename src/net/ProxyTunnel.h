// A tunnel (CONNECT) to the server through an HTTP proxy, asked for over a
// plain connection to the proxy rather than by the socket's own proxy layer,
// which reads the proxy's answer header whole however long it is. Here the
// header is read within kMaxAnswerBytes and nothing past its end, so the
// server's first bytes stay in the socket for its new owner. A demand for a
// password by the Basic method is answered through ProxyAuth, each answer on
// a new connection. A demand that offers no Basic but a method Qt's socket
// layer answers (Digest, NTLM, Negotiate) is handed over to that layer on a
// new connection, its demand answered through ProxyAuth: that exchange's
// header is read by Qt, whole. Other methods are refused with a message.
//
// Used by the socket upload and the diagnostics' probes that go the upload's
// way. The header is read by net/HttpHead, as the SOAP calls' answers are.
#pragma once

#include "net/HttpHead.h"
#include "net/ProxyAuth.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QNetworkProxy>
#include <QObject>
#include <QString>

#include <memory>

class QAuthenticator;
class QTcpSocket;

class ProxyTunnel : public QObject {
    Q_OBJECT
public:
    // The longest answer header the proxy may give; a longer one is refused
    // without reading on.
    static constexpr qint64 kMaxAnswerBytes = HttpHead::kMaxBytes;

    // proxy: an HTTP proxy; host and port: the server. proxyAuth may be null
    // (then a demand for a password fails the tunnel); not owned.
    ProxyTunnel(const QNetworkProxy& proxy, const QString& host, quint16 port, ProxyAuth* proxyAuth,
                QObject* parent = nullptr);
    ~ProxyTunnel() override;

    // Connects to the proxy and asks for the tunnel. Ends later in exactly one
    // opened() or failed(), unless the tunnel is destroyed first.
    void start();
    // After opened(): the socket, through the tunnel to the server; the
    // caller owns it from now on (it has no parent). Null before.
    QTcpSocket* takeSocket();

signals:
    void opened();
    // Why the tunnel was not opened, ready to show.
    void failed(const QString& description);
    // True while the user is asked for the proxy's password, false once they
    // have answered: their time is not the proxy's.
    void waitingForUser(bool waiting);

private:
    void connectToProxy();
    void askForTunnel();
    // Reads the answer header within its bound; acts on it once whole.
    void readAnswer();
    void onAnswer(const QByteArray& head);
    void onClosed();
    // A new connection through Qt's socket proxy layer, for the methods it
    // answers and this piece does not.
    void handOver();
    void onHandedOverDemand(const QNetworkProxy& proxy, QAuthenticator* authenticator);
    void onHandedOverError(QAbstractSocket::SocketError error);
    // Asks ProxyAuth, telling the caller the user's time is not the proxy's.
    // False when the tunnel was destroyed meanwhile.
    bool askUser(const QNetworkProxy& asking, QAuthenticator* authenticator, bool& answered);
    void finishFailed(const QString& description);
    void dropSocket();

    QNetworkProxy m_proxy;
    QString m_host;
    quint16 m_port;
    ProxyAuth* m_proxyAuth;
    QTcpSocket* m_socket = nullptr;
    bool m_opened = false;
    QByteArray m_answer;                           // the header read so far
    std::unique_ptr<QAuthenticator> m_credentials; // sent with the next request
    int m_tries = 0;                               // answers given (ProxyAuth's count)
    bool m_sentProxyOwnUser = false; // the user and password the proxy setting carries
    ProxyAuth::Demand m_demand = ProxyAuth::Demand::None; // Qt's layer's last demand
};
