// Permissions of the files in the user's own data folder.
#include "base/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <sys/stat.h>

#include <atomic>

namespace {

std::atomic<bool> g_private{false};

constexpr mode_t kFile = S_IRUSR | S_IWUSR;
constexpr mode_t kFolder = S_IRWXU;

} // namespace

namespace PrivateFiles {

void setApplicationFolderPrivate(bool isPrivate) {
    g_private = isPrivate;
}

bool applicationFolderPrivate() {
    return g_private;
}

bool makeFolder(const QString& folder, bool isPrivate) {
    if (folder.isEmpty())
        return false;
    if (!isPrivate)
        return QDir().mkpath(folder);
    // Each missing level is made 0700 from the start: there is no moment at
    // which another account could open it.
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    QStringList missing;
    for (QString level = clean; !QFileInfo::exists(level);) {
        missing.prepend(level);
        const QString parent = QFileInfo(level).path();
        if (parent == level)
            break;
        level = parent;
    }
    for (const QString& level : missing)
        if (::mkdir(QFile::encodeName(level).constData(), kFolder) != 0 &&
            !QFileInfo(level).isDir())
            return false;
    return QFileInfo(clean).isDir()&& restrict(clean, true);
}

bool restrict(const QString& path, bool isPrivate) {
    if (!isPrivate)
        return true;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return false;
    const mode_t wanted = S_ISDIR(st.st_mode) ? kFolder : kFile;
    return (st.st_mode & 07777) == wanted || ::chmod(name.constData(), wanted) == 0;
}

bool restrict(QFileDevice& file, bool isPrivate) {
    return !isPrivate || file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace PrivateFiles
