// Host setting check: delimiters of the other parts of an address are refused
// outright, then Qt's strict host parser has the last word.
#include "net/ServerHost.h"

#include <QHostAddress>
#include <QUrl>

namespace ServerHost {

bool isPlainHost(const QString& host) {
    if (host.isEmpty())
        return false;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        const QHostAddress address(host.mid(1, host.size() - 2));
        return address.protocol() == QAbstractSocket::IPv6Protocol;
    }
    for (const QChar ch : host) {
        if (ch.unicode() <= 0x20 || ch.unicode() == 0x7F || ch.isSpace() ||
            QStringLiteral(":/?#@[]\\%").contains(ch))
            return false;
    }
    QUrl url;
    url.setHost(host, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty();
}

} // namespace ServerHost
