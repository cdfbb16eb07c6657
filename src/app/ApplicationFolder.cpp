// Choice and seeding of the application folder.
#include "app/ApplicationFolder.h"

#include "base/PrivateFiles.h"
#include "base/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {

const QString kIni = QStringLiteral("dadav.ini");
const QString kInfo = QStringLiteral("info.dip");
const QString kSource = QStringLiteral("ApplicationFolder");

bool hasFile(const QString& folder, const QString& name) {
    return !folder.isEmpty() && QFileInfo(QDir(folder).filePath(name)).isFile();
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// Copies source over target; fails loudly, since a half-seeded folder would
// leave the program without its server address or version text.
void copyOver(const QString& source, const QString& target) {
    if (QFileInfo::exists(target) && !QFile::remove(target))
        throw RuntimeError(75, kSource,
                           QStringLiteral("Não foi possível substituir o arquivo ") + target);
    if (!QFile::copy(source, target))
        throw RuntimeError(75, kSource,
                           QStringLiteral("Não foi possível copiar ") + source +
                               QStringLiteral(" para ") + target);
    // Copies of files installed read-only must stay editable by the user,
    // and by the user alone.
    PrivateFiles::restrict(target, true);
}

} // namespace

namespace ApplicationFolder {

Choice choose(const Inputs& in) {
    const bool portableIni = hasFile(in.programFolder, kIni);
    const bool installedIni = hasFile(in.installedDataFolder, kIni);
    if (in.programFolderWritable && (portableIni || !installedIni))
        return {QDir::cleanPath(in.programFolder), true};

    const QString folder = QDir::cleanPath(in.userDataFolder);
    // The user's data folder holds the access keys and the declarations:
    // the user's alone, an existing one made so too.
    if (folder.isEmpty() || !PrivateFiles::makeFolder(folder, true))
        throw RuntimeError(76, kSource,
                           QStringLiteral("Não foi possível criar a pasta de dados ") + folder);
    const QDir user(folder);

    // The settings seed: the program's own file when it has one, else the
    // installation's.
    const QString iniSeed = portableIni ? in.programFolder : in.installedDataFolder;
    if (!hasFile(folder, kIni) && hasFile(iniSeed, kIni))
        copyOver(QDir(iniSeed).filePath(kIni), user.filePath(kIni));

    const QString infoSeed =
        hasFile(in.installedDataFolder, kInfo) ? in.installedDataFolder : in.programFolder;
    if (hasFile(infoSeed, kInfo)) {
        const QString source = QDir(infoSeed).filePath(kInfo);
        const QString target = user.filePath(kInfo);
        if (!QFileInfo::exists(target) || readAll(source) != readAll(target))
            copyOver(source, target);
    }
    return {folder, false};
}

bool canCreateFileIn(const QString& folder) {
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".dadav-write-test-XXXXXX")));
    return probe.open();
}

} // namespace ApplicationFolder
