// The SOAP calls' own HTTP/1.1 exchange: the request as Qt's network access
// writes it, the answer's head read within a bound, the body framed, decoded
// and read at the caller's pace.
#include "net/HttpReply.h"

#include "net/ContentDecoder.h"
#include "net/HttpHead.h"
#include "net/ProxyAuth.h"
#include "net/ProxySettings.h"

#include <QAuthenticator>
#include <QHostAddress>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QTcpSocket>

#include <cstring>

namespace {

// The raw body is taken from the connection in pieces of this size.
constexpr qint64 kRawPiece = 16 * 1024;
// The longest chunk-size line accepted.
constexpr qint64 kMaxChunkLine = 1024;

// Qt's network access's text for a proxy demand left unanswered.
const QString kProxyRequiresAuthentication = QStringLiteral("Proxy requires authentication");

// What Qt's network access advertises and writes for every request; the
// request's bytes must not tell the two apart.
const QByteArray kAcceptEncoding = QByteArrayLiteral("zstd, br, gzip, deflate");
const QByteArray kUserAgent = QByteArrayLiteral("Mozilla/5.0");

// The system locale as Qt's network access names it: "pt-BR,en,*", "en-US,*",
// "en,*" for the C locale.
QByteArray acceptLanguage() {
    QString name = QLocale::system().name();
    if (name == QLatin1String("C"))
        name = QStringLiteral("en,*");
    else if (name.startsWith(QLatin1String("en")))
        name += QLatin1String(",*");
    else
        name += QLatin1String(",en,*");
    name.replace(QLatin1Char('_'), QLatin1Char('-'));
    return name.toLatin1();
}

} // namespace

HttpReply::HttpReply(QNetworkAccessManager& network, const QNetworkRequest& request,
                     const QByteArray& body)
    : QNetworkReply(&network), m_network(&network), m_body(body),
      m_decoder(std::make_unique<ContentDecoder>(QByteArray())) {
    setRequest(request);
    setUrl(request.url());
    setOperation(QNetworkAccessManager::PostOperation);
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    // From the event loop, as Qt starts its requests: the caller connects first.
    QMetaObject::invokeMethod(this, &HttpReply::start, Qt::QueuedConnection);
}

HttpReply::~HttpReply() {
    dropSocket();
    if (m_handedOver) {
        m_handedOver->disconnect(this);
        m_handedOver->abort();
        delete m_handedOver;
    }
}

void HttpReply::start() {
    if (isFinished())
        return;
    QNetworkProxy proxy = m_network ? m_network->proxy() : QNetworkProxy(QNetworkProxy::NoProxy);
    if (proxy.type() == QNetworkProxy::DefaultProxy) {
        // The system's choice, as Qt's network access would make it.
        proxy = QNetworkProxy(QNetworkProxy::NoProxy);
        for (const QNetworkProxy& p :
             QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url()))) {
            const auto type = p.type();
            if (type == QNetworkProxy::HttpProxy || type == QNetworkProxy::HttpCachingProxy ||
                type == QNetworkProxy::Socks5Proxy || type == QNetworkProxy::NoProxy) {
                proxy = p;
                break;
            }
        }
    }
    if (ProxySettings::isLoopback(url().host()))
        proxy = QNetworkProxy(QNetworkProxy::NoProxy);
    m_proxy = proxy;
    m_forwarding =
        proxy.type() == QNetworkProxy::HttpProxy || proxy.type() == QNetworkProxy::HttpCachingProxy;
    connectSocket();
}

