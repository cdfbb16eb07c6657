// The places the file browser's location list offers, standing in for the
// drive letters of the desktop the program came from: the file system's root,
// the user's home folder, the drives of a Wine prefix (where the state's
// program keeps its backups when run on Linux) and the mounted volumes a user
// would pick a file from (removable media, network shares). On Windows, the
// drives.
#pragma once

#include <QList>
#include <QString>

struct BrowseLocation {
    QString label; // what the list shows
    QString path;  // absolute folder
    bool operator==(const BrowseLocation&) const = default;
};

namespace BrowseLocations {

// The Wine drive folders of a home folder: "C:" → ~/.wine/drive_c and
// "D:" → ~/.wine/drive_d (whether they exist or not).
QString wineDrive(const QString& homeFolder, QChar letter);

// The locations of this machine, without duplicates, in the order above.
// Pseudo file systems (/proc, /sys, /dev, /run except /run/media, snaps) are
// left out. Never fails; unreadable volumes are skipped.
QList<BrowseLocation> available(const QString& homeFolder);

} // namespace BrowseLocations
