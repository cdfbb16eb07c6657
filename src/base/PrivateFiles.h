// What the program keeps in the user's own data folder (database with every
// access key, archive of declarations, support log) is the user's alone, as
// credential stores keep theirs: folders 0700, files 0600, kept so on every
// write, whatever the umask or an earlier version left. A portable
// application folder (dadav.ini beside the executable) keeps the permissions
// its owner gave it: nothing there is changed.
#pragma once

#include <QString>

class QFileDevice;

namespace PrivateFiles {

// Whether the application folder is the user's own data folder. Set once by
// the composition root; off until then, so that tests and tools change no
// permission unless they say so.
void setApplicationFolderPrivate(bool isPrivate);
bool applicationFolderPrivate();

// Creates folder and its missing parents. When isPrivate, the folders it
// creates and folder itself end up 0700. Returns false when folder does not
// exist afterwards or its permission could not be set.
bool makeFolder(const QString& folder, bool isPrivate);

// When isPrivate, makes the existing file at path 0600 (a folder 0700); does
// nothing otherwise. Returns false when the permission could not be set.
bool restrict(const QString& path, bool isPrivate);

// The same for an open file (a QSaveFile before its commit, a log file).
bool restrict(QFileDevice& file, bool isPrivate);

} // namespace PrivateFiles
