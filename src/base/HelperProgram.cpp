// Finding the helper children: the two places a copy of the client keeps them.
#include "base/HelperProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace HelperProgram {

QString find(const QString& name) {
    const QDir here(QCoreApplication::applicationDirPath());
    const QString candidates[] = {
        here.filePath(name),
        QDir(here.filePath(QStringLiteral(DADAV_HELPER_FROM_BINDIR))).filePath(name),
    };
    for (const QString& candidate : candidates) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return QDir::cleanPath(info.absoluteFilePath());
    }
    return QString();
}

} // namespace HelperProgram
