// A SOAP call's POST on the shared libcurl engine: the request as Qt's network
// access writes it, the answer bounded and checked as it arrives.
#include "net/CurlReply.h"

#include "net/ContentDecoder.h"
#include "net/CurlEngine.h"
#include "net/HttpHead.h"
#include "net/ProxyAuth.h"
#include "net/ProxySettings.h"

#include <QAuthenticator>
#include <QHostAddress>
#include <QList>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>

#include <cstring>
#include <utility>

namespace {

// Decoded bytes are taken from the decoder in pieces of this size.
constexpr qint64 kDecodePiece = 64 * 1024;

// The texts of failures are the user's language: the batch's rows, the
// command line and the overview show them after "Falha de rede: ".
// A proxy demand left unanswered.
const QString kProxyRequiresAuthentication = QStringLiteral("O proxy pede usuário e senha");

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

// The Host field's value Qt writes for url.
QByteArray hostField(const QUrl& url) {
    const QString name = url.host();
    const QHostAddress address(name);
    QByteArray host = address.isNull() ? QUrl::toAce(name)
                      : address.protocol() == QAbstractSocket::IPv6Protocol
                          ? '[' + name.toLatin1() + ']'
                          : name.toLatin1();
    if (url.port() != -1)
        host += ':' + QByteArray::number(url.port());
    return host;
}

// True when every Content-Length field of head agrees on one plain decimal
// length (a field may repeat it as a list), or there is none.
bool lengthIsSound(const QByteArray& head) {
    QByteArray seen;
    for (const auto& [name, value] : HttpHead::fields(head)) {
        if (name.compare("Content-Length", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray& part : value.split(',')) {
            const QByteArray digits = part.trimmed();
            if (digits.isEmpty() || digits.size() > 18)
                return false;
            for (const char c : digits)
                if (c < '0' || c > '9')
                    return false;
            // Leading zeros do not make another length.
            QByteArray number = digits;
            while (number.size() > 1 && number.startsWith('0'))
                number.remove(0, 1);
            if (!seen.isEmpty() && seen != number)
                return false;
            seen = number;
        }
    }
    return true;
}

// Whether a demand is being put to the listeners, and the calls waiting for
// it to end.
int g_asking = 0;
QList<QPointer<CurlReply>>& waitingForAnswer() {
    static QList<QPointer<CurlReply>> waiting;
    return waiting;
}

} // namespace

CurlReply::CurlReply(QNetworkAccessManager& network, const QNetworkRequest& request,
                     const QByteArray& body, qint64 maxBody)
    : QNetworkReply(&network), m_network(&network), m_body(body), m_maxBody(maxBody) {
    setRequest(request);
    setUrl(request.url());
    setOperation(QNetworkAccessManager::PostOperation);
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    // From the event loop, as Qt starts its requests: the caller connects first.
    QMetaObject::invokeMethod(this, &CurlReply::start, Qt::QueuedConnection);
}

CurlReply* CurlReply::get(QNetworkAccessManager& network, const QNetworkRequest& request,
                          qint64 maxBody) {
    auto* reply = new CurlReply(network, request, {}, maxBody);
    reply->m_get = true;
    reply->setOperation(QNetworkAccessManager::GetOperation);
    return reply;
}

CurlReply::~CurlReply() {
    dropTransfer();
    if (m_easy)
        curl_easy_cleanup(m_easy);
    curl_slist_free_all(m_fields);
}

void CurlReply::start() {
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
    // The proxy's setting may carry its own user (a system proxy's address
    // may): that is tried before anybody is asked.
    if (m_forwarding && !proxy.user().isEmpty()) {
        m_proxyUser = proxy.user();
        m_proxyPassword = proxy.password();
    }
    m_easy = curl_easy_init();
    if (!m_easy) {
        fail(UnknownNetworkError, QStringLiteral("Não foi possível iniciar a chamada"));
        return;
    }
    setFields();
    send();
}

void CurlReply::setFields() {
    const QNetworkRequest r = request();
    QList<QByteArray> fields{"Host: " + hostField(url())};
    for (const QByteArray& field : r.rawHeaderList())
        fields << field + ": " + r.rawHeader(field);
    if (!m_get)
        fields << "Content-Length: " + QByteArray::number(m_body.size());
    fields << "Connection: Keep-Alive"
           << "Accept-Encoding: " + kAcceptEncoding << "Accept-Language: " + acceptLanguage()
           << "User-Agent: " + kUserAgent
           // libcurl's own fields that Qt does not write.
           << "Accept:"
           << "Expect:"
           << "Proxy-Connection:";
    for (const QByteArray& field : std::as_const(fields))
        m_fields = curl_slist_append(m_fields, field.constData());

    CURL* e = m_easy;
    curl_easy_setopt(e, CURLOPT_URL, url().toEncoded(QUrl::RemoveFragment).constData());
    curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    if (m_get) {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, m_body.constData());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_body.size()));
    }
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, m_fields);
    // The body is decoded here, where its stream's end is checked.
    curl_easy_setopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &CurlReply::onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &CurlReply::onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &CurlReply::onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, this);
    // The proxy decided above, never libcurl's reading of the environment.
    QByteArray proxy;
    if (m_forwarding)
        proxy = "http://";
    else if (m_proxy.type() == QNetworkProxy::Socks5Proxy)
        proxy = "socks5h://";
    if (!proxy.isEmpty()) {
        const QHostAddress address(m_proxy.hostName());
        proxy += (!address.isNull() && address.protocol() == QAbstractSocket::IPv6Protocol
                      ? '[' + m_proxy.hostName().toLatin1() + ']'
                      : QUrl::toAce(m_proxy.hostName())) +
                 ':' + QByteArray::number(m_proxy.port());
    }
    curl_easy_setopt(e, CURLOPT_PROXY, proxy.constData());
    curl_easy_setopt(e, CURLOPT_NOPROXY, "");
    curl_easy_setopt(e, CURLOPT_PROXYAUTH, long(CURLAUTH_ANY));
}

