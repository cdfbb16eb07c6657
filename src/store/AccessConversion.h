// The one-time conversion of a local database kept by the earlier Windows
// installations (an Access file named dadav.mdb) into the SQLite database
// the client uses. Both tables are read in the Access reader child, columns
// by name; every row is written, as it is read, in one transaction into a
// new file beside the original, which then takes the name dadav.mdb while the
// original stays beside it, never written to, as dadav-access-AAAAMMDD.mdb.
//
// At every moment the original is reachable under one of its names: it is
// first linked to its new name, and the new file then replaces the old name
// in one rename. Any failure removes what was made and leaves the original
// where and as it was.
#pragma once

#include "access/MdbChild.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

namespace AccessConversion {

struct Result {
    enum class Outcome {
        NotNeeded, // the file is not an Access file (SQLite, absent, ...)
        Converted,
        Failed,
    };
    Outcome outcome = Outcome::NotNeeded;
    int taxpayers = 0;       // rows of tblContribuinte carried over
    bool accountant = false; // whether a row of tblContador was carried over
    // "tabela.coluna" of the columns the file lacks (stored as empty) and of
    // those it has beyond the client's (not carried over).
    QStringList missingColumns;
    QStringList extraColumns;
    QString originalPath; // Converted: where the original now lies
    QString error;        // Failed: what went wrong
};

struct Options {
    // The date in the original's new name: today by the program's clock.
    QDate today;
    // Called before each row is written; what it throws fails the
    // conversion as a database fault would.
    std::function<void()> beforeRow;
    // Bounds on the reader child. Rows stream into the new file, so the
    // client's memory does not grow with them; the row bound only stops a
    // damaged file that would go on for ever, far beyond any office's
    // thousands of taxpayers.
    MdbChild::Limits reading = defaultReading();
    // The rename that puts the converted file in the original's place once
    // the original is linked aside (::rename's contract); a test makes it fail.
    std::function<int(const char* from, const char* to)> renameInto = ::rename;

    static MdbChild::Limits defaultReading() {
        MdbChild::Limits limits;
        limits.rows = 2000000;
        return limits;
    }
};

// Converts the file at `path` when it is an Access file; otherwise does
// nothing. Never throws: failures are in the result.
Result convertIfAccess(const QString& path, const Options& options);

// What the user is told, in Portuguese; empty for NotNeeded.
QString message(const Result& result);

} // namespace AccessConversion
