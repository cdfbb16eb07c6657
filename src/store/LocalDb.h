// One connection to the local database, opened by a handler and closed when
// it leaves: no connection outlives the handler that opened it. By default the
// database is the SQLite file "dadav.mdb" of the application folder; when it
// is absent it is created with its tables (a file made before the batch
// queue gets the queue's tables added), and a file of another format is
// refused without being touched. Section [banco] of the settings may name a
// PostgreSQL server instead (several desks sharing one accountant and one list
// of taxpayers); its tables are created when missing and their version kept
// in table `dadav_esquema`, so later changes migrate. Either way the memory
// of sendings is made with the tables, and this desk's archive folder is
// read into it once (store/SendingRepository.h). A second running
// instance (or desk) that holds the write lock makes this one wait up to the
// busy time-out instead of failing at once.
//
// A LocalDb and the queries made from it belong to the thread that opened it.
#pragma once

#include "store/DatabaseSettings.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <initializer_list>

class DbError;
class QSqlError;

class LocalDb {
public:
    static constexpr int kDefaultBusyTimeoutMs = 5000;

    using Engine = DatabaseSettings::Engine;

    // Version of the tables on a database server; raised by every change of
    // them, with its migration step.
    static constexpr int kServerSchemaVersion = 6;

    // Opens the database the settings name now (DatabaseSettings::read()):
    // the SQLite file of the application folder (AppPaths::databasePath()) or
    // the PostgreSQL server. Throws DbError as the constructors below, and
    // for a [banco] section that cannot be used (number kServerNumber).
    LocalDb();

    // Opens the SQLite file at `path` (any characters, blanks and ";" included).
    // An absent or empty file is created with the tables `tblContador` and
    // `tblContribuinte`. Throws DbError when the file is not SQLite (left
    // untouched), cannot be opened, or its tables cannot be created.
    explicit LocalDb(const QString& path, int busyTimeoutMs = kDefaultBusyTimeoutMs);

    // Connects to the PostgreSQL database `server` (password from ~/.pgpass
    // or PGPASSWORD), creates the tables when missing and migrates older ones.
    // A write that waits longer than `busyTimeoutMs` for another desk's lock
    // fails. Throws DbError (number kServerNumber, a Portuguese description
    // naming the server) when the server cannot be reached, refuses the user,
    // or holds tables of a newer version of the program; nothing is then
    // written.
    explicit LocalDb(const DatabaseSettings::Server& server,
                     int busyTimeoutMs = kDefaultBusyTimeoutMs);

    // Closes the connection. Queries made from it must be gone by then.
    ~LocalDb();

    LocalDb(const LocalDb&) = delete;
    LocalDb& operator=(const LocalDb&) = delete;

    Engine engine() const { return m_engine; }
    // The SQLite file, or "host:porta/nome" of the server.
    const QString& path() const { return m_path; }
    QSqlDatabase& database() { return m_db; }

    // A statement prepared on this connection, values to be bound with
    // addBindValue. `operation` names the caller in the error. Throws DbError.
    QSqlQuery prepare(const QString& sql, const QString& operation);

    // Runs a prepared query with its bound values. Throws DbError.
    void exec(QSqlQuery& query, const QString& operation);

    // Prepares and runs a statement without values. Throws DbError.
    QSqlQuery exec(const QString& sql, const QString& operation);

    // The error of a failed Qt SQL call on this connection, in the terms of
    // its engine (DbError::fromSqlError or DbError::fromServerError).
    DbError failure(const QSqlError& error, const QString& operation) const;

private:
    explicit LocalDb(const DatabaseSettings::Settings& settings);
    void openFile(const QString& path, int busyTimeoutMs);
    void openServer(const DatabaseSettings::Server& server, int busyTimeoutMs);
    void createMissingTables();
    void migrateServerTables();
    void discardConnection();

    Engine m_engine = Engine::Sqlite;
    QString m_path;
    QString m_connectionName;
    QSqlDatabase m_db;
};

// A write transaction that takes the write lock at once (so a second instance
// or desk waits at the start, never half-way), and rolls back unless
// committed. SQLite locks the whole file; on a server the tables named in
// `lockTables` are locked against other writers (readers go on) until the
// end, so a read made inside the transaction still holds when it writes.
class DbTransaction {
public:
    // Throws DbError when the lock cannot be had within the busy time-out.
    DbTransaction(LocalDb& db, const QString& operation,
                  std::initializer_list<const char*> lockTables = {});
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
