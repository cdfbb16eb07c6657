// Opening local folders with the desktop's file manager.
#include "platform/DesktopFolderOpener.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

bool DesktopFolderOpener::openFolder(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}