void HttpReply::connectSocket() {
    dropSocket();
    m_sent = false;
    m_head.clear();
    m_headDone = false;
    m_bodyDone = false;
    m_socket = new QTcpSocket(this);
    // The connection is read no further ahead of the reader than this.
    m_socket->setReadBufferSize(kReadAheadBytes);
    m_socket->setProxy(m_forwarding ? QNetworkProxy(QNetworkProxy::NoProxy) : m_proxy);
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        // Head and body in one write, sent at once: as two small segments
        // the second may be held back until the peer acknowledges the first,
        // which a peer delaying its acknowledgements makes a pause per call.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_socket->write(requestBytes() + m_body);
    });
    connect(m_socket, &QTcpSocket::bytesWritten, this, &HttpReply::onBytesWritten);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpReply::pump);
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpReply::pump);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &HttpReply::onSocketError);
    // A SOCKS5 proxy's demand, asked from inside the socket.
    connect(
        m_socket, &QTcpSocket::proxyAuthenticationRequired, this,
        [this](const QNetworkProxy& proxy, QAuthenticator* authenticator) {
            if (m_network)
                emit m_network->proxyAuthenticationRequired(proxy, authenticator);
        },
        Qt::DirectConnection);
    if (m_forwarding)
        m_socket->connectToHost(m_proxy.hostName(), m_proxy.port());
    else
        m_socket->connectToHost(url().host(), static_cast<quint16>(url().port(80)));
}

QByteArray HttpReply::requestBytes() const {
    const QUrl target = url();
    QByteArray uri =
        m_forwarding
            ? target.toEncoded(QUrl::RemoveUserInfo | QUrl::RemoveFragment)
            : target.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (uri.isEmpty())
        uri = "/";
    const QString name = target.host();
    const QHostAddress address(name);
    QByteArray host = address.isNull() ? QUrl::toAce(name)
                      : address.protocol() == QAbstractSocket::IPv6Protocol
                          ? '[' + name.toLatin1() + ']'
                          : name.toLatin1();
    if (target.port() != -1)
        host += ':' + QByteArray::number(target.port());

    QByteArray head = "POST " + uri + " HTTP/1.1\r\nHost: " + host + "\r\n";
    const QNetworkRequest r = request();
    for (const QByteArray& field : r.rawHeaderList())
        head += field + ": " + r.rawHeader(field) + "\r\n";
    head += "Content-Length: " + QByteArray::number(m_body.size()) +
            "\r\nConnection: Keep-Alive\r\nAccept-Encoding: " + kAcceptEncoding +
            "\r\nAccept-Language: " + acceptLanguage() + "\r\nUser-Agent: " + kUserAgent + "\r\n";
    if (!m_proxyAuthorization.isEmpty())
        head += "Proxy-Authorization: " + m_proxyAuthorization + "\r\n";
    return head + "\r\n";
}

void HttpReply::onBytesWritten() {
    if (!m_socket || isFinished())
        return;
    const qint64 total = m_body.size();
    const qint64 left = qMin(total, m_socket->bytesToWrite());
    emit uploadProgress(total - left, total);
    if (!m_sent && m_socket && m_socket->bytesToWrite() == 0) {
        m_sent = true;
        emit requestSent();
    }
}

void HttpReply::onSocketError(QAbstractSocket::SocketError error) {
    if (isFinished() || !m_socket)
        return;
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
        pump(); // the close ends an answer framed by it, or cuts one short
        return;
    case QAbstractSocket::ConnectionRefusedError:
        fail(ConnectionRefusedError, QStringLiteral("Connection refused"));
        return;
    case QAbstractSocket::HostNotFoundError:
        fail(HostNotFoundError, QStringLiteral("Host %1 not found")
                                    .arg(m_forwarding ? m_proxy.hostName() : url().host()));
        return;
    case QAbstractSocket::SocketTimeoutError:
        fail(TimeoutError, QStringLiteral("Socket operation timed out"));
        return;
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        fail(ProxyAuthenticationRequiredError, m_socket->errorString());
        return;
    default:
        fail(UnknownNetworkError, m_socket->errorString());
    }
}

