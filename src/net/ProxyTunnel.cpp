// The CONNECT exchange with an HTTP proxy, read with a bound.
#include "net/ProxyTunnel.h"

#include "net/HttpHead.h"

#include <QAuthenticator>
#include <QPointer>
#include <QTcpSocket>

ProxyTunnel::ProxyTunnel(const QNetworkProxy& proxy, const QString& host, quint16 port,
                         ProxyAuth* proxyAuth, QObject* parent)
    : QObject(parent), m_proxy(proxy), m_host(host), m_port(port), m_proxyAuth(proxyAuth),
      m_credentials(std::make_unique<QAuthenticator>()) {}

ProxyTunnel::~ProxyTunnel() {
    dropSocket();
}

void ProxyTunnel::start() {
    m_tries = 0;
    m_sentProxyOwnUser = false;
    m_demand = ProxyAuth::Demand::None;
    *m_credentials = QAuthenticator();
    connectToProxy();
}

QTcpSocket* ProxyTunnel::takeSocket() {
    if (!m_opened || !m_socket)
        return nullptr;
    QTcpSocket* socket = m_socket;
    socket->disconnect(this);
    m_socket = nullptr;
    return socket;
}

void ProxyTunnel::connectToProxy() {
    dropSocket();
    m_opened = false;
    m_answer.clear();
    m_socket = new QTcpSocket;
    m_socket->setProxy(QNetworkProxy::NoProxy);
    connect(m_socket, &QTcpSocket::connected, this, &ProxyTunnel::askForTunnel);
    connect(m_socket, &QTcpSocket::readyRead, this, &ProxyTunnel::readAnswer);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ProxyTunnel::onClosed);
    connect(m_socket, &QTcpSocket::disconnected, this, &ProxyTunnel::onClosed);
    m_socket->connectToHost(m_proxy.hostName(), m_proxy.port());
}

void ProxyTunnel::askForTunnel() {
    // Written as a name or an address; an IPv6 address needs its brackets.
    const QString host = m_host.contains(QLatin1Char(':')) && !m_host.startsWith(QLatin1Char('['))
                             ? QLatin1Char('[') + m_host + QLatin1Char(']')
                             : m_host;
    const QByteArray target = host.toUtf8() + ':' + QByteArray::number(m_port);
    QByteArray head = "CONNECT " + target + " HTTP/1.1\r\nHost: " + target +
                      "\r\nProxy-Connection: keep-alive\r\n";
    if (!m_credentials->user().isEmpty())
        head += "Proxy-Authorization: " +
                ProxyAuth::basicAuthorization(m_credentials->user(), m_credentials->password()) +
                "\r\n";
    m_socket->write(head + "\r\n");
}

void ProxyTunnel::readAnswer() {
    if (m_opened || !m_socket)
        return;
    // Taken up to the end of the header and no further: what follows a "200"
    // is the server's.
    switch (HttpHead::take(*m_socket, m_answer)) {
    case HttpHead::Progress::Partial:
        return;
    case HttpHead::Progress::TooLong:
        finishFailed(ProxyAuth::refusalText(ProxyAuth::Demand::None));
        return;
    case HttpHead::Progress::Whole:
        break;
    }
    const QByteArray head = m_answer;
    m_answer.clear();
    onAnswer(head);
}

