// One Link per client connection: it reads the request head, answers 407 or
// 502 itself, or connects upstream and from then on relays bytes both ways
// untouched (after rewriting an absolute-URI request line to its path).
#include "TestProxy.h"

#include <QCryptographicHash>
#include <QTcpSocket>
#include <QUrl>

#include <memory>
#include <stdexcept>

namespace dadav::test {

struct TestProxy::Link {
    QTcpSocket* client = nullptr;
    QTcpSocket* upstream = nullptr;
    QByteArray pending; // client bytes not yet relayed
    bool relaying = false;
};

namespace {

constexpr char kNonce[] = "4f1c2d3e5a6b7c8d";

// Closes the other side once everything written to it has gone out.
void closeAfterFlush(QTcpSocket* socket) {
    if (socket && socket->state() != QAbstractSocket::UnconnectedState)
        socket->disconnectFromHost();
}

} // namespace

TestProxy::TestProxy() {
    if (!server_.listen(QHostAddress::LocalHost, 0))
        throw std::runtime_error("the test proxy cannot listen: " +
                                 server_.errorString().toStdString());
    connect(&server_, &QTcpServer::newConnection, this, &TestProxy::onConnection);
}

TestProxy::~TestProxy() {
    qDeleteAll(links_);
}

void TestProxy::requireCredentials(const QString& user, const QString& password) {
    expectedAuthorization_ = "Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64();
    digestUser_.clear();
}

void TestProxy::requireDigest(const QString& user, const QString& password) {
    expectedAuthorization_ = "Digest";
    digestUser_ = user;
    digestPassword_ = password;
    challenge_ = "Digest realm=\"escritorio\", nonce=\"" + QByteArray(kNonce) +
                 "\", qop=\"auth\", algorithm=MD5";
}

bool TestProxy::accepts(const QByteArray& method, const QByteArray& authorization) const {
    if (digestUser_.isEmpty())
        return authorization == expectedAuthorization_;
    if (!authorization.startsWith("Digest "))
        return false;
    QHash<QByteArray, QByteArray> p; // no value of these holds a comma
    for (const QByteArray& part : authorization.mid(7).split(',')) {
        const qsizetype eq = part.indexOf('=');
        QByteArray value = part.mid(eq + 1).trimmed();
        if (value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        p.insert(part.left(eq).trimmed().toLower(), value);
    }
    const auto md5 = [](const QByteArray& s) {
        return QCryptographicHash::hash(s, QCryptographicHash::Md5).toHex();
    };
    const QByteArray ha1 = md5(digestUser_.toUtf8() + ":escritorio:" + digestPassword_.toUtf8());
    const QByteArray ha2 = md5(method + ':' + p.value("uri"));
    return p.value("username") == digestUser_.toUtf8() && p.value("nonce") == kNonce &&
           p.value("qop") == "auth" &&
           p.value("response") == md5(ha1 + ':' + kNonce + ':' + p.value("nc") + ':' +
                                      p.value("cnonce") + ":auth:" + ha2);
}

void TestProxy::onConnection() {
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        auto* link = new Link;
        links_.insert(link);
        link->client = client;
        client->setParent(this);
        connect(client, &QTcpSocket::readyRead, this, [this, link] { onClientData(link); });
        connect(client, &QTcpSocket::disconnected, this, [this, link] {
            closeAfterFlush(link->upstream);
            link->client->deleteLater();
            if (link->upstream)
                link->upstream->deleteLater();
            links_.remove(link);
            delete link;
        });
    }
}

void TestProxy::onClientData(Link* link) {
    link->pending += link->client->readAll();
    if (link->relaying) {
        if (link->upstream->state() == QAbstractSocket::ConnectedState) {
            link->upstream->write(link->pending);
            link->pending.clear();
        }
        return;
    }
    if (link->pending.contains("\r\n\r\n"))
        handleHead(link);
}

void TestProxy::handleHead(Link* link) {
    const qsizetype end = link->pending.indexOf("\r\n\r\n");
    const QByteArray head = link->pending.left(end);
    QByteArray rest = link->pending.mid(end + 4);
    link->pending.clear();
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& l : lines)
        l = l.trimmed();
    const QByteArray requestLine = lines.takeFirst();
    lines_.append(requestLine);
    if (hugeRefusal_ > 0) {
        writeHugeRefusal(link);
        return;
    }
    if (!tunnelGarbage_.isEmpty() && requestLine.startsWith("CONNECT ")) {
        link->client->write("HTTP/1.1 200 Connection established\r\n\r\n" + tunnelGarbage_);
        madeUpBytes_ += tunnelGarbage_.size();
        closeAfterFlush(link->client);
        return;
    }

