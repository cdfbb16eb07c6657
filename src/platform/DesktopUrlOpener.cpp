// Opening web addresses with the desktop's browser.
#include "platform/DesktopUrlOpener.h"

#include <QDesktopServices>
#include <QUrl>

bool DesktopUrlOpener::isWebAddress(const QString& url) {
    const QUrl parsed(url, QUrl::TolerantMode);
    const QString scheme = parsed.scheme().toLower();
    return parsed.isValid() && (scheme == u"http" || scheme == u"https") &&
           !parsed.host().isEmpty();
}

bool DesktopUrlOpener::open(const QString& url) {
    if (!isWebAddress(url))
        return false;
    return QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}
