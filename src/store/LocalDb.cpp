// Opening, schema creation and statement execution on the local database,
// on either engine.
#include "store/LocalDb.h"

#include "base/AppPaths.h"
#include "base/PrivateFiles.h"
#include "store/DatabaseFile.h"
#include "store/DbError.h"
#include "store/LocalSchema.h"
#include "store/SendingRepository.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QStringList>
#include <atomic>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString uniqueConnectionName() {
    static std::atomic<quint64> counter{0};
    return QStringLiteral("dadav-local-%1").arg(++counter);
}

// The program judged the file itself: its sentence is all the user needs.
[[noreturn]] void throwForeignFile(const QString& path) {
    throw DbError::diagnosed(DbError::kNotADatabaseNumber, QStringLiteral("LocalDb"),
                             databaseFileProblem(path));
}

// In the user's own data folder the database is the user's alone: a new file
// is made 0600 before SQLite sees it, and SQLite gives its journal and WAL
// the database's permissions; an existing one, and what an earlier version
// left beside it, is made so on every open. A file that cannot be made so
// is opened as it is: the folder, 0700, still keeps others out.
void keepPrivate(const QString& path, DatabaseFileKind kind) {
    if (!PrivateFiles::applicationFolderPrivate())
        return;
    if (kind == DatabaseFileKind::Absent) {
        const int fd = ::open(QFile::encodeName(path).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (fd >= 0)
            ::close(fd);
    }
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        if (QFileInfo::exists(path + QLatin1String(suffix)))
            PrivateFiles::restrict(path + QLatin1String(suffix), true);
}

// SQLite's primary result codes of a write lock held elsewhere.
constexpr qint32 kBusyNumber = 5;
constexpr qint32 kLockedNumber = 6;

// Key of the advisory lock under which a server's tables are created or
// migrated, so that two desks starting at once never both create them.
constexpr qint64 kSchemaLockKey = 0x6461646176; // "dadav"

// The settings, checked before anything is opened.
DatabaseSettings::Settings usableSettings() {
    DatabaseSettings::Settings settings = DatabaseSettings::read();
    if (!settings.problem.isEmpty())
        throw DbError::diagnosed(DbError::kServerNumber, QStringLiteral("LocalDb"),
                                 settings.problem);
    return settings;
}

} // namespace

LocalDb::LocalDb() : LocalDb(usableSettings()) {}

LocalDb::LocalDb(const DatabaseSettings::Settings& settings)
    : m_engine(settings.engine), m_connectionName(uniqueConnectionName()) {
    if (m_engine == Engine::Postgresql)
        openServer(settings.server, kDefaultBusyTimeoutMs);
    else
        openFile(AppPaths::databasePath(), kDefaultBusyTimeoutMs);
}

LocalDb::LocalDb(const QString& path, int busyTimeoutMs)
    : m_engine(Engine::Sqlite), m_connectionName(uniqueConnectionName()) {
    openFile(path, busyTimeoutMs);
}

LocalDb::LocalDb(const DatabaseSettings::Server& server, int busyTimeoutMs)
    : m_engine(Engine::Postgresql), m_connectionName(uniqueConnectionName()) {
    openServer(server, busyTimeoutMs);
}