void HttpReply::pump() {
    m_pumpQueued = false;
    if (isFinished() || !m_socket)
        return;
    const QPointer<HttpReply> self(this);
    while (!m_headDone) {
        switch (HttpHead::take(*m_socket, m_head)) {
        case HttpHead::Progress::Partial:
            if (connectionEnded())
                fail(RemoteHostClosedError, QStringLiteral("Connection closed"));
            return;
        case HttpHead::Progress::TooLong:
            // Through a proxy, a 407 is the proxy's own answer.
            if (m_forwarding && HttpHead::statusOf(m_head) == 407)
                fail(UnknownProxyError, ProxyAuth::refusalText(ProxyAuth::Demand::None));
            else
                fail(ProtocolFailure,
                     QStringLiteral("A resposta do servidor foi recusada: o cabeçalho passou "
                                    "de %1 KiB.")
                         .arg(HttpHead::kMaxBytes / 1024));
            return;
        case HttpHead::Progress::Whole:
            break;
        }
        const int status = HttpHead::statusOf(m_head);
        // An interim answer (100 Continue) is followed by the real one.
        if (status >= 100 && status < 200 && status != 101) {
            m_head.clear();
            continue;
        }
        m_headDone = true;
        if (!onHead() || !self || isFinished())
            return;
    }
    bool gave = false;
    while (m_buffer.size() < kReadAheadBytes) {
        const QByteArray out = m_decoder->take(kReadAheadBytes - m_buffer.size());
        if (m_decoder->failed()) {
            fail(ProtocolFailure, QStringLiteral("Data corrupted"));
            return;
        }
        if (!out.isEmpty()) {
            m_buffer += out;
            gave = true;
            continue;
        }
        if (m_bodyDone)
            break;
        const QByteArray raw = nextRaw(kRawPiece);
        if (isFinished())
            return;
        if (raw.isEmpty())
            break;
        m_decoder->feed(raw);
    }
    if (gave) {
        emit readyRead();
        if (!self || isFinished())
            return;
    }
    if (m_bodyDone && !m_decoder->pending())
        complete();
}

bool HttpReply::onHead() {
    const int status = HttpHead::statusOf(m_head);
    if (status < 0) {
        fail(ProtocolFailure, QStringLiteral("A resposta recebida não é uma resposta HTTP."));
        return false;
    }
    if (status == 407)
        return onProxyDemand();
    const QByteArray statusLine = m_head.left(m_head.indexOf('\n')).trimmed();
    setAttribute(QNetworkRequest::HttpStatusCodeAttribute, status);
    setAttribute(QNetworkRequest::HttpReasonPhraseAttribute,
                 QString::fromLatin1(statusLine.mid(statusLine.indexOf(' ', 9) + 1)));
    for (const auto& [name, value] : HttpHead::fields(m_head))
        // Repeated fields are joined, as Qt joins them.
        setRawHeader(name, hasRawHeader(name) ? rawHeader(name) + ", " + value : value);
    const bool bodiless = status == 204 || status == 304;
    const QByteArray length = HttpHead::field(m_head, "Content-Length");
    bool lengthOk = false;
    const qint64 declared = length.toLongLong(&lengthOk);
    if (bodiless) {
        m_framing = Framing::None;
    } else if (HttpHead::field(m_head, "Transfer-Encoding").toLower().contains("chunked")) {
        m_framing = Framing::Chunked;
        m_chunk = Chunk::Size;
        m_trailer = 0;
    } else if (lengthOk && declared >= 0) {
        m_framing = Framing::Length;
        m_left = declared;
    } else {
        m_framing = Framing::Close;
    }
    m_bodyDone = m_framing == Framing::None || (m_framing == Framing::Length && m_left == 0);
    m_decoder = std::make_unique<ContentDecoder>(HttpHead::field(m_head, "Content-Encoding"));
    const QPointer<HttpReply> self(this);
    emit metaDataChanged();
    return self && !isFinished();
}

