// The socket upload as a state machine driven by QTcpSocket's signals; the file
// is read in chunks only as fast as the socket drains, so memory stays bounded
// whatever the file's size.
#include "net/MultipartUpload.h"

#include "base/LogMasking.h"
#include "base/ReadWrite.h"
#include "base/SupportLog.h"
#include "net/CodePage1252.h"
#include "net/ProxyAuth.h"
#include "net/ProxySettings.h"
#include "net/ProxyTunnel.h"

#include <QAuthenticator>
#include <QFile>
#include <QMetaEnum>
#include <QNetworkProxy>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpSocket>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace upload {

int SendPercent(qint64 total, qint64 remaining) {
    if (total <= 0)
        return 0;
    const qint64 sent = total - remaining;
    const qint64 scaled = sent * 100;
    qint64 q = scaled / total;
    const qint64 twiceRest = (scaled % total) * 2;
    if (twiceRest > total || (twiceRest == total && (q % 2) != 0))
        ++q;
    return static_cast<int>(q);
}

QString ProgressText(int percent) {
    return QString::number(percent) + QStringLiteral("% completo.");
}

} // namespace upload

namespace {

const char kInvalidHost[] = "Invalid Host";
constexpr qint64 kWholeDisplayLimit = 64 * 1024;

// The port to dial: the URL's, or the "port" setting when the URL has none.
// 0 when neither gives a usable port.
quint16 portFor(const UrlParts& url) {
    if (url.Port > 0)
        return static_cast<quint16>(url.Port);
    if (url.Port < 0)
        return 0;
    bool ok = false;
    const uint port = ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port"))
                          .trimmed()
                          .toUInt(&ok);
    return ok && port > 0 && port <= 65535 ? static_cast<quint16>(port) : 0;
}

// A second descriptor of the connection, so that the system keeps its received
// bytes after the socket closes its own; -1 where that is not available.
qintptr keepDescriptor(qintptr fd) {
#ifdef Q_OS_WIN
    Q_UNUSED(fd);
    return -1;
#else
    return fd < 0 ? -1 : ::fcntl(static_cast<int>(fd), F_DUPFD_CLOEXEC, 0);
#endif
}

void releaseDescriptor(qintptr fd) {
#ifndef Q_OS_WIN
    if (fd >= 0)
        ::close(static_cast<int>(fd));
#else
    Q_UNUSED(fd);
#endif
}

// Bytes the system holds for the connection, up to size, without waiting;
// <= 0 when none or on an error.
qint64 receiveNow(qintptr fd, char* buffer, qint64 size) {
#ifdef Q_OS_WIN
    Q_UNUSED(fd);
    Q_UNUSED(buffer);
    Q_UNUSED(size);
    return -1;
#else
    return ::recv(static_cast<int>(fd), buffer, static_cast<size_t>(size), MSG_DONTWAIT);
#endif
}

} // namespace

MultipartUpload::MultipartUpload(QObject* parent) : QObject(parent) {
    for (QTimer* t : {&m_connectTimer, &m_stallTimer, &m_replyDeadline, &m_totalDeadline})
        t->setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &MultipartUpload::onConnectTimeout);
    connect(&m_stallTimer, &QTimer::timeout, this, &MultipartUpload::onStallTimeout);
    connect(&m_replyDeadline, &QTimer::timeout, this, &MultipartUpload::onReplyDeadline);
    connect(&m_totalDeadline, &QTimer::timeout, this, &MultipartUpload::onTotalDeadline);
    // Connected first, so the log has the line before any window reacts.
    connect(this, &MultipartUpload::replyReceived, this, [this](const QByteArray& reply) {
        // The reply's status line says what the server made of it.
        const qsizetype lineEnd = reply.indexOf('\n');
        const QString firstLine =
            QString::fromLatin1(reply.left(lineEnd < 0 ? 80 : qMin<qsizetype>(lineEnd, 80)))
                .trimmed();
        SupportLog::write(QStringLiteral("envio"),
                          QStringLiteral("%1, pedido de %2 bytes, %3 ms: resposta de %4 bytes (%5)")
                              .arg(m_logWhat, QString::number(m_total),
                                   QString::number(m_elapsed.elapsed()),
                                   QString::number(reply.size()), firstLine));
    });
    connect(this, &MultipartUpload::failed, this, [this](const QString& description, Failure kind) {
        SupportLog::write(
            QStringLiteral("envio"),
            QStringLiteral("%1, pedido de %2 bytes, %3 ms: falhou (%4) %5")
                .arg(m_logWhat, QString::number(m_total), QString::number(m_elapsed.elapsed()),
                     QString::fromLatin1(
                         QMetaEnum::fromType<Failure>().valueToKey(static_cast<int>(kind))),
                     description));
    });
}

