// One connection to the local database, opened by a handler and closed when
// it leaves: no connection outlives the handler that opened it. The file is
// SQLite ("dadav.mdb" in the application folder); when it is absent it is
// created with both tables, and a file of another format is refused without
// being touched. A second running instance that holds the file waits up to
// the busy time-out instead of failing at once.
//
// A LocalDb and the queries made from it belong to the thread that opened it.
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

class LocalDb {
public:
    static constexpr int kDefaultBusyTimeoutMs = 5000;

    // Opens the local database of the application folder (AppPaths::databasePath()).
    // Throws DbError as the constructor below.
    LocalDb();

    // Opens the SQLite file at `path` (any characters, blanks and ";" included).
    // An absent or empty file is created with the tables `tblContador` and
    // `tblContribuinte`. Throws DbError when the file is not SQLite (left
    // untouched), cannot be opened, or its tables cannot be created.
    explicit LocalDb(const QString& path, int busyTimeoutMs = kDefaultBusyTimeoutMs);

    // Closes the connection. Queries made from it must be gone by then.
    ~LocalDb();

    LocalDb(const LocalDb&) = delete;
    LocalDb& operator=(const LocalDb&) = delete;

    const QString& path() const { return m_path; }
    QSqlDatabase& database() { return m_db; }

    // A statement prepared on this connection, values to be bound with
    // addBindValue. `operation` names the caller in the error. Throws DbError.
    QSqlQuery prepare(const QString& sql, const QString& operation);

    // Runs a prepared query with its bound values. Throws DbError.
    void exec(QSqlQuery& query, const QString& operation);

    // Prepares and runs a statement without values. Throws DbError.
    QSqlQuery exec(const QString& sql, const QString& operation);

private:
    void createMissingTables();

    QString m_path;
    QString m_connectionName;
    QSqlDatabase m_db;
};

// A write transaction that takes the file's write lock at once (so a second
// instance waits at the start, never half-way), and rolls back unless
// committed.
class DbTransaction {
public:
    // Throws DbError when the lock cannot be had within the busy time-out.
    DbTransaction(LocalDb& db, const QString& operation);
    // Rolls back when commit() was not reached; never throws.
    ~DbTransaction();

    DbTransaction(const DbTransaction&) = delete;
    DbTransaction& operator=(const DbTransaction&) = delete;

    // Throws DbError; the transaction is then rolled back by the destructor.
    void commit();

private:
    LocalDb& m_db;
    QString m_operation;
    bool m_open = true;
};