void CurlReply::send() {
    m_headBytes = 0;
    m_head.clear();
    m_finalHead.clear();
    m_finalStatus = 0;
    m_stop = Stop::None;
    m_decoder.reset();
    m_rawBytes = 0;
    const bool credentials = m_forwarding && !m_proxyUser.isEmpty();
    curl_easy_setopt(m_easy, CURLOPT_PROXYUSERNAME,
                     credentials ? m_proxyUser.toUtf8().constData() : nullptr);
    curl_easy_setopt(m_easy, CURLOPT_PROXYPASSWORD,
                     credentials ? m_proxyPassword.toUtf8().constData() : nullptr);
    m_engine = &CurlEngine::instance();
    m_inEngine = m_engine->add(m_easy, [this](CURLcode result) {
        m_inEngine = false;
        onDone(result);
    });
    if (!m_inEngine)
        fail(UnknownNetworkError, QStringLiteral("A chamada foi recusada antes de sair"));
}

size_t CurlReply::onHeader(char* data, size_t size, size_t count, void* reply) {
    return static_cast<CurlReply*>(reply)->header(
        QByteArray(data, static_cast<qsizetype>(size * count)));
}

size_t CurlReply::onBody(char* data, size_t size, size_t count, void* reply) {
    return static_cast<CurlReply*>(reply)->body(data, size * count);
}

int CurlReply::onProgress(void* reply, curl_off_t, curl_off_t, curl_off_t upTotal,
                          curl_off_t upNow) {
    auto* self = static_cast<CurlReply*>(reply);
    // A GET has no body to count: its request is out once libcurl has
    // written it whole.
    long requestBytes = 0;
    if (self->m_get)
        curl_easy_getinfo(self->m_easy, CURLINFO_REQUEST_SIZE, &requestBytes);
    const bool sent = self->m_get ? requestBytes > 0 : upTotal > 0 && upNow == upTotal;
    if (sent && !self->m_sentPending && self->m_finalHead.isEmpty() && self->m_headBytes == 0) {
        self->m_sentPending = true;
        self->queueDelivery();
    }
    return 0;
}

