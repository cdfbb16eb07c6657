// Unpacking a ZIP archive into a folder, confined to that folder: an entry
// whose name is absolute (a leading "/" or "\", a drive letter) or climbs out
// with "..", or whose way in passes through a symbolic link, is refused before
// anything is written; the total size written is capped, counted from the bytes
// actually inflated, not from what the archive declares.
#pragma once

#include <QString>
#include <QtGlobal>

namespace ArchiveUnpack {

struct Limits {
    qint64 maxTotalBytes = qint64(1) << 30; // bytes written by all entries together
    int maxEntries = 100000;
};

struct Result {
    int files = 0;    // regular files written
    qint64 bytes = 0; // bytes written
};

// Whether an entry name (as stored, "/" or "\" separators) stays inside the
// target folder: not empty, not absolute, no drive letter, no ".." component.
bool isConfinedName(const QString& entryName);

// Unpacks every entry of the archive at zipPath into destFolder (created when
// missing); existing files of the same name are replaced, other files of the
// folder are left alone. Throws RuntimeError (source "ArchiveUnpack") with a
// Portuguese description when the archive cannot be read, an entry name is
// refused (then nothing is written), a limit is passed (files written so far
// stay), or a file cannot be written.
Result unpack(const QString& zipPath, const QString& destFolder, const Limits& limits = {});

} // namespace ArchiveUnpack
