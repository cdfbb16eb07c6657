// The application folder: the one place every class that touches a file
// (settings, version text, local database, temporary folder) takes it from.
// Production sets it once at start-up; a test points it at a temporary folder.
#pragma once

#include <QString>

namespace AppPaths {

// Sets the folder; the path is kept as given, without a trailing separator.
void setApplicationFolder(const QString& folder);
// The folder set last, or the empty text before any was set.
QString applicationFolder();

// Files and folders inside the application folder.
QString IniPath();      // settings file "dadav.ini"
QString infoPath();     // installed version text "info.dip"
QString databasePath(); // local database "dadav.mdb"
QString tempFolder();   // folder "temp" for unpacked archives

} // namespace AppPaths
