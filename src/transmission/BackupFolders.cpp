// The backup folder candidates and the discovery over them.
#include "transmission/BackupFolders.h"

#include <QDir>

namespace BackupFolders {

QList<Candidate> candidates(const std::function<QString(QChar)>& driveRoot) {
    static const char* const programFolders[] = {
        "Arquivos de Programas",
        "Program Files",
        "Program Files (x86)",
        "Arquivos de Programas (x86)",
    };
    QList<Candidate> list;
    for (const QChar drive : {QLatin1Char('C'), QLatin1Char('D')}) {
        const QString rootPath = driveRoot(drive);
        if (rootPath.isEmpty())
            continue; // no such drive: a relative path would name the working folder
        const QDir root(rootPath);
        for (const char* programs : programFolders)
            list.append({drive, QDir::cleanPath(
                                    root.filePath(QString::fromLatin1(programs) +
                                                  QStringLiteral("/SEFAZ-RJ/VAV-UVOD/Backup")))});
    }
    return list;
}

Discovery discover(const QList<Candidate>& list,
                   const std::function<bool(const QString&)>& exists) {
    Discovery found;
    bool onC = false;
    bool onD = false;
    for (const Candidate& c : list) {
        if (!exists(c.folder))
            continue;
        (c.drive == QLatin1Char('D') ? onD : onC) = true;
        found.folder = c.folder;
    }
    if (onD)
        found.drive = QLatin1Char('D');
    else if (onC)
        found.drive = QLatin1Char('C');
    return found;
}

} // namespace BackupFolders
