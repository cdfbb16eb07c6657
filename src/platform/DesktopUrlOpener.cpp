// Opening web addresses with the desktop's browser.
#include "platform/DesktopUrlOpener.h"

#include <QDesktopServices>
#include <QFileInfo>
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

bool DesktopUrlOpener::openFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}
