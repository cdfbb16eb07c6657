// Helpers of the store tests: a database in a temporary folder (SQLite) or in
// a fresh database of the throw-away PostgreSQL server that CTest starts for
// these tests (fixture pg_server, tests/support/pg-test-server), and a raw
// look at what is stored, bypassing the functions under test.
#pragma once

#include "store/LocalDb.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <vector>

namespace DatabaseSettings {
// Test names and messages say "SQLite" or "PostgreSQL".
inline void PrintTo(Engine engine, std::ostream* out) {
    *out << (engine == Engine::Postgresql ? "PostgreSQL" : "SQLite");
}
} // namespace DatabaseSettings

// The PostgreSQL server of the test run. Every failure is a test failure
// naming the reason: a run without the server is never a silent pass.
namespace PgTestServer {

// Port the running server listens on, 0 (with a failure added) when none runs.
inline quint16 port() {
#ifdef DADAV_TEST_PG_INFO
    QFile info(QStringLiteral(DADAV_TEST_PG_INFO));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("port="))
                return static_cast<quint16>(line.mid(5).toUInt());
    }
    ADD_FAILURE() << "the PostgreSQL test server is not running: no port in " DADAV_TEST_PG_INFO
                     " (CTest starts it in the test pg_server_start; see its output)";
#else
    ADD_FAILURE() << "this test binary was built without the PostgreSQL test server";
#endif
    return 0;
}

// Runs `sql` on the server's maintenance database as its superuser.
inline bool admin(const QString& sql) {
    const QString name = QStringLiteral("pg-test-admin");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(port());
        db.setDatabaseName(QStringLiteral("postgres"));
        db.setUserName(QStringLiteral("dadav"));
        if (!db.open()) {
            ADD_FAILURE() << "cannot reach the PostgreSQL test server: "
                          << db.lastError().text().toStdString();
        } else {
            QSqlQuery query(db);
            ok = query.exec(sql);
            EXPECT_TRUE(ok) << sql.toStdString() << ": " << query.lastError().text().toStdString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// A new empty database of the server, owned by its superuser "dadav".
inline DatabaseSettings::Server createDatabase() {
    static int counter = 0;
    DatabaseSettings::Server server;
    server.host = QStringLiteral("127.0.0.1");
    server.port = port();
    server.user = QStringLiteral("dadav");
    server.databaseName =
        QStringLiteral("dadav_t_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    admin(QStringLiteral("CREATE DATABASE %1").arg(server.databaseName));
    return server;
}

inline void dropDatabase(const DatabaseSettings::Server& server) {
    admin(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(server.databaseName));
}

} // namespace PgTestServer

class StoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString dbPath() const { return dir.filePath(QStringLiteral("dadav.mdb")); }

    // The single value `sql` selects, read through the connection as stored.
    static QVariant scalar(LocalDb& db, const QString& sql) {
        QSqlQuery query(db.database());
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString();
        EXPECT_TRUE(query.next()) << sql.toStdString();
        return query.value(0);
    }

    static void run(LocalDb& db, const QString& sql) {
        QSqlQuery query(db.database());
        ASSERT_TRUE(query.exec(sql))
            << sql.toStdString() << ": " << query.lastError().text().toStdString();
    }

    QTemporaryDir dir;
};

// The same cases on each engine: the SQLite file and a PostgreSQL database.
class EngineStoreTest : public StoreTest, public ::testing::WithParamInterface<LocalDb::Engine> {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        if (GetParam() == LocalDb::Engine::Postgresql) {
            server = PgTestServer::createDatabase();
            ASSERT_FALSE(HasFailure());
        }
    }

    void TearDown() override {
        connections.clear();
        if (GetParam() == LocalDb::Engine::Postgresql && server.port != 0)
            PgTestServer::dropDatabase(server);
    }

    // A new connection to the test's database, open until the test ends.
    LocalDb& openDb() {
        if (GetParam() == LocalDb::Engine::Postgresql)
            connections.push_back(std::make_unique<LocalDb>(server));
        else
            connections.push_back(std::make_unique<LocalDb>(dbPath()));
        return *connections.back();
    }

    // The database as the desk helper (tests/store/DeskProcess.cpp) names it.
    QString target() const {
        if (GetParam() == LocalDb::Engine::Postgresql)
            return QStringLiteral("postgresql:%1:%2").arg(server.port).arg(server.databaseName);
        return QStringLiteral("sqlite:") + dbPath();
    }

#ifdef DADAV_DESK_PROCESS
    // Runs two desks (tests/store/DeskProcess.cpp) on the test's database at
    // once, each a process with its own connection, released together once
    // both are connected. Returns what each printed; a desk that does not
    // finish cleanly is a failure.
    QStringList twoDesks(const QStringList& first, const QStringList& second) {
        const QString go = dir.filePath(QStringLiteral("go"));
        QFile::remove(go);
        QProcess desks[2];
        const QStringList* actions[2] = {&first, &second};
        for (int i = 0; i < 2; ++i) {
            desks[i].setProcessChannelMode(QProcess::ForwardedErrorChannel);
            desks[i].start(QStringLiteral(DADAV_DESK_PROCESS),
                           QStringList{target(), go} + *actions[i]);
        }
        for (QProcess& desk : desks)
            while (!desk.canReadLine() && desk.state() != QProcess::NotRunning)
                desk.waitForReadyRead(100);
        QFile(go).open(QIODevice::WriteOnly);
        QStringList outputs;
        for (QProcess& desk : desks) {
            EXPECT_TRUE(desk.waitForFinished(60000));
            const QString output = QString::fromUtf8(desk.readAllStandardOutput());
            EXPECT_EQ(desk.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(desk.exitCode(), 0) << output.toStdString();
            EXPECT_TRUE(output.startsWith(QLatin1String("pronto\n"))) << output.toStdString();
            outputs << output.mid(7);
        }
        return outputs;
    }
#endif

    // Makes every insert into `table` fail inside the engine.
    void refuseInserts(LocalDb& db, const QString& table) {
        if (GetParam() == LocalDb::Engine::Postgresql) {
            run(db, QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql "
                                   "AS $$ BEGIN RAISE EXCEPTION 'recusado'; END $$"));
            run(db, QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON %1 "
                                   "FOR EACH ROW EXECUTE FUNCTION refuse()")
                        .arg(table));
        } else {
            run(db, QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON %1 "
                                   "BEGIN SELECT RAISE(ABORT, 'recusado'); END")
                        .arg(table));
        }
    }

    void allowInserts(LocalDb& db, const QString& table) {
        if (GetParam() == LocalDb::Engine::Postgresql)
            run(db, QStringLiteral("DROP TRIGGER refuse ON %1").arg(table));
        else
            run(db, QStringLiteral("DROP TRIGGER refuse"));
    }

    DatabaseSettings::Server server;
    std::vector<std::unique_ptr<LocalDb>> connections;
};

// Test names end in "/SQLite" or "/PostgreSQL".
inline std::string engineName(const ::testing::TestParamInfo<LocalDb::Engine>& param) {
    return param.param == LocalDb::Engine::Postgresql ? "PostgreSQL" : "SQLite";
}

#define DADAV_ON_BOTH_ENGINES(Suite)                                                               \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        Engines, Suite, ::testing::Values(LocalDb::Engine::Sqlite, LocalDb::Engine::Postgresql),   \
        engineName)