MultipartUpload::~MultipartUpload() {
    releaseSocket();
}

bool MultipartUpload::start(const UrlParts& url, const QString& filePath, const QString& fileName,
                            const QString& fieldName, const QString& mimeType) {
    if (m_state != State::Idle)
        return false;
    m_elapsed.start();
    // One arg() for all: a "%" in the address or file name must stay as it is.
    m_logWhat = QStringLiteral("http://%1:%2%3?%4 arquivo %5")
                    .arg(url.Host, QString::number(portFor(url)), url.URI,
                         LogMasking::text(url.Query), fileName);
    m_total = 0;
    m_written = 0;
    m_fileQueued = 0;
    m_tailQueued = false;
    m_lastPercent = -1;
    m_reply.clear();

    if (url.Host.isEmpty()) {
        emit failed(QString::fromLatin1(kInvalidHost), Failure::InvalidHost);
        return false;
    }
    const quint16 port = portFor(url);
    if (port == 0) {
        emit failed(QString::fromLatin1(kInvalidHost), Failure::InvalidHost);
        return false;
    }
    const ProxySettings::Settings proxySettings = ProxySettings::read();
    if (!proxySettings.usable()) {
        emit failed(QStringLiteral("O proxy manual não tem host ou porta nas configurações."),
                    Failure::InvalidHost);
        return false;
    }
    const QString refused = upload::CheckHeaderValues(url, fieldName, fileName, mimeType);
    if (!refused.isEmpty()) {
        emit failed(refused, Failure::FileName);
        return false;
    }

    // The file is opened before anything goes out: an unreadable file stops the
    // upload here instead of sending an empty file part.
    auto file = std::make_unique<QFile>(filePath);
    if (!file->open(QIODevice::ReadOnly)) {
        emit failed(file->errorString(), Failure::FileRead);
        return false;
    }
    if (file->isSequential()) {
        emit failed(QStringLiteral("O arquivo escolhido não é um arquivo comum."),
                    Failure::FileRead);
        return false;
    }
    m_request =
        upload::BuildFileUploadRequest(filePath, file->size(), url, fieldName, fileName, mimeType);
    m_file = std::move(file);
    m_total = m_request.totalSize();

    m_proxy = ProxySettings::proxyFor(proxySettings, url.Host, port);
    m_proxyTries = 0;
    m_demand = ProxyAuth::Demand::None;
    m_state = State::Connecting;
    m_connectTimer.start(m_options.connectTimeoutMs);
    m_totalDeadline.start(m_options.totalTimeoutMs);
    if (m_proxy.type() == QNetworkProxy::HttpProxy) {
        m_tunnel = new ProxyTunnel(m_proxy, url.Host, port, m_proxyAuth);
        connect(m_tunnel, &ProxyTunnel::opened, this, &MultipartUpload::onTunnelOpened);
        connect(m_tunnel, &ProxyTunnel::failed, this,
                [this](const QString& description) { fail(description, Failure::Socket); });
        connect(m_tunnel, &ProxyTunnel::waitingForUser, this, [this](bool waiting) {
            // The user may take their time over the dialog: that is not the
            // proxy being slow to open the tunnel.
            if (waiting)
                m_connectTimer.stop();
            else if (m_state == State::Connecting)
                m_connectTimer.start(m_options.connectTimeoutMs);
        });
        m_tunnel->start();
        return true;
    }
    m_socket = new QTcpSocket;
    watchSocket();
    // Called from inside the socket while it waits for a SOCKS proxy's
    // answer; a queued connection would come too late.
    connect(m_socket, &QTcpSocket::proxyAuthenticationRequired, this,
            &MultipartUpload::onProxyAuthentication, Qt::DirectConnection);
    m_socket->setProxy(m_proxy);
    m_socket->connectToHost(url.Host, port);
    return true;
}

void MultipartUpload::watchSocket() {
    connect(m_socket, &QTcpSocket::connected, this, &MultipartUpload::onConnected);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &MultipartUpload::onBytesWritten);
    connect(m_socket, &QTcpSocket::readyRead, this, &MultipartUpload::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &MultipartUpload::onSocketError);
    connect(m_socket, &QTcpSocket::disconnected, this, &MultipartUpload::onDisconnected);
}

void MultipartUpload::onTunnelOpened() {
    m_socket = m_tunnel->takeSocket();
    m_tunnel->disconnect(this);
    m_tunnel->deleteLater(); // the sender of this signal
    m_tunnel = nullptr;
    watchSocket();
    const QPointer<MultipartUpload> self(this);
    onConnected();
    // The server's first bytes may have come with the proxy's "200".
    if (self && m_state != State::Idle && m_socket && m_socket->bytesAvailable() > 0)
        onReadyRead();
}

void MultipartUpload::abort() {
    releaseSocket();
}