size_t CurlReply::header(const QByteArray& line) {
    // Every head of the exchange counts, so endless interim answers end too.
    m_headBytes += line.size();
    if (m_headBytes > HttpHead::kMaxBytes) {
        m_stop = Stop::HeadTooLong;
        return 0;
    }
    // A chunked body's trailer fields come here too: they are no head.
    if (m_head.isEmpty() && !line.startsWith("HTTP/"))
        return line.size();
    m_head += line;
    if (line != "\r\n" && line != "\n")
        return line.size();
    const int status = HttpHead::statusOf(m_head);
    if (status == 101) {
        // No protocol change was asked for.
        m_stop = Stop::Switching;
        return 0;
    }
    if (status >= 100 && status < 200) {
        m_head.clear();
        return line.size();
    }
    if (!lengthIsSound(m_head)) {
        m_stop = Stop::BadLength;
        return 0;
    }
    m_finalHead = std::exchange(m_head, QByteArray());
    m_finalStatus = status;
    m_decoder = std::make_unique<ContentDecoder>(HttpHead::field(m_finalHead, "Content-Encoding"));
    m_rawBytes = 0;
    return line.size();
}

size_t CurlReply::body(const char* data, size_t size) {
    if (!m_decoder)
        return 0;
    m_rawBytes += static_cast<qint64>(size);
    // A proxy's demand is answered by a new try: its body is nobody's answer.
    const bool demand = m_finalStatus == 407;
    // Encoded bytes beyond what any answer within the bound needs (an
    // endless run of empty blocks decodes to nothing) end the call too.
    if (m_rawBytes > 2 * m_maxBody + kDecodePiece) {
        m_stop = Stop::TooLarge;
        return 0;
    }
    if (demand)
        return size;
    m_decoder->feed(QByteArray(data, static_cast<qsizetype>(size)));
    for (;;) {
        const QByteArray out = m_decoder->take(kDecodePiece);
        if (m_decoder->failed()) {
            m_stop = Stop::Undecodable;
            return 0;
        }
        if (out.isEmpty())
            break;
        const qint64 room = m_maxBody + 1 - m_decodedBytes;
        m_buffer += out.left(room);
        m_decodedBytes += qMin<qint64>(room, out.size());
        if (m_decodedBytes > m_maxBody) {
            m_stop = Stop::TooLarge;
            queueDelivery();
            return 0;
        }
    }
    queueDelivery();
    return size;
}

void CurlReply::queueDelivery() {
    if (m_deliveryQueued)
        return;
    m_deliveryQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_deliveryQueued = false;
            if (!isFinished())
                deliver();
        },
        Qt::QueuedConnection);
}

bool CurlReply::deliver() {
    const QPointer<CurlReply> self(this);
    if (m_sentPending) {
        m_sentPending = false;
        emit requestSent();
        if (!self || isFinished())
            return false;
    }
    if (!m_buffer.isEmpty()) {
        if (!m_headPublished) {
            publishHead();
            if (!self || isFinished())
                return false;
        }
        emit readyRead();
        if (!self || isFinished())
            return false;
    }
    return true;
}

void CurlReply::publishHead() {
    m_headPublished = true;
    const int status = HttpHead::statusOf(m_finalHead);
    const QByteArray statusLine = m_finalHead.left(m_finalHead.indexOf('\n')).trimmed();
    setAttribute(QNetworkRequest::HttpStatusCodeAttribute, status);
    setAttribute(QNetworkRequest::HttpReasonPhraseAttribute,
                 QString::fromLatin1(statusLine.mid(statusLine.indexOf(' ', 9) + 1)));
    for (const auto& [name, value] : HttpHead::fields(m_finalHead))
        // Repeated fields are joined, as Qt joins them.
        setRawHeader(name, hasRawHeader(name) ? rawHeader(name) + ", " + value : value);
    emit metaDataChanged();
}

