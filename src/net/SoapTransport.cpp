// SOAP over HTTP with Qt's network access manager, waited for in a local event
// loop with its own time-outs, a total deadline, a bound on the answer's size
// and the user's cancel.
#include "net/SoapTransport.h"

#include "base/LogMasking.h"
#include "base/ReadWrite.h"
#include "base/SupportLog.h"
#include "net/AnswerText.h"
#include "net/NetworkError.h"
#include "net/ProxyAuth.h"
#include "net/ProxySettings.h"
#include "net/ServerHost.h"
#include "platform/BusyIndicator.h"

#include <QAuthenticator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <optional>

namespace {

// Longest parameter value the support log writes out; longer ones by size.
constexpr qsizetype kLoggedValueLimit = 24;

// Builds the address exactly as the settings give it; refuses what cannot be
// sent (the request would otherwise go to a default port or nowhere).
QUrl serviceUrl(const QString& host, const QString& port, const QString& path) {
    const QString text = QLatin1String("http://") + host + QLatin1Char(':') + port + path;
    if (host.isEmpty() || port.isEmpty())
        throw NetworkError(NetworkError::InvalidAddress,
                           QStringLiteral("Host or port missing in the settings: %1").arg(text));
    if (!ServerHost::isPlainHost(host))
        throw NetworkError(NetworkError::InvalidAddress,
                           QStringLiteral("The host setting holds more than a host: %1").arg(host));
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.port() < 0)
        throw NetworkError(NetworkError::InvalidAddress,
                           QStringLiteral("Invalid server address: %1").arg(text));
    return url;
}

// The answer is taken from the reply in pieces of this size, so what is held
// never passes the bound by more than one piece.
constexpr qint64 kReadChunk = 64 * 1024;

} // namespace

