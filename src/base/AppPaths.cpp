// Application folder and the file names the client keeps inside it.
#include "base/AppPaths.h"

#include <QDir>

namespace {
QString& folderStorage() {
    static QString folder;
    return folder;
}
QString inFolder(const QString& name) {
    return QDir(folderStorage()).filePath(name);
}
} // namespace

namespace AppPaths {

void setApplicationFolder(const QString& folder) {
    QString f = QDir::cleanPath(folder);
    folderStorage() = f;
}

QString applicationFolder() {
    return folderStorage();
}
QString IniPath() {
    return inFolder(QStringLiteral("dadav.ini"));
}
QString infoPath() {
    return inFolder(QStringLiteral("info.dip"));
}
QString databasePath() {
    return inFolder(QStringLiteral("dadav.mdb"));
}
QString tempFolder() {
    return inFolder(QStringLiteral("temp"));
}

} // namespace AppPaths
