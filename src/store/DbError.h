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
    qint32 number = 0;   // the engine's native error code (SQLite result code)
    QString description; // the engine's own text, else the driver's
    QString source;      // the driver that reported it: "QSQLITE"

    bool operator==(const DbErrorEntry&) const = default;
};

class DbError : public RuntimeError {
public:
    // Number used when the engine gave no code of its own (SQLite's generic error).
    static constexpr qint32 kGenericNumber = 1;
    // Number of a database file that is not SQLite (SQLite's "not a database").
    static constexpr qint32 kNotADatabaseNumber = 26;

    DbError(qint32 number, QString source, QString description, QList<DbErrorEntry> errors);

    // Builds the error of a failed Qt SQL call made by `operation` (the store
    // function's name, shown as the source of the run-time error). The run-time
    // number is the primary SQLite result code of the error (low byte of the
    // native code), kGenericNumber when there is none.
    static DbError fromSqlError(const QSqlError& error, const QString& operation);

    const QList<DbErrorEntry>& errors() const { return m_errors; }

private:
    QList<DbErrorEntry> m_errors;
};