void LocalDb::openFile(const QString& path, int busyTimeoutMs) {
    m_path = path;
    // Judge the file before the engine sees it: SQLite would accept any file
    // at open and could leave a journal beside a file it does not own.
    const DatabaseFileKind kind = detectDatabaseFile(path);
    if (kind != DatabaseFileKind::Absent && kind != DatabaseFileKind::Empty &&
        kind != DatabaseFileKind::Sqlite)
        throwForeignFile(path);

    keepPrivate(path, kind);

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_db.setDatabaseName(path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
    try {
        if (!m_db.open())
            throw DbError::fromSqlError(m_db.lastError(), QStringLiteral("LocalDb"));
        createMissingTables();
        importArchiveOnce(*this);
    } catch (...) {
        // The destructor does not run for a constructor that throws.
        discardConnection();
        throw;
    }
}

void LocalDb::openServer(const DatabaseSettings::Server& server, int busyTimeoutMs) {
    const QString operation = QStringLiteral("LocalDb");
    m_path = server.describe();
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
    if (!m_db.isValid()) {
        discardConnection();
        throw DbError::diagnosed(
            DbError::kServerNumber, operation,
            QStringLiteral("O suporte a servidores PostgreSQL não está instalado "
                           "(pacote libqt6sql6-psql); o servidor de banco de dados %1 "
                           "não pode ser usado.")
                .arg(m_path));
    }
    m_db.setHostName(server.host);
    m_db.setPort(server.port);
    m_db.setDatabaseName(server.databaseName);
    m_db.setUserName(server.user);
    // No password here: the client library reads ~/.pgpass and PGPASSWORD.
    m_db.setConnectOptions(QStringLiteral("connect_timeout=%1;application_name=dadav")
                               .arg(qMax(1, busyTimeoutMs / 1000)));
    try {
        if (!m_db.open()) {
            DbError cause = DbError::fromServerError(m_db.lastError(), operation, m_path);
            throw DbError(DbError::kServerNumber, operation,
                          QStringLiteral("Não foi possível conectar ao servidor de banco de "
                                         "dados PostgreSQL %1 como usuário \"%2\". Verifique "
                                         "a seção [banco] de dadav.ini, a senha em ~/.pgpass e "
                                         "se o servidor está ligado e aceita conexões.")
                              .arg(m_path, server.user.isEmpty() ? qEnvironmentVariable("USER")
                                                                 : server.user),
                          cause.errors());
        }
        // A write that waits for another desk gives up like SQLite's busy
        // time-out instead of hanging the window.
        exec(QStringLiteral("SET lock_timeout = %1").arg(busyTimeoutMs), operation);
        migrateServerTables();
        importArchiveOnce(*this);
    } catch (...) {
        discardConnection();
        throw;
    }
}

void LocalDb::discardConnection() {
    m_db.close();
    // removeDatabase wants no handle left alive, this one included.
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

LocalDb::~LocalDb() {
    discardConnection();
}

DbError LocalDb::failure(const QSqlError& error, const QString& operation) const {
    if (m_engine == Engine::Postgresql)
        return DbError::fromServerError(error, operation, m_path);
    DbError sqlite = DbError::fromSqlError(error, operation);
    // Busy or locked: another window or program holds the write lock beyond
    // the time-out. The driver's words would not tell the user that.
    if (sqlite.number() == kBusyNumber || sqlite.number() == kLockedNumber)
        return DbError(sqlite.number(), operation,
                       QStringLiteral("O banco de dados local %1 está ocupado com a gravação de "
                                      "outra janela ou outro programa; nada foi gravado. Tente "
                                      "de novo em instantes.")
                           .arg(m_path),
                       sqlite.errors());
    return sqlite;
}

QSqlQuery LocalDb::prepare(const QString& sql, const QString& operation) {
    QSqlQuery query(m_db);
    if (!query.prepare(sql))
        throw failure(query.lastError(), operation);
    return query;
}

void LocalDb::exec(QSqlQuery& query, const QString& operation) {
    if (!query.exec())
        throw failure(query.lastError(), operation);
}

QSqlQuery LocalDb::exec(const QString& sql, const QString& operation) {
    QSqlQuery query(m_db);
    if (!query.exec(sql))
        throw failure(query.lastError(), operation);
    return query;
}

namespace {

bool hasColumn(LocalDb& db, const QString& table, const QString& column) {
    QSqlQuery query =
        db.exec(QStringLiteral("SELECT count(*) FROM pragma_table_info('%1') WHERE name = '%2'")
                    .arg(table, column),
                QStringLiteral("LocalDb"));
    return query.next() && query.value(0).toInt() > 0;
}

// The columns added to tables after they were first made, in order.
QList<std::pair<QString, QString>> addedColumns() {
    return LocalSchema::addedBatchColumns() + LocalSchema::addedSendingColumns();
}

bool batchColumnsMissing(LocalDb& db) {
    for (const auto& [table, column] : addedColumns())
        if (!hasColumn(db, table, column.section(QLatin1Char(' '), 0, 0)))
            return true;
    return false;
}

} // namespace

void LocalDb::createMissingTables() {
    const QString operation = QStringLiteral("LocalDb");
    {
        QSqlQuery count = exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE "
                                              "type = 'table' AND name IN "
                                              "('tblContador', 'tblContribuinte', "
                                              "'batch_queue', 'batch_row', 'sending', "
                                              "'sending_import')"),
                               operation);
        if (count.next() && count.value(0).toInt() == 6 && !batchColumnsMissing(*this))
            return;
    }
    DbTransaction transaction(*this, operation);
    exec(QString::fromLatin1(LocalSchema::createContadorSql()), operation);
    exec(QString::fromLatin1(LocalSchema::createContribuinteSql()), operation);
    for (const QString& statement : LocalSchema::createBatchSql())
        exec(statement, operation);
    for (const QString& statement : LocalSchema::createSendingSql())
        exec(statement, operation);
    // A file whose tables an earlier version made: SQLite has no ADD
    // COLUMN IF NOT EXISTS, so each column is looked for first.
    for (const auto& [table, column] : addedColumns())
        if (!hasColumn(*this, table, column.section(QLatin1Char(' '), 0, 0)))
            exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(table, column), operation);
    transaction.commit();
}