void ProxyTunnel::onAnswer(const QByteArray& head) {
    const int code = HttpHead::statusOf(head);
    if (code < 0) {
        finishFailed(ProxyAuth::refusalText(ProxyAuth::Demand::None));
        return;
    }
    if (code >= 200 && code < 300) {
        m_opened = true;
        emit opened();
        return;
    }
    if (code != 407) {
        finishFailed(
            QStringLiteral("O proxy não abriu a passagem até o servidor (HTTP %1).").arg(code));
        return;
    }
    const HttpHead::Challenge offered = HttpHead::proxyChallenge(head);
    if (!offered.basic && offered.qtAnswers) {
        handOver();
        return;
    }
    if (!offered.basic) {
        finishFailed(QStringLiteral("O proxy pede a senha por um método que o envio de arquivos "
                                    "não atende."));
        return;
    }
    bool answered = false;
    if (!m_sentProxyOwnUser && !m_proxy.user().isEmpty()) {
        // The proxy's setting carries its own user (a system proxy's address
        // may): that is tried before anybody is asked.
        m_sentProxyOwnUser = true;
        m_credentials->setUser(m_proxy.user());
        m_credentials->setPassword(m_proxy.password());
        answered = true;
    } else if (!askUser(m_proxy, m_credentials.get(), answered)) {
        return;
    }
    if (!answered) {
        if (m_proxyAuth)
            m_proxyAuth->forget(m_proxy);
        finishFailed(ProxyAuth::refusalText(ProxyAuth::Demand::Answered));
        return;
    }
    // A new connection for the answer: the refusal's own may be closing.
    connectToProxy();
}

bool ProxyTunnel::askUser(const QNetworkProxy& asking, QAuthenticator* authenticator,
                          bool& answered) {
    answered = false;
    if (!m_proxyAuth)
        return true;
    const QPointer<ProxyTunnel> self(this);
    emit waitingForUser(true);
    if (!self)
        return false;
    answered = m_proxyAuth->answer(asking, m_proxy, authenticator, m_tries);
    if (!self)
        return false;
    emit waitingForUser(false);
    return !self.isNull();
}

void ProxyTunnel::handOver() {
    dropSocket();
    m_opened = false;
    m_answer.clear();
    m_socket = new QTcpSocket;
    // Called from inside the socket while it reads the proxy's answer; a
    // queued connection would come too late.
    connect(m_socket, &QTcpSocket::proxyAuthenticationRequired, this,
            &ProxyTunnel::onHandedOverDemand, Qt::DirectConnection);
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_opened = true;
        emit opened();
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ProxyTunnel::onHandedOverError);
    m_socket->setProxy(m_proxy);
    m_socket->connectToHost(m_host, m_port);
}

void ProxyTunnel::onHandedOverDemand(const QNetworkProxy& proxy, QAuthenticator* authenticator) {
    if (!ProxyAuth::isProxyInUse(proxy, m_proxy)) {
        m_demand = ProxyAuth::Demand::NotTheProxy;
        return;
    }
    m_demand = ProxyAuth::Demand::Answered;
    bool answered = false;
    askUser(proxy, authenticator, answered);
}

void ProxyTunnel::onHandedOverError(QAbstractSocket::SocketError error) {
    if (m_opened || !m_socket)
        return;
    switch (error) {
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        if (m_proxyAuth && m_demand == ProxyAuth::Demand::Answered)
            m_proxyAuth->forget(m_proxy);
        finishFailed(ProxyAuth::refusalText(m_demand));
        return;
    case QAbstractSocket::ProxyProtocolError:
        // Also what a demand that Qt cannot read ends in.
        finishFailed(m_demand == ProxyAuth::Demand::None
                         ? ProxyAuth::refusalText(m_demand)
                         : QStringLiteral("O proxy não abriu a passagem até o servidor."));
        return;
    default:
        finishFailed(m_socket->errorString());
    }
}

void ProxyTunnel::onClosed() {
    if (m_opened || !m_socket)
        return;
    // An answer may have come whole just before the close.
    if (m_socket->bytesAvailable() > 0) {
        const QTcpSocket* before = m_socket;
        readAnswer();
        if (m_opened || m_socket != before || !m_socket)
            return;
    }
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        return; // an error that did not end the connection
    finishFailed(
        m_answer.isEmpty() && m_socket->error() != QAbstractSocket::RemoteHostClosedError
            ? QStringLiteral("Não foi possível conectar ao proxy: %1").arg(m_socket->errorString())
            : QStringLiteral("O proxy fechou a conexão sem abrir a passagem até o servidor."));
}

void ProxyTunnel::finishFailed(const QString& description) {
    dropSocket();
    emit failed(description);
}

void ProxyTunnel::dropSocket() {
    if (!m_socket)
        return;
    // The socket may be the sender of the signal being handled.
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}
