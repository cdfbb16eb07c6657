// Where the local database lives: the embedded SQLite file of the application
// folder (the default) or a PostgreSQL server shared by several desks. Kept in
// section "banco" of the settings file, keys "tipo", "host", "porta", "nome"
// and "usuario", read afresh at every opening. The client never writes this
// section, and the password is never in it: the server's client library takes
// it from the user's ~/.pgpass or the PGPASSWORD environment.
#pragma once

#include <QString>
#include <QtGlobal>

namespace DatabaseSettings {

enum class Engine { Sqlite, Postgresql };

// The PostgreSQL server and database to use.
struct Server {
    QString host;         // name or address; empty: the library's default (local socket)
    quint16 port = 5432;  // "porta"; 5432 when absent
    QString databaseName; // "nome"; required
    QString user;         // "usuario"; empty: the library's default (the login name)

    // "host:porta/nome" as messages name the server.
    QString describe() const;
};

struct Settings {
    Engine engine = Engine::Sqlite;
    Server server;   // meaningful for Engine::Postgresql only
    QString problem; // non-empty: the section cannot be used; says why, in Portuguese
};

// The settings as the file holds them now. No section, no "tipo" or
// "tipo=sqlite" read as Engine::Sqlite. An unknown "tipo", a "porta" that is
// not a port number, or "tipo=postgresql" without "nome" fill `problem`
// (never silently the local file: a desk that meant to share its data must
// not quietly keep a file of its own). Never throws.
Settings read();

} // namespace DatabaseSettings
