// Finding the helper children: the two places a copy of the client keeps them.
#include "base/HelperProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace HelperProgram {

namespace {

QString findIn(const QString& name, bool executable) {
    const QDir here(QCoreApplication::applicationDirPath());
    const QString candidates[] = {
        here.filePath(name),
        QDir(here.filePath(QStringLiteral(DADAV_HELPER_FROM_BINDIR))).filePath(name),
    };
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (info.isFile() && (!executable || info.isExecutable()))
            return QDir::cleanPath(info.absoluteFilePath());
    }
    return QString();
}

} // namespace

QString find(const QString& name) {
    return findIn(name, true);
}

QString findModule(const QString& name) {
    return findIn(name, false);
}

} // namespace HelperProgram
