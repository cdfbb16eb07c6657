// Test helper: an HTTP proxy on a loopback port, in the test's own thread. It
// opens tunnels (CONNECT) and forwards absolute-URI requests, may demand Basic
// or Digest credentials with 407, resolves names only it knows (so a client pointed at
// a made-up server name reaches a loopback server only through it), and
// records every request line it receives.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTcpServer>

namespace dadav::test {

class TestProxy : public QObject {
    Q_OBJECT
public:
    // Starts listening on 127.0.0.1, ephemeral port. Throws std::runtime_error
    // when it cannot.
    TestProxy();
    ~TestProxy() override;

    quint16 port() const { return server_.serverPort(); }
    // Requests for name are sent to address; other names are refused (502).
    void resolve(const QString& name, const QHostAddress& address) { names_.insert(name, address); }
    // The same, and what a client asks of port 80 there (an address without a
    // port) goes to port80 instead: a loopback server on an ephemeral port.
    void resolve(const QString& name, const QHostAddress& address, quint16 port80) {
        names_.insert(name, address);
        ports80_.insert(name, port80);
    }
    // From now on, requests without these Basic credentials get 407.
    void requireCredentials(const QString& user, const QString& password);
    // The Proxy-Authenticate header's value of those 407 answers.
    void challengeWith(const QByteArray& challenge) { challenge_ = challenge; }
    // From now on, requests without a Digest answer (qop "auth", MD5) for
    // these credentials get 407 with a Digest challenge.
    void requireDigest(const QString& user, const QString& password);

    // From now on every request is answered 407 with a Proxy-Authenticate
    // header of headerBytes, written only as fast as the client reads it; the
    // proxy stops writing when the client goes away.
    void refuseWithHeaderOf(qint64 headerBytes) { hugeRefusal_ = headerBytes; }
    // From now on a tunnel is answered 200 and then gets these bytes from the
    // proxy itself and is closed: nothing reaches the server.
    void answerTunnelsWith(const QByteArray& bytes) { tunnelGarbage_ = bytes; }
    // Bytes written to clients in answers the proxy made up itself.
    qint64 madeUpBytes() const { return madeUpBytes_; }

    // Every request line received ("CONNECT h:p HTTP/1.1", "POST http://... HTTP/1.1").
    const QList<QByteArray>& requestLines() const { return lines_; }
    // How many requests were refused with 407.
    int refusals() const { return refusals_; }

private:
    struct Link;
    void onConnection();
    void onClientData(Link* link);
    void handleHead(Link* link);
    void openUpstream(Link* link, const QString& host, quint16 port, QByteArray first);
    bool accepts(const QByteArray& method, const QByteArray& authorization) const;
    void fail(Link* link, const QByteArray& statusLine, const QByteArray& extra = {});
    void writeHugeRefusal(Link* link);

    // Connections still open: freed with the proxy when the test ends before
    // their clients' closes are seen.
    QSet<Link*> links_;

    QTcpServer server_;
    QHash<QString, QHostAddress> names_;
    QHash<QString, quint16> ports80_;
    QByteArray expectedAuthorization_;    // empty: none demanded
    QString digestUser_, digestPassword_; // the user: Digest demanded instead
    QByteArray challenge_ = "Basic realm=\"escritorio\"";
    QList<QByteArray> lines_;
    int refusals_ = 0;
    qint64 hugeRefusal_ = 0;
    QByteArray tunnelGarbage_;
    qint64 madeUpBytes_ = 0;
};

} // namespace dadav::test