void CurlReply::onDone(CURLcode result) {
    if (isFinished())
        return;
    const QPointer<CurlReply> self(this);
    switch (m_stop) {
    case Stop::None:
        break;
    case Stop::HeadTooLong:
        // Through a proxy, a 407 is the proxy's own answer.
        if (m_forwarding && HttpHead::statusOf(m_head) == 407)
            fail(UnknownProxyError, ProxyAuth::refusalText(ProxyAuth::Demand::None));
        else
            fail(ProtocolFailure,
                 QStringLiteral("A resposta do servidor foi recusada: o cabeçalho passou de %1 "
                                "KiB.")
                     .arg(HttpHead::kMaxBytes / 1024));
        return;
    case Stop::Switching:
        fail(ProtocolFailure,
             QStringLiteral("A resposta do servidor foi recusada: ela troca de protocolo sem "
                            "que isso fosse pedido."));
        return;
    case Stop::BadLength:
        fail(ProtocolFailure, QStringLiteral("A resposta do servidor foi recusada: o tamanho "
                                             "declarado (Content-Length) é inválido."));
        return;
    case Stop::TooLarge:
        // The reader sees the bytes past the bound first and may stop the
        // call its own way.
        if (!deliver())
            return;
        fail(UnknownContentError, QStringLiteral("A resposta passou de %1 bytes").arg(m_maxBody));
        return;
    case Stop::Undecodable:
        fail(ProtocolFailure, QStringLiteral("Resposta corrompida"));
        return;
    }
    switch (result) {
    case CURLE_OK:
        break;
    // The numbers the windows have always shown ("Cód N"): the connection's
    // own, whether it went to the server or to a proxy.
    case CURLE_COULDNT_CONNECT:
        fail(ConnectionRefusedError, QStringLiteral("Conexão recusada"));
        return;
    case CURLE_COULDNT_RESOLVE_HOST:
        fail(HostNotFoundError, QStringLiteral("Servidor %1 não encontrado").arg(url().host()));
        return;
    case CURLE_COULDNT_RESOLVE_PROXY:
        fail(HostNotFoundError, QStringLiteral("Proxy %1 não encontrado").arg(m_proxy.hostName()));
        return;
    case CURLE_OPERATION_TIMEDOUT:
        fail(TimeoutError, QStringLiteral("Tempo de espera esgotado"));
        return;
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        fail(RemoteHostClosedError, QStringLiteral("Conexão encerrada pelo servidor"));
        return;
    case CURLE_OUT_OF_MEMORY:
        // libcurl's answer to a single header line longer than it takes.
        if (!m_head.isEmpty()) {
            m_stop = Stop::HeadTooLong;
            onDone(CURLE_OK);
            return;
        }
        fail(UnknownNetworkError, QString::fromLatin1(curl_easy_strerror(result)));
        return;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP_RETURNED_ERROR:
    case CURLE_UNSUPPORTED_PROTOCOL:
        fail(ProtocolFailure, QString::fromLatin1(curl_easy_strerror(result)));
        return;
    default:
        fail(UnknownNetworkError, QString::fromLatin1(curl_easy_strerror(result)));
        return;
    }
    if (m_finalStatus == 407) {
        onProxyDemand();
        return;
    }
    if (m_finalHead.isEmpty()) {
        fail(ProtocolFailure, QStringLiteral("A resposta recebida não é uma resposta HTTP."));
        return;
    }
    if (m_decoder && !m_decoder->complete()) {
        // A compressed body cut short: its stream never reached its end.
        fail(ProtocolFailure, QStringLiteral("Resposta corrompida"));
        return;
    }
    if (!m_headPublished) {
        publishHead();
        if (!self || isFinished())
            return;
    }
    if (!deliver())
        return;
    complete();
}