namespace {

// The version recorded in `dadav_esquema`, 0 when the table is missing or empty.
int serverSchemaVersion(LocalDb& db, const QString& operation) {
    QSqlQuery exists =
        db.exec(QStringLiteral("SELECT to_regclass('dadav_esquema') IS NOT NULL"), operation);
    if (!exists.next() || !exists.value(0).toBool())
        return 0;
    QSqlQuery version =
        db.exec(QStringLiteral("SELECT coalesce(max(versao), 0) FROM dadav_esquema"), operation);
    return version.next() ? version.value(0).toInt() : 0;
}

} // namespace

void LocalDb::migrateServerTables() {
    const QString operation = QStringLiteral("LocalDb");
    const auto refuseNewer = [&](int version) {
        if (version > kServerSchemaVersion)
            throw DbError(DbError::kServerNumber, operation,
                          QStringLiteral("As tabelas do servidor de banco de dados %1 são de "
                                         "uma versão mais nova do programa (versão %2); "
                                         "atualize o programa nesta estação.")
                              .arg(m_path)
                              .arg(version),
                          {});
    };
    // The usual case costs two reads and no lock.
    int version = serverSchemaVersion(*this, operation);
    refuseNewer(version);
    if (version == kServerSchemaVersion)
        return;

    // Everything below is one transaction: a failure leaves the tables as
    // they were, never half-created.
    DbTransaction transaction(*this, operation);
    exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLockKey), operation);
    // "Already exists, skipping" notices of the later versions' ADD COLUMN IF
    // NOT EXISTS on tables an earlier step just made are no news to a user
    // (the command line would print them).
    exec(QStringLiteral("SET LOCAL client_min_messages TO warning"), operation);
    exec(QStringLiteral("CREATE TABLE IF NOT EXISTS dadav_esquema (versao INTEGER NOT NULL)"),
         operation);
    // Another desk may have migrated while this one waited for the lock.
    version = serverSchemaVersion(*this, operation);
    refuseNewer(version);
    for (int next = version + 1; next <= kServerSchemaVersion; ++next)
        for (const QString& statement : LocalSchema::serverMigration(next))
            exec(statement, operation);
    exec(QStringLiteral("DELETE FROM dadav_esquema"), operation);
    exec(QStringLiteral("INSERT INTO dadav_esquema (versao) VALUES (%1)").arg(kServerSchemaVersion),
         operation);
    transaction.commit();
}

DbTransaction::DbTransaction(LocalDb& db, const QString& operation,
                             std::initializer_list<const char*> lockTables)
    : m_db(db), m_operation(operation) {
    if (m_db.engine() == LocalDb::Engine::Sqlite) {
        m_db.exec(QStringLiteral("BEGIN IMMEDIATE"), m_operation);
        return;
    }
    m_db.exec(QStringLiteral("BEGIN"), m_operation);
    if (lockTables.size() == 0)
        return;
    QStringList tables;
    for (const char* table : lockTables)
        tables << QString::fromLatin1(table);
    try {
        // EXCLUSIVE lets other desks read but makes their writers wait.
        m_db.exec(QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(tables.join(u',')),
                  m_operation);
    } catch (...) {
        // The destructor does not run for a constructor that throws.
        QSqlQuery rollback(m_db.database());
        rollback.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
}

DbTransaction::~DbTransaction() {
    if (!m_open)
        return;
    // A failed rollback leaves nothing to undo: the engine has then already
    // rolled the transaction back itself (or the connection is gone).
    QSqlQuery rollback(m_db.database());
    rollback.exec(QStringLiteral("ROLLBACK"));
}

void DbTransaction::commit() {
    m_db.exec(QStringLiteral("COMMIT"), m_operation);
    m_open = false;
}
