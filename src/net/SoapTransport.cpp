// SOAP over HTTP with Qt's network access manager, waited for in a local event
// loop with its own connect and read time-outs.
#include "net/SoapTransport.h"

#include "base/ReadWrite.h"
#include "net/NetworkError.h"
#include "platform/BusyIndicator.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace {

bool isLoopback(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// Builds the address exactly as the settings give it; refuses what cannot be
// sent (the request would otherwise go to a default port or nowhere).
QUrl serviceUrl(const QString& host, const QString& port, const QString& path) {
    const QString text = QLatin1String("http://") + host + QLatin1Char(':') + port + path;
    if (host.isEmpty() || port.isEmpty())
        throw NetworkError(NetworkError::InvalidAddress,
                           QStringLiteral("Host or port missing in the settings: %1").arg(text));
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.port() < 0)
        throw NetworkError(NetworkError::InvalidAddress,
                           QStringLiteral("Invalid server address: %1").arg(text));
    return url;
}

} // namespace

SoapTransport::SoapTransport(BusyIndicator* busy, SoapTimeouts timeouts)
    : m_busy(busy), m_timeouts(timeouts), m_manager(std::make_unique<QNetworkAccessManager>()) {
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

SoapTransport::~SoapTransport() = default;

QString SoapTransport::call(const QString& path, const QString& operation,
                            const QList<Soap::SoapParam>& params) {
    const QString host =
        ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"));
    const QString port =
        ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port"));
    const QUrl url = serviceUrl(host, port, path);

    m_manager->setProxy(isLoopback(url.host()) ? QNetworkProxy(QNetworkProxy::NoProxy)
                                               : QNetworkProxy(QNetworkProxy::DefaultProxy));

    QNetworkRequest request(url);
    request.setRawHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/xml"));
    request.setRawHeader(QByteArrayLiteral("SOAPAction"), operation.toUtf8());

    BusyGuard busy(m_busy);
    // The reply is deleted with the guard on every way out, including throws.
    const std::unique_ptr<QNetworkReply> reply(
        m_manager->post(request, Soap::BuildSoapRequest(operation, params).toUtf8()));

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool requestSent = false;
    bool timedOut = false;

    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort(); // emits finished, which ends the loop
    });
    // Once the request is out, only silence from the server counts.
    const auto restartRead = [&] {
        requestSent = true;
        timer.start(m_timeouts.read);
    };
    QObject::connect(reply.get(), &QNetworkReply::requestSent, &loop, restartRead);
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, restartRead);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, restartRead);
    QObject::connect(reply.get(), &QNetworkReply::uploadProgress, &loop, [&] {
        // Bytes going out keep a large request alive while it is being sent.
        timer.start(requestSent ? m_timeouts.read : m_timeouts.connect);
    });

    timer.start(m_timeouts.connect);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    timer.stop();

    if (timedOut) {
        if (requestSent)
            throw NetworkError(NetworkError::ReadTimeout,
                               QStringLiteral("No answer from %1 within %2 ms")
                                   .arg(url.toString())
                                   .arg(m_timeouts.read.count()));
        throw NetworkError(NetworkError::ConnectTimeout,
                           QStringLiteral("Could not reach %1 within %2 ms")
                               .arg(url.toString())
                               .arg(m_timeouts.connect.count()));
    }
    // An HTTP status means the server answered: its body is the result, error
    // status or not. Without one the request never got an answer, and a
    // connection or proxy failure after the status (1 to 199 in Qt's codes)
    // means the body is cut short.
    const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    const int code = static_cast<int>(reply->error());
    if (!answered || (code > 0 && code < 200))
        throw NetworkError(static_cast<qint32>(code), reply->errorString());
    return QString::fromUtf8(reply->readAll());
}