bool HttpReply::onProxyDemand() {
    const HttpHead::Challenge offered = HttpHead::proxyChallenge(m_head);
    if (!offered.basic && !offered.qtAnswers) {
        fail(ProxyAuthenticationRequiredError, kProxyRequiresAuthentication);
        return false;
    }
    if (m_forwarding && !offered.basic) {
        handOver();
        return false;
    }
    if (m_forwarding && !m_sentProxyOwnUser && !m_proxy.user().isEmpty()) {
        // The proxy's setting carries its own user (a system proxy's address
        // may): that is tried before anybody is asked.
        m_sentProxyOwnUser = true;
        m_proxyAuthorization = ProxyAuth::basicAuthorization(m_proxy.user(), m_proxy.password());
        connectSocket();
        return false;
    }
    // Only a proxy the request went through is named as the one asking; a
    // server reached directly or through SOCKS is not a proxy.
    const QNetworkProxy asking = m_forwarding ? m_proxy : QNetworkProxy(QNetworkProxy::NoProxy);
    QAuthenticator authenticator;
    const QPointer<HttpReply> self(this);
    // ProxyAuth gives up after two answers; the count bounds other listeners.
    if (m_network && m_proxyAnswers < 3)
        emit m_network->proxyAuthenticationRequired(asking, &authenticator);
    if (!self || isFinished())
        return false;
    if (!m_forwarding || authenticator.user().isEmpty()) {
        fail(ProxyAuthenticationRequiredError, kProxyRequiresAuthentication);
        return false;
    }
    ++m_proxyAnswers;
    m_proxyAuthorization =
        ProxyAuth::basicAuthorization(authenticator.user(), authenticator.password());
    // A new connection for the answer: the refusal's own may be closing.
    connectSocket();
    return false;
}

bool HttpReply::connectionEnded() const {
    return m_socket->state() != QAbstractSocket::ConnectedState && m_socket->bytesAvailable() == 0;
}

QByteArray HttpReply::nextRaw(qint64 max) {
    const auto cut = [this] {
        fail(RemoteHostClosedError, QStringLiteral("Connection closed"));
    };
    const auto broken = [this] {
        fail(ProtocolFailure, QStringLiteral("A divisão da resposta em partes está errada."));
    };
    switch (m_framing) {
    case Framing::None:
        m_bodyDone = true;
        return {};
    case Framing::Close: {
        const QByteArray raw = m_socket->read(max);
        if (raw.isEmpty() && connectionEnded())
            m_bodyDone = true;
        return raw;
    }
    case Framing::Length: {
        const QByteArray raw = m_socket->read(qMin(max, m_left));
        m_left -= raw.size();
        if (m_left == 0)
            m_bodyDone = true;
        else if (raw.isEmpty() && connectionEnded())
            cut();
        return raw;
    }
    case Framing::Chunked:
        break;
    }
    for (;;) {
        if (m_chunk == Chunk::Data) {
            const QByteArray raw = m_socket->read(qMin(max, m_left));
            m_left -= raw.size();
            if (m_left == 0)
                m_chunk = Chunk::DataEnd;
            if (raw.isEmpty() && connectionEnded())
                cut();
            return raw;
        }
        // The other states read a line.
        if (!m_socket->canReadLine()) {
            if (connectionEnded())
                cut();
            else if (m_socket->bytesAvailable() >= kMaxChunkLine)
                broken();
            else
                waitForMore();
            return {};
        }
        const QByteArray line = m_socket->readLine(kMaxChunkLine + 1);
        if (!line.endsWith('\n')) {
            broken();
            return {};
        }
        switch (m_chunk) {
        case Chunk::Size: {
            bool ok = false;
            const qsizetype extension = line.indexOf(';'); // ";name=value" parts follow
            m_left = (extension < 0 ? line : line.left(extension)).trimmed().toLongLong(&ok, 16);
            if (!ok || m_left < 0) {
                broken();
                return {};
            }
            m_chunk = m_left == 0 ? Chunk::Trailer : Chunk::Data;
            break;
        }
        case Chunk::DataEnd:
            if (!line.trimmed().isEmpty()) {
                broken();
                return {};
            }
            m_chunk = Chunk::Size;
            break;
        case Chunk::Trailer:
            m_trailer += line.size();
            if (line.trimmed().isEmpty()) {
                m_bodyDone = true;
                return {};
            }
            if (m_trailer > HttpHead::kMaxBytes) {
                broken();
                return {};
            }
            break;
        case Chunk::Data:
            break;
        }
    }
}

