// Locations of the file browser: root, home, Wine drives, mounted volumes.
#include "platform/BrowseLocations.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace {

bool isSystemMount(const QString& root) {
    static const char* const prefixes[] = {"/proc", "/sys", "/dev", "/snap", "/boot", "/var/lib"};
    for (const char* prefix : prefixes) {
        const QString p = QString::fromLatin1(prefix);
        if (root == p || root.startsWith(p + QLatin1Char('/')))
            return true;
    }
    if (root == QLatin1String("/run") || root.startsWith(QLatin1String("/run/")))
        return !root.startsWith(QLatin1String("/run/media/"));
    return false;
}

} // namespace

namespace BrowseLocations {

QString winePrefix(const QString& homeFolder, const QString& winePrefixVariable) {
    if (!winePrefixVariable.isEmpty())
        return QDir::cleanPath(winePrefixVariable);
    return QDir(homeFolder).filePath(QStringLiteral(".wine"));
}

QString winePrefix(const QString& homeFolder) {
    return winePrefix(homeFolder, qEnvironmentVariable("WINEPREFIX"));
}

QString wineDrive(const QString& prefix, QChar letter) {
    if (prefix.isEmpty())
        return QString();
    const QFileInfo device(
        QDir(prefix).filePath(QStringLiteral("dosdevices/%1:").arg(letter.toLower())));
    if (!device.isDir())
        return QString();
    return device.canonicalFilePath();
}

QList<BrowseLocation> available(const QString& homeFolder, const QString& prefix) {
    QList<BrowseLocation> list;
    const auto add = [&list](const QString& label, const QString& path) {
        const QString clean = QDir::cleanPath(path);
        for (const BrowseLocation& l : std::as_const(list))
            if (l.path == clean)
                return;
        list.append({label, clean});
    };
#ifdef Q_OS_WIN
    Q_UNUSED(homeFolder);
    Q_UNUSED(prefix);
    for (const QFileInfo& drive : QDir::drives())
        add(QDir::toNativeSeparators(drive.absoluteFilePath()), drive.absoluteFilePath());
#else
    add(QStringLiteral("/"), QStringLiteral("/"));
    if (!homeFolder.isEmpty())
        add(QStringLiteral("Pasta pessoal (%1)").arg(homeFolder), homeFolder);
    for (const QChar letter : {QLatin1Char('C'), QLatin1Char('D')}) {
        const QString drive = wineDrive(prefix, letter);
        if (!drive.isEmpty())
            add(QStringLiteral("%1:\\ (Wine)").arg(letter), drive);
    }
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        const QString root = volume.rootPath();
        if (isSystemMount(root))
            continue;
        const QString name = volume.displayName();
        add(name == root ? root : QStringLiteral("%1 (%2)").arg(name, root), root);
    }
#endif
    return list;
}

} // namespace BrowseLocations