void CurlReply::onProxyDemand() {
    long offered = 0;
    curl_easy_getinfo(m_easy, CURLINFO_PROXYAUTH_AVAIL, &offered);
    if (m_forwarding && offered == 0) {
        // No method libcurl can answer (nor a readable demand).
        fail(ProxyAuthenticationRequiredError, kProxyRequiresAuthentication);
        return;
    }
    if (g_asking > 0) {
        // Asked in turn once the demand being answered ends.
        m_waitingForAnswer = true;
        waitingForAnswer().append(this);
        return;
    }
    // Only a proxy the request went through is named as the one asking; a
    // server reached directly or through SOCKS is not a proxy.
    const QNetworkProxy asking = m_forwarding ? m_proxy : QNetworkProxy(QNetworkProxy::NoProxy);
    QAuthenticator authenticator;
    authenticator.setUser(m_proxyUser);
    authenticator.setPassword(m_proxyPassword);
    const QPointer<CurlReply> self(this);
    // ProxyAuth gives up after two answers; the count bounds other listeners.
    if (!m_network || m_proxyAnswers >= 3)
        authenticator.setUser(QString());
    else {
        ++g_asking;
        emit m_network->proxyAuthenticationRequired(asking, &authenticator);
        --g_asking;
        if (g_asking == 0) {
            for (const QPointer<CurlReply>& waiting : std::exchange(waitingForAnswer(), {}))
                if (waiting)
                    QMetaObject::invokeMethod(
                        waiting.data(),
                        [reply = waiting.data()] {
                            reply->m_waitingForAnswer = false;
                            if (!reply->isFinished())
                                reply->onProxyDemand();
                        },
                        Qt::QueuedConnection);
        }
    }
    if (!self || isFinished())
        return;
    if (!m_forwarding || authenticator.user().isEmpty()) {
        fail(ProxyAuthenticationRequiredError, kProxyRequiresAuthentication);
        return;
    }
    ++m_proxyAnswers;
    m_proxyUser = authenticator.user();
    m_proxyPassword = authenticator.password();
    // Only the methods the proxy offered; one alone is answered at once.
    curl_easy_setopt(m_easy, CURLOPT_PROXYAUTH, offered & long(CURLAUTH_ANY));
    send();
}

qint64 CurlReply::bytesAvailable() const {
    return m_buffer.size() + QNetworkReply::bytesAvailable();
}

qint64 CurlReply::readData(char* data, qint64 maxSize) {
    const qint64 n = qMin(maxSize, qint64(m_buffer.size()));
    std::memcpy(data, m_buffer.constData(), static_cast<size_t>(n));
    m_buffer.remove(0, n);
    return n == 0 && isFinished() && maxSize > 0 ? -1 : n;
}

void CurlReply::abort() {
    if (isFinished())
        return;
    m_buffer.clear();
    fail(OperationCanceledError, QStringLiteral("Operação cancelada"));
}

void CurlReply::fail(NetworkError code, const QString& text) {
    if (isFinished())
        return;
    dropTransfer();
    const QPointer<CurlReply> self(this);
    setError(code, text);
    emit errorOccurred(code);
    if (!self || isFinished())
        return;
    setFinished(true);
    emit finished();
}

void CurlReply::complete() {
    dropTransfer();
    setFinished(true);
    emit finished();
}

void CurlReply::dropTransfer() {
    if (m_inEngine && m_engine)
        m_engine->remove(m_easy);
    m_inEngine = false;
    if (m_waitingForAnswer)
        waitingForAnswer().removeAll(this);
    m_waitingForAnswer = false;
}

// This class's meta-object code is built into this file's own object (see
// net/SoapBatch.cpp).
#include "moc_CurlReply.cpp"
