// The failure of an operation on the local database: the run-time error that
// the handler reports plus the list of the connection's errors that the error
// report prints before it (one entry per error the database engine gave).
#pragma once

#include "base/RuntimeError.h"

#include <QList>
#include <QString>

class QSqlError;

// One error of the database connection as the error report lists it.
struct DbErrorEntry {
    qint32 number = 0;   // the engine's native error code (SQLite result code; 0 for a
                         // PostgreSQL state that is not a number)
    QString description; // the engine's own text, else the driver's
    QString source;      // the driver that reported it: "QSQLITE" or "QPSQL"

    bool operator==(const DbErrorEntry&) const = default;
};

class DbError : public RuntimeError {
public:
    // Number used when the engine gave no code of its own (SQLite's generic error).
    static constexpr qint32 kGenericNumber = 1;
    // Number of a database file that is not SQLite (SQLite's "not a database").
    static constexpr qint32 kNotADatabaseNumber = 26;
    // Number of a write refused because another desk or window got there
    // first (SQLite's "constraint"), e.g. an IE registered meanwhile.
    static constexpr qint32 kConflictNumber = 19;
    // Number of a database server that cannot be reached or used (SQLite's
    // "cannot open").
    static constexpr qint32 kServerNumber = 14;

    DbError(qint32 number, QString source, QString description, QList<DbErrorEntry> errors);

    // Builds the error of a failed Qt SQL call made by `operation` (the store
    // function's name, shown as the source of the run-time error). The run-time
    // number is the primary SQLite result code of the error (low byte of the
    // native code), kGenericNumber when there is none.
    static DbError fromSqlError(const QSqlError& error, const QString& operation);

    // Builds the error of a failed call on the PostgreSQL server `server`
    // ("host:porta/nome"): the description is the client's own Portuguese
    // text naming the server (busy with another desk's write, connection lost,
    // or refused), never the driver's; the server's own text is kept in the
    // list of the connection's errors, source "QPSQL". Run-time number
    // kServerNumber.
    static DbError fromServerError(const QSqlError& error, const QString& operation,
                                   const QString& server);

    // A failure the program diagnosed itself (a file that is not a database,
    // settings it cannot use), whose description is a whole sentence for the
    // user: the error report shows that sentence alone.
    static DbError diagnosed(qint32 number, QString source, QString sentence);
    bool isDiagnosed() const { return m_diagnosed; }

    const QList<DbErrorEntry>& errors() const { return m_errors; }

private:
    QList<DbErrorEntry> m_errors;
    bool m_diagnosed = false;
};
