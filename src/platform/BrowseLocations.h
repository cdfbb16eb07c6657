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

// The Wine prefix the state's program runs in: `winePrefixVariable` (the
// value of WINEPREFIX, as Wine itself reads it) when not empty, else
// ~/.wine.
QString winePrefix(const QString& homeFolder, const QString& winePrefixVariable);

// The prefix's WINEPREFIX-or-default for this process's environment.
QString winePrefix(const QString& homeFolder);

// The folder drive `letter` of a Wine prefix stands for: where the prefix's
// dosdevices/<letter>: leads (Wine keeps one link per drive there, c: to
// ../drive_c by default), as a canonical path; empty when the prefix has no
// such drive or it leads to no folder.
QString wineDrive(const QString& prefix, QChar letter);

// The locations of this machine, without duplicates, in the order above:
// the drives C: and D: of the Wine prefix `prefix` when it has them. Pseudo
// file systems (/proc, /sys, /dev and /dev/shm, /run except /run/media,
// snaps) are left out. Never fails; unreadable volumes are skipped.
QList<BrowseLocation> available(const QString& homeFolder, const QString& prefix);

} // namespace BrowseLocations
