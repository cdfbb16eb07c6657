// What kind of file lies at the local database's path, judged from its first
// bytes only, so that a file of another format is recognised without being
// opened by the database engine (which could otherwise write beside it).
#pragma once

#include <QString>

enum class DatabaseFileKind {
    Absent,  // no file at the path
    Empty,   // a file of zero bytes: nothing to lose, may be initialised
    Sqlite,  // starts with the SQLite header
    Access,  // an Access (Jet/ACE) database, as the earlier installations kept
    Unknown, // anything else, including a file that cannot be read
};

// Never changes the file. A path that is a folder counts as Unknown.
DatabaseFileKind detectDatabaseFile(const QString& path);
