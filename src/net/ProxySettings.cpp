// The proxy choice: parsing section "proxy" and answering per target host.
#include "net/ProxySettings.h"

#include "base/ReadWrite.h"

#include <QHostAddress>
#include <QNetworkProxyFactory>
#include <QUrl>

namespace ProxySettings {

namespace {
const QString kSection = QStringLiteral("proxy");
} // namespace

Settings read() {
    Settings s;
    const QString mode = ReadWrite::ReadIniValue(kSection, QStringLiteral("modo"));
    if (mode.compare(QLatin1String("manual"), Qt::CaseInsensitive) == 0)
        s.mode = Mode::Manual;
    else if (mode.compare(QLatin1String("nenhum"), Qt::CaseInsensitive) == 0)
        s.mode = Mode::None;
    s.host = ReadWrite::ReadIniValue(kSection, QStringLiteral("host"));
    bool ok = false;
    const uint port = ReadWrite::ReadIniValue(kSection, QStringLiteral("porta")).toUInt(&ok);
    s.port = ok && port > 0 && port <= 65535 ? static_cast<quint16>(port) : 0;
    return s;
}

bool write(const Settings& settings) {
    const QString mode = settings.mode == Mode::Manual ? QStringLiteral("manual")
                         : settings.mode == Mode::None ? QStringLiteral("nenhum")
                                                       : QStringLiteral("sistema");
    return ReadWrite::WriteIniSection(
        kSection, {{QStringLiteral("modo"), mode},
                   {QStringLiteral("host"), settings.host},
                   {QStringLiteral("porta"),
                    settings.port > 0 ? QString::number(settings.port) : QString()}});
}

bool isLoopback(const QString& host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    QString bare = host;
    if (bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']')))
        bare = bare.mid(1, bare.size() - 2);
    const QHostAddress address(bare);
    return !address.isNull() && address.isLoopback();
}

QNetworkProxy proxyFor(const Settings& settings, const QString& targetHost, quint16 targetPort) {
    if (isLoopback(targetHost) || settings.mode == Mode::None)
        return QNetworkProxy(QNetworkProxy::NoProxy);
    if (settings.mode == Mode::Manual)
        return QNetworkProxy(QNetworkProxy::HttpProxy, settings.host, settings.port);
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(targetHost);
    url.setPort(targetPort);
    const QList<QNetworkProxy> found =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(url));
    for (const QNetworkProxy& p : found)
        if (p.type() == QNetworkProxy::HttpProxy || p.type() == QNetworkProxy::Socks5Proxy ||
            p.type() == QNetworkProxy::NoProxy)
            return p;
    return QNetworkProxy(QNetworkProxy::NoProxy);
}

QString describe(const QNetworkProxy& proxy) {
    return proxy.hostName() + QLatin1Char(':') + QString::number(proxy.port());
}

} // namespace ProxySettings