SoapTransport::SoapTransport(BusyIndicator* busy, SoapTimeouts timeouts, ProxyAuth* proxyAuth)
    : m_busy(busy), m_timeouts(timeouts), m_proxyAuth(proxyAuth),
      m_manager(std::make_unique<QNetworkAccessManager>()) {
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

SoapTransport::~SoapTransport() = default;

QString SoapTransport::call(const QString& path, const QString& operation,
                            const QList<Soap::SoapParam>& params) {
    QElapsedTimer elapsed;
    elapsed.start();
    m_lastStatus = 0;
    // What the support log keeps of the call: the address as the settings
    // give it and each parameter, a key with its last two characters only.
    // Long values (names, addresses, certificates) are given by their size:
    // they would swell the log and spread what support does not need.
    QStringList shown;
    for (const Soap::SoapParam& p : params) {
        const QString value = LogMasking::field(p.name, p.value);
        shown << p.name + QLatin1Char('=') +
                     (value.size() <= kLoggedValueLimit
                          ? value
                          : QStringLiteral("(%1 caracteres)").arg(p.value.size()));
    }
    const QString what =
        QStringLiteral("%1 http://%2:%3%4 [%5]")
            .arg(operation,
                 ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host")),
                 ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port")), path,
                 shown.join(QLatin1Char(' ')));
    try {
        const QString answer = exchange(path, operation, params);
        // One arg() for all: a "%" in a parameter must stay as it is.
        SupportLog::write(QStringLiteral("servidor"),
                          QStringLiteral("%1 %2 ms: resposta HTTP %3, %4 caracteres")
                              .arg(what, QString::number(elapsed.elapsed()),
                                   QString::number(m_lastStatus), QString::number(answer.size())));
        return answer;
    } catch (const NetworkError& e) {
        SupportLog::write(QStringLiteral("servidor"),
                          QStringLiteral("%1 %2 ms: falhou (%3) %4")
                              .arg(what, QString::number(elapsed.elapsed()),
                                   QString::number(e.number()), e.description()));
        throw;
    }
}

QString SoapTransport::exchange(const QString& path, const QString& operation,
                                const QList<Soap::SoapParam>& params) {
    const QString host =
        ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"));
    const QString port =
        ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port"));
    const QUrl url = serviceUrl(host, port, path);

    const ProxySettings::Settings proxySettings = ProxySettings::read();
    if (!proxySettings.usable())
        throw NetworkError(
            NetworkError::InvalidAddress,
            QStringLiteral("O proxy manual não tem host ou porta nas configurações."));
    // The system mode keeps Qt's own choice (with its proxy failover); the
    // others name the proxy for this call.
    m_manager->setProxy(
        proxySettings.mode == ProxySettings::Mode::System && !ProxySettings::isLoopback(url.host())
            ? QNetworkProxy(QNetworkProxy::DefaultProxy)
            : ProxySettings::proxyFor(proxySettings, url.host(), static_cast<quint16>(url.port())));
    // Each call gets its own bound on asking for a proxy's password.
    int proxyTries = 0;
    QNetworkProxy askingProxy; // the proxy that last asked for a password
    const struct Disconnect {
        QMetaObject::Connection connection;
        ~Disconnect() { QObject::disconnect(connection); }
    } authConnection{QObject::connect(
        m_manager.get(), &QNetworkAccessManager::proxyAuthenticationRequired, m_manager.get(),
        [&](const QNetworkProxy& proxy, QAuthenticator* authenticator) {
            askingProxy = proxy;
            if (m_proxyAuth)
                m_proxyAuth->answer(proxy, authenticator, proxyTries);
        })};

    QNetworkRequest request(url);
    request.setRawHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/xml"));
    request.setRawHeader(QByteArrayLiteral("SOAPAction"), operation.toUtf8());

    BusyGuard busy(m_busy);
    // The reply is deleted with the guard on every way out, including throws.
    const std::unique_ptr<QNetworkReply> reply(
        m_manager->post(request, Soap::BuildSoapRequest(operation, params).toUtf8()));

    QEventLoop loop;
    QTimer timer;
    QTimer deadline;
    QTimer offer;
    for (QTimer* t : {&timer, &deadline, &offer})
        t->setSingleShot(true);
    bool requestSent = false;
    bool offerDue = false;
    QByteArray body;
    // The transport's own reason for ending the call early, as a NetworkError
    // number; the first reason wins.
    std::optional<qint32> stopped;
    const auto stop = [&](qint32 reason) {
        if (stopped)
            return;
        stopped = reason;
        reply->abort(); // emits finished, which ends the loop
    };
    const auto take = [&] {
        while (!stopped && reply->bytesAvailable() > 0) {
            body += reply->read(kReadChunk);
            if (body.size() > kMaxAnswerBytes)
                stop(NetworkError::AnswerTooLarge);
        }
    };

    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        stop(requestSent ? NetworkError::ReadTimeout : NetworkError::ConnectTimeout);
    });
    QObject::connect(&deadline, &QTimer::timeout, &loop,
                     [&] { stop(NetworkError::DeadlineExpired); });
    QObject::connect(&offer, &QTimer::timeout, &loop, [&] {
        offerDue = true;
        loop.quit();
    });
    // Once the request is out, only silence from the server counts.
    const auto restartRead = [&] {
        requestSent = true;
        timer.start(m_timeouts.read);
    };
    QObject::connect(reply.get(), &QNetworkReply::requestSent, &loop, restartRead);
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        restartRead();
        // A declared length over the bound is refused before any of it is read.
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > kMaxAnswerBytes)
            stop(NetworkError::AnswerTooLarge);
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        restartRead();
        take();
    });
    QObject::connect(reply.get(), &QNetworkReply::uploadProgress, &loop, [&] {
        // Bytes going out keep a large request alive while it is being sent.
        timer.start(requestSent ? m_timeouts.read : m_timeouts.connect);
    });

    timer.start(m_timeouts.connect);
    deadline.start(m_timeouts.total);
    if (m_busy)
        offer.start(m_timeouts.cancelOffer);
    // User input stays excluded unless the indicator offers a cancel and keeps
    // the other windows' input away itself.
    QEventLoop::ProcessEventsFlags flags = QEventLoop::ExcludeUserInputEvents;
    while (!reply->isFinished()) {
        loop.exec(flags);
        if (offerDue) {
            offerDue = false;
            if (m_busy->offerCancel([&] { stop(NetworkError::Cancelled); }))
                flags = QEventLoop::AllEvents;
        }
    }
    for (QTimer* t : {&timer, &deadline, &offer})
        t->stop();
    take();

    if (stopped) {
        const QString where = url.toString();
        switch (*stopped) {
        case NetworkError::ReadTimeout:
            throw NetworkError(*stopped, QStringLiteral("No answer from %1 within %2 ms")
                                             .arg(where)
                                             .arg(m_timeouts.read.count()));
        case NetworkError::ConnectTimeout:
            throw NetworkError(*stopped, QStringLiteral("Could not reach %1 within %2 ms")
                                             .arg(where)
                                             .arg(m_timeouts.connect.count()));
        case NetworkError::DeadlineExpired:
            throw NetworkError(*stopped,
                               QStringLiteral("The answer from %1 was not complete within %2 ms")
                                   .arg(where)
                                   .arg(m_timeouts.total.count()));
        case NetworkError::AnswerTooLarge:
            throw NetworkError(*stopped,
                               QStringLiteral("The answer from %1 is larger than %2 bytes")
                                   .arg(where)
                                   .arg(kMaxAnswerBytes));
        default:
            throw NetworkError(*stopped, QStringLiteral("Call to %1 cancelled").arg(where));
        }
    }
    // An HTTP status means the server answered: its body is the result, error
    // status or not. Without one the request never got an answer, and a
    // connection or proxy failure after the status (1 to 199 in Qt's codes)
    // means the body is cut short. An error under a success status is the body
    // itself failing (one that does not decompress), never an empty answer.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int code = static_cast<int>(reply->error());
    m_lastStatus = status.toInt();
    const bool successStatus = status.toInt() >= 200 && status.toInt() < 300;
    if (code == QNetworkReply::ProxyAuthenticationRequiredError) {
        if (m_proxyAuth)
            m_proxyAuth->forget(askingProxy);
        throw NetworkError(static_cast<qint32>(code),
                           QStringLiteral("O proxy recusou o usuário ou a senha."));
    }
    if (!status.isValid() || (code > 0 && code < 200) || (code != 0 && successStatus))
        throw NetworkError(static_cast<qint32>(code), reply->errorString());
    return AnswerText::decode(body, reply->rawHeader(QByteArrayLiteral("Content-Type")));
}
