// SOAP over HTTP (SoapRequest::post), waited for in a local event
// loop with its own time-outs, a total deadline, a bound on the answer's size
// and the user's cancel.
#include "net/SoapTransport.h"

#include "net/CurlReply.h"
#include "net/NetworkError.h"
#include "net/ProxyAuth.h"
#include "net/SoapRequest.h"
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
#include <QTimer>
#include <QUrl>

#include <optional>

namespace {

// The answer is taken from the reply in pieces of this size, so what is held
// never passes the bound by more than one piece.
constexpr qint64 kReadChunk = 64 * 1024;

} // namespace

SoapTransport::SoapTransport(BusyIndicator* busy, SoapTimeouts timeouts, ProxyAuth* proxyAuth)
    : m_busy(busy), m_timeouts(timeouts), m_proxyAuth(proxyAuth) {
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

QNetworkAccessManager& SoapTransport::manager() {
    // Made at the first call, not with the transport: the program builds the
    // transport before its first window, which needs no network.
    if (!m_manager) {
        m_manager = std::make_unique<QNetworkAccessManager>();
        m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }
    return *m_manager;
}

SoapTransport::~SoapTransport() = default;

QString SoapTransport::call(const QString& path, const QString& operation,
                            const QList<Soap::SoapParam>& params) {
    QElapsedTimer elapsed;
    elapsed.start();
    m_lastStatus = 0;
    const QString label = SoapRequest::logLabel(path, operation, params);
    try {
        const QString answer = exchange(path, operation, params);
        SoapRequest::logAnswered(label, elapsed.elapsed(), m_lastStatus, answer.size());
        return answer;
    } catch (const NetworkError& e) {
        SoapRequest::logFailed(label, elapsed.elapsed(), e.number(), e.description());
        throw;
    }
}

QString SoapTransport::exchange(const QString& path, const QString& operation,
                                const QList<Soap::SoapParam>& params) {
    const QUrl url = SoapRequest::serviceUrl(path);
    QByteArray body;
    ProxyAuth::Demand demand = ProxyAuth::Demand::None;
    const std::unique_ptr<QNetworkReply> reply = transfer(
        url, kMaxAnswerBytes,
        [&](QNetworkAccessManager& network) {
            return SoapRequest::post(network, url, operation, params);
        },
        body, demand);
    return SoapRequest::answerOf(*reply, body, demand);
}

HttpPage SoapTransport::get(const QUrl& url) {
    QElapsedTimer elapsed;
    elapsed.start();
    m_lastStatus = 0;
    // The query carries the taxpayer's key: the log names the page alone.
    const QString label = QStringLiteral("GET ") + url.toString(QUrl::RemoveQuery);
    try {
        if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty())
            throw NetworkError(NetworkError::InvalidAddress,
                               QStringLiteral("Endereço inválido: %1").arg(label));
        HttpPage page;
        ProxyAuth::Demand demand = ProxyAuth::Demand::None;
        const std::unique_ptr<QNetworkReply> reply = transfer(
            url, kMaxPageBytes,
            [&](QNetworkAccessManager& network) {
                return CurlReply::get(network, QNetworkRequest(url), kMaxPageBytes);
            },
            page.body, demand);
        SoapRequest::answerOf(*reply, {}, demand); // throws when no answer came whole
        page.status = m_lastStatus;
        page.contentType = reply->rawHeader(QByteArrayLiteral("Content-Type"));
        SoapRequest::logAnswered(label, elapsed.elapsed(), page.status, page.body.size());
        return page;
    } catch (const NetworkError& e) {
        SoapRequest::logFailed(label, elapsed.elapsed(), e.number(), e.description());
        throw;
    }
}

std::unique_ptr<QNetworkReply>
SoapTransport::transfer(const QUrl& url, qint64 maxBytes,
                        const std::function<QNetworkReply*(QNetworkAccessManager&)>& start,
                        QByteArray& body, ProxyAuth::Demand& demand) {
    QNetworkAccessManager& network = manager();
    const QNetworkProxy used = SoapRequest::proxyFor(url);
    network.setProxy(used);
    // Each call gets its own bound on asking for a proxy's password.
    int proxyTries = 0;
    QNetworkProxy askingProxy; // the proxy that last asked for a password
    const struct Disconnect {
        QMetaObject::Connection connection;
        ~Disconnect() { QObject::disconnect(connection); }
    } authConnection{
        QObject::connect(&network, &QNetworkAccessManager::proxyAuthenticationRequired, &network,
                         [&](const QNetworkProxy& proxy, QAuthenticator* authenticator) {
                             askingProxy = proxy;
                             if (!ProxyAuth::isProxyInUse(proxy, used)) {
                                 demand = ProxyAuth::Demand::NotTheProxy;
                                 return;
                             }
                             demand = ProxyAuth::Demand::Answered;
                             if (m_proxyAuth)
                                 m_proxyAuth->answer(proxy, used, authenticator, proxyTries);
                         })};

    BusyGuard busy(m_busy);
    // The reply is deleted with the guard on every way out, including throws.
    std::unique_ptr<QNetworkReply> reply(start(network));

    QEventLoop loop;
    QTimer timer;
    QTimer deadline;
    QTimer offer;
    for (QTimer* t : {&timer, &deadline, &offer})
        t->setSingleShot(true);
    bool requestSent = false;
    bool offerDue = false;
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
            if (body.size() > maxBytes)
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
        if (length.isValid() && length.toLongLong() > maxBytes)
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
                                   .arg(maxBytes));
        default:
            throw NetworkError(*stopped, QStringLiteral("Call to %1 cancelled").arg(where));
        }
    }
    m_lastStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::ProxyAuthenticationRequiredError && m_proxyAuth &&
        demand == ProxyAuth::Demand::Answered)
        m_proxyAuth->forget(askingProxy);
    return reply;
}