void MultipartUpload::onConnected() {
    m_connectTimer.stop();
    m_connected = true;
    m_replyDescriptor = keepDescriptor(m_socket->socketDescriptor());
    m_state = State::Sending;
    const QPointer<MultipartUpload> self(this);
    emit requestReady(displayText());
    if (!self || m_state != State::Sending)
        return;
    reportProgress();
    if (!self || m_state != State::Sending)
        return;
    m_socket->write(m_request.head);
    m_stallTimer.start(m_options.sendStallTimeoutMs);
    pump();
}

bool MultipartUpload::pump() {
    const qint64 chunk = qMax<qint64>(1, m_options.chunkBytes);
    while (!m_tailQueued && m_socket->bytesToWrite() < chunk) {
        const qint64 left = m_request.fileSize - m_fileQueued;
        if (left > 0) {
            const QByteArray data = m_file->read(qMin(chunk, left));
            if (data.size() != qMin(chunk, left)) {
                fail(m_file->error() != QFileDevice::NoError
                         ? m_file->errorString()
                         : QStringLiteral("O arquivo diminuiu durante o envio. Envie-o novamente."),
                     Failure::FileChanged);
                return false;
            }
            m_fileQueued += data.size();
            m_socket->write(data);
            continue;
        }
        // All counted bytes are out; a file that grew meanwhile would make the
        // request disagree with what the user chose, so it is not finished.
        if (!m_file->read(1).isEmpty()) {
            fail(QStringLiteral("O arquivo aumentou durante o envio. Envie-o novamente."),
                 Failure::FileChanged);
            return false;
        }
        m_file.reset();
        m_socket->write(m_request.tail);
        m_tailQueued = true;
    }
    return true;
}

void MultipartUpload::onBytesWritten(qint64 bytes) {
    if (m_state != State::Sending)
        return;
    m_written += bytes;
    m_stallTimer.start(m_options.sendStallTimeoutMs);
    const QPointer<MultipartUpload> self(this);
    reportProgress();
    if (!self || m_state != State::Sending)
        return;
    if (!pump())
        return;
    if (m_tailQueued && m_written >= m_total && m_socket->bytesToWrite() == 0) {
        m_stallTimer.stop();
        m_connected = false;
        m_state = State::AwaitingReply;
        m_replyDeadline.start(m_options.replyTimeoutMs);
        emit sent(QStringLiteral("Aguarde, carregando informações"));
    }
}

void MultipartUpload::reportProgress() {
    const int percent = upload::SendPercent(m_total, m_total - m_written);
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    emit progress(percent, upload::ProgressText(percent));
}

void MultipartUpload::collectReply() {
    if (!m_socket)
        return;
    const qint64 room = m_options.maxReplyBytes - m_reply.size();
    if (room > 0)
        m_reply += m_socket->read(room);
    // Anything beyond the bound is dropped unread by the close that follows.
}

void MultipartUpload::collectUnreadReply() {
    if (m_replyDescriptor < 0)
        return;
    const qintptr fd = m_replyDescriptor;
    char buffer[16 * 1024];
    while (m_reply.size() < m_options.maxReplyBytes) {
        const qint64 room = qMin<qint64>(sizeof buffer, m_options.maxReplyBytes - m_reply.size());
        const qint64 n = receiveNow(fd, buffer, room);
        if (n <= 0)
            break;
        m_reply.append(buffer, static_cast<qsizetype>(n));
    }
}

void MultipartUpload::onReadyRead() {
    if (m_state == State::Idle)
        return;
    collectReply();
    // An HTTP/1.0 reply ends when the server closes, however long it pauses
    // between pieces; only the size bound ends it earlier.
    if (m_reply.size() >= m_options.maxReplyBytes)
        finishWithReply();
}

void MultipartUpload::onSocketError(QAbstractSocket::SocketError) {
    endOnClose();
}

void MultipartUpload::onDisconnected() {
    m_connected = false;
    endOnClose();
}

void MultipartUpload::onProxyAuthentication(const QNetworkProxy& proxy,
                                            QAuthenticator* authenticator) {
    // The user may take their time over the dialog: that is not the server
    // being slow to accept the connection.
    const bool waiting = m_connectTimer.isActive();
    m_connectTimer.stop();
    if (!ProxyAuth::isProxyInUse(proxy, m_proxy)) {
        m_demand = ProxyAuth::Demand::NotTheProxy;
    } else {
        m_demand = ProxyAuth::Demand::Answered;
        if (m_proxyAuth)
            m_proxyAuth->answer(proxy, m_proxy, authenticator, m_proxyTries);
    }
    if (waiting && m_state == State::Connecting)
        m_connectTimer.start(m_options.connectTimeoutMs);
}

