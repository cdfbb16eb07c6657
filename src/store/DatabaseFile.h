// What kind of file lies at the local database's path, judged from its first
// bytes only, so that a file of another format is recognised without being
// opened by the database engine (which could otherwise write beside it).
#pragma once

#include <QString>

enum class DatabaseFileKind {
    Absent,     // no file at the path
    Empty,      // a file of zero bytes: nothing to lose, may be initialised
    Sqlite,     // starts with the SQLite header
    Access,     // an Access (Jet/ACE) database, as the earlier installations kept
    Unreadable, // something that cannot be read as a file: a folder, no permission
    Unknown,    // any other file
};

// Never changes the file.
DatabaseFileKind detectDatabaseFile(const QString& path);

// Why the file at path cannot be the local database, as one sentence the user
// is shown alone (in Portuguese, naming the file): for Unreadable, Unknown and
// Access (an earlier installation's file not converted); empty for the kinds
// the database opens (Absent, Empty, Sqlite).
QString databaseFileProblem(const QString& path);
