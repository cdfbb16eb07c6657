// Recognition of the local database file by its header.
#include "store/DatabaseFile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>

DatabaseFileKind detectDatabaseFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return DatabaseFileKind::Absent;
    if (!info.isFile())
        return DatabaseFileKind::Unknown;
    if (info.size() == 0)
        return DatabaseFileKind::Empty;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return DatabaseFileKind::Unknown;
    const QByteArray head = file.read(32);

    static const QByteArray sqliteMagic("SQLite format 3\0", 16);
    if (head.startsWith(sqliteMagic))
        return DatabaseFileKind::Sqlite;
    // Jet and ACE files: four bytes of page header, then the engine's name.
    const QByteArray engine = head.mid(4, 16);
    if (engine == QByteArray("Standard Jet DB\0", 16) ||
        engine == QByteArray("Standard ACE DB\0", 16))
        return DatabaseFileKind::Access;
    return DatabaseFileKind::Unknown;
}