void MultipartUpload::endOnClose() {
    if (m_state == State::Idle)
        return;
    // A server that answered and then closed (the normal end of an HTTP/1.0
    // reply, or a refusal before the whole request was read) has given its
    // verdict. When it reset the connection while the request was still going
    // out, the socket fails on its next write and closes its descriptor before
    // reading what had arrived: the verdict is taken from the kept descriptor.
    collectReply();
    collectUnreadReply();
    if (!m_reply.isEmpty()) {
        finishWithReply();
        return;
    }
    switch (m_socket->error()) {
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        if (m_proxyAuth && m_demand == ProxyAuth::Demand::Answered)
            m_proxyAuth->forget(m_proxy);
        fail(ProxyAuth::refusalText(m_demand), Failure::Socket);
        return;
    case QAbstractSocket::ProxyProtocolError:
        // Also what a password demand that cannot be read ends in.
        fail(m_demand == ProxyAuth::Demand::None
                 ? ProxyAuth::refusalText(m_demand)
                 : QStringLiteral("O proxy não abriu a passagem até o servidor."),
             Failure::Socket);
        return;
    default:
        fail(m_socket->errorString(), Failure::Socket);
    }
}

void MultipartUpload::onConnectTimeout() {
    fail(QStringLiteral("Tempo esgotado ao conectar ao servidor."), Failure::Timeout);
}

void MultipartUpload::onStallTimeout() {
    if (!m_reply.isEmpty()) {
        finishWithReply();
        return;
    }
    fail(QStringLiteral("Tempo esgotado ao enviar o arquivo ao servidor."), Failure::Timeout);
}

void MultipartUpload::onReplyDeadline() {
    finishOrTimeOut(QStringLiteral("O servidor não respondeu no tempo esperado."));
}

void MultipartUpload::onTotalDeadline() {
    finishOrTimeOut(QStringLiteral("O envio ao servidor não terminou no tempo esperado."));
}

void MultipartUpload::finishOrTimeOut(const QString& message) {
    collectReply();
    if (!m_reply.isEmpty()) {
        finishWithReply();
        return;
    }
    fail(message, Failure::Timeout);
}

void MultipartUpload::finishWithReply() {
    if (m_state == State::Idle)
        return;
    QByteArray reply = std::move(m_reply);
    m_reply.clear();
    // Only an HTTP answer is the server's verdict. Anything else came from
    // something in between (a proxy's tunnel sending its own bytes) and says
    // nothing about the file.
    static const QRegularExpression statusLine(QStringLiteral("^HTTP/\\d\\.\\d (\\d{3})[ \\r\\n]"));
    const QRegularExpressionMatch status = statusLine.match(QString::fromLatin1(reply.left(16)));
    if (!status.hasMatch()) {
        fail(QStringLiteral("A resposta recebida não é do servidor; não se sabe se o arquivo "
                            "chegou. Consulte a lista de envios antes de enviar de novo."),
             Failure::Socket);
        return;
    }
    // A server is not a proxy: its demand for a proxy password is no verdict.
    if (status.capturedView(1) == QLatin1String("407")) {
        fail(ProxyAuth::refusalText(ProxyAuth::Demand::NotTheProxy), Failure::Socket);
        return;
    }
    releaseSocket();
    emit replyReceived(reply);
}

void MultipartUpload::fail(const QString& description, Failure kind) {
    if (m_state == State::Idle)
        return;
    releaseSocket();
    emit failed(description, kind);
}

void MultipartUpload::releaseSocket() {
    for (QTimer* t : {&m_connectTimer, &m_stallTimer, &m_replyDeadline, &m_totalDeadline})
        t->stop();
    m_state = State::Idle;
    m_connected = false;
    m_file.reset();
    if (m_tunnel) {
        m_tunnel->disconnect(this);
        m_tunnel->deleteLater(); // may be the sender of the signal being handled
        m_tunnel = nullptr;
    }
    if (!m_socket)
        return;
    releaseDescriptor(m_replyDescriptor);
    m_replyDescriptor = -1;
    // The socket may be the sender of the signal being handled; it is deleted
    // only once control is back in the event loop.
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

QString MultipartUpload::displayText() {
    // The head carries the file name in its own code page; the rest is shown
    // one character per byte.
    QString shown = CodePage1252::decode(m_request.head);
    QByteArray text;
    if (m_request.fileSize <= kWholeDisplayLimit && m_file) {
        text += m_file->peek(m_request.fileSize);
    } else {
        text += QByteArray("[") + QByteArray::number(m_request.fileSize) +
                QByteArray(" bytes do arquivo]");
    }
    text += m_request.tail;
    return shown + QString::fromLatin1(text);
}

// This class's meta-object code is built into this file's own object, not
// the library's combined one: a program that links only this class does
// not pull every other class of the library with it (src/CMakeLists.txt).
#include "moc_MultipartUpload.cpp"