    QByteArray authorization;
    QList<QByteArray> kept; // headers passed on to the server
    for (const QByteArray& l : lines) {
        const QByteArray name = l.left(l.indexOf(':')).trimmed().toLower();
        if (name == "proxy-authorization")
            authorization = l.mid(l.indexOf(':') + 1).trimmed();
        else if (name != "proxy-connection")
            kept.append(l);
    }
    if (!expectedAuthorization_.isEmpty() &&
        !accepts(requestLine.left(requestLine.indexOf(' ')), authorization)) {
        ++refusals_;
        fail(link, "HTTP/1.1 407 Proxy Authentication Required",
             "Proxy-Authenticate: " + challenge_ + "\r\n");
        return;
    }

    const QList<QByteArray> parts = requestLine.split(' ');
    if (parts.size() != 3) {
        fail(link, "HTTP/1.1 400 Bad Request");
        return;
    }
    if (parts[0] == "CONNECT") {
        const QUrl target(QStringLiteral("//") + QString::fromLatin1(parts[1]));
        openUpstream(link, target.host(), static_cast<quint16>(target.port()), rest);
        return;
    }
    const QUrl url(QString::fromLatin1(parts[1]));
    if (url.scheme() != QLatin1String("http")) {
        fail(link, "HTTP/1.1 400 Bad Request");
        return;
    }
    // One request per connection: the server is told to close after it.
    QByteArray forwarded = parts[0] + ' ' +
                           url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) + ' ' +
                           parts[2] + "\r\n";
    for (const QByteArray& h : kept)
        if (!h.toLower().startsWith("connection:"))
            forwarded += h + "\r\n";
    forwarded += "Connection: close\r\n\r\n" + rest;
    openUpstream(link, url.host(), static_cast<quint16>(url.port(80)), forwarded);
}

void TestProxy::openUpstream(Link* link, const QString& host, quint16 port, QByteArray first) {
    if (!names_.contains(host)) {
        fail(link, "HTTP/1.1 502 Bad Gateway");
        return;
    }
    if (port == 80 && ports80_.contains(host))
        port = ports80_.value(host);
    link->upstream = new QTcpSocket(this);
    link->relaying = true;
    link->pending = first;
    QTcpSocket* upstream = link->upstream;
    QTcpSocket* client = link->client;
    const bool isConnect = lines_.last().startsWith("CONNECT");
    connect(upstream, &QTcpSocket::connected, this, [link, client, upstream, isConnect] {
        if (isConnect)
            client->write("HTTP/1.1 200 Connection established\r\n\r\n");
        upstream->write(link->pending);
        link->pending.clear();
    });
    connect(upstream, &QTcpSocket::readyRead, this,
            [client, upstream] { client->write(upstream->readAll()); });
    connect(upstream, &QTcpSocket::disconnected, this, [client, upstream] {
        client->write(upstream->readAll());
        closeAfterFlush(client);
    });
    connect(upstream, &QTcpSocket::errorOccurred, this,
            [client, upstream](QAbstractSocket::SocketError) {
                if (upstream->state() == QAbstractSocket::UnconnectedState)
                    closeAfterFlush(client);
            });
    upstream->connectToHost(names_.value(host), port);
}

void TestProxy::fail(Link* link, const QByteArray& statusLine, const QByteArray& extra) {
    link->client->write(
        statusLine + "\r\n" + extra +
        "Content-Length: 0\r\nConnection: close\r\nProxy-Connection: close\r\n\r\n");
    closeAfterFlush(link->client);
}

void TestProxy::writeHugeRefusal(Link* link) {
    ++refusals_;
    QTcpSocket* client = link->client;
    client->write("HTTP/1.1 407 Proxy Authentication Required\r\n"
                  "Proxy-Authenticate: Basic realm=\"");
    // The header goes out in pieces as the client takes them, so what it
    // holds is what it chose to read.
    auto left = std::make_shared<qint64>(hugeRefusal_);
    const auto more = [this, client, left] {
        static const QByteArray piece(64 * 1024, 'a');
        while (*left > 0 && client->bytesToWrite() < 4 * piece.size()) {
            const QByteArray part =
                piece.left(static_cast<qsizetype>(qMin<qint64>(*left, piece.size())));
            client->write(part);
            *left -= part.size();
            madeUpBytes_ += part.size();
        }
        if (*left == 0) {
            *left = -1;
            client->write("\"\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            closeAfterFlush(client);
        }
    };
    connect(client, &QTcpSocket::bytesWritten, this, more);
    more();
}

} // namespace dadav::test
