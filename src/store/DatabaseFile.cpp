// Recognition of the local database file by its header.
#include "store/DatabaseFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

DatabaseFileKind detectDatabaseFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return DatabaseFileKind::Absent;
    if (!info.isFile())
        return DatabaseFileKind::Unreadable;
    if (info.size() == 0)
        return DatabaseFileKind::Empty;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return DatabaseFileKind::Unreadable;
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

QString databaseFileProblem(const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    switch (detectDatabaseFile(path)) {
    case DatabaseFileKind::Absent:
    case DatabaseFileKind::Empty:
    case DatabaseFileKind::Sqlite:
        return QString();
    case DatabaseFileKind::Unreadable:
        return QStringLiteral("O banco de dados %1 não pode ser lido: verifique se ele é um "
                              "arquivo e se o seu usuário tem permissão para lê-lo e gravá-lo. "
                              "Ele não foi alterado.")
            .arg(shown);
    case DatabaseFileKind::Access:
        return QStringLiteral("O banco de dados %1 é do programa anterior (Access) e não pôde ser "
                              "convertido. Ele não foi alterado; a conversão será tentada de "
                              "novo na próxima vez que o programa for iniciado.")
            .arg(shown);
    case DatabaseFileKind::Unknown:
        break;
    }
    return QStringLiteral("O arquivo %1 não é um banco de dados deste programa. Ele não foi "
                          "alterado.")
        .arg(shown);
}