void HttpReply::waitForMore() {
    // A socket whose read buffer was full stops watching the connection, and
    // watches it again only when a read finds its buffer empty: taking what
    // it holds (the exact rest of a chunk, then a line test) does not. A look
    // past what it holds is such a read.
    m_socket->peek(m_socket->bytesAvailable() + 1);
}

void HttpReply::handOver() {
    dropSocket();
    if (!m_network) {
        fail(ProxyAuthenticationRequiredError, kProxyRequiresAuthentication);
        return;
    }
    QNetworkReply* inner = m_network->post(request(), m_body);
    m_handedOver = inner;
    // Set once Qt has started the request (from the event loop), so it
    // reaches Qt's network thread before any answer can.
    QMetaObject::invokeMethod(
        inner, [inner] { inner->setReadBufferSize(kReadAheadBytes); }, Qt::QueuedConnection);
    connect(inner, &QNetworkReply::metaDataChanged, this, [this, inner] {
        for (const RawHeaderPair& field : inner->rawHeaderPairs())
            setRawHeader(field.first, field.second);
        for (const auto attribute :
             {QNetworkRequest::HttpStatusCodeAttribute, QNetworkRequest::HttpReasonPhraseAttribute})
            setAttribute(attribute, inner->attribute(attribute));
        emit metaDataChanged();
    });
    connect(inner, &QNetworkReply::readyRead, this, &HttpReply::pullHandedOver);
    connect(inner, &QNetworkReply::requestSent, this, &QNetworkReply::requestSent);
    connect(inner, &QNetworkReply::uploadProgress, this, &QNetworkReply::uploadProgress);
    connect(inner, &QNetworkReply::finished, this, [this, inner] {
        const QPointer<HttpReply> self(this);
        m_buffer += inner->readAll();
        if (!m_buffer.isEmpty()) {
            emit readyRead();
            if (!self || isFinished())
                return;
        }
        if (inner->error() != NoError) {
            setError(inner->error(), inner->errorString());
            emit errorOccurred(inner->error());
            if (!self || isFinished())
                return;
        }
        setFinished(true);
        emit finished();
    });
}

void HttpReply::pullHandedOver() {
    m_pumpQueued = false;
    if (!m_handedOver || isFinished())
        return;
    const qint64 room = kReadAheadBytes - m_buffer.size();
    if (room <= 0 || m_handedOver->bytesAvailable() == 0)
        return;
    m_buffer += m_handedOver->read(room);
    emit readyRead();
}

qint64 HttpReply::bytesAvailable() const {
    return m_buffer.size() + QNetworkReply::bytesAvailable();
}

qint64 HttpReply::readData(char* data, qint64 maxSize) {
    const qint64 n = qMin(maxSize, qint64(m_buffer.size()));
    std::memcpy(data, m_buffer.constData(), static_cast<size_t>(n));
    m_buffer.remove(0, n);
    // Room was made: the connection may be read on, from the event loop.
    if (!m_pumpQueued && !isFinished()) {
        m_pumpQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_handedOver)
                    pullHandedOver();
                else
                    pump();
            },
            Qt::QueuedConnection);
    }
    return n == 0 && isFinished() && maxSize > 0 ? -1 : n;
}

void HttpReply::abort() {
    if (isFinished())
        return;
    if (m_handedOver) {
        m_handedOver->disconnect(this);
        m_handedOver->abort();
    }
    m_buffer.clear();
    fail(OperationCanceledError, QStringLiteral("Operation canceled"));
}

void HttpReply::fail(NetworkError code, const QString& text) {
    if (isFinished())
        return;
    dropSocket();
    const QPointer<HttpReply> self(this);
    setError(code, text);
    emit errorOccurred(code);
    if (!self || isFinished())
        return;
    setFinished(true);
    emit finished();
}

void HttpReply::complete() {
    dropSocket();
    setFinished(true);
    emit finished();
}

void HttpReply::dropSocket() {
    if (!m_socket)
        return;
    // The socket may be the sender of the signal being handled.
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

// This class's meta-object code is built into this file's own object (see
// net/SoapBatch.cpp).
#include "moc_HttpReply.cpp"
