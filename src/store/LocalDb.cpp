// Opening, schema creation and statement execution on the local database.
#include "store/LocalDb.h"

#include "base/AppPaths.h"
#include "store/DatabaseFile.h"
#include "store/DbError.h"
#include "store/LocalSchema.h"

#include <QSqlError>
#include <atomic>

namespace {

QString uniqueConnectionName() {
    static std::atomic<quint64> counter{0};
    return QStringLiteral("dadav-local-%1").arg(++counter);
}

[[noreturn]] void throwForeignFile(const QString& path, DatabaseFileKind kind) {
    const QString what = kind == DatabaseFileKind::Access
                             ? QStringLiteral("é um banco de dados Access de versão anterior")
                             : QStringLiteral("não é um banco de dados SQLite");
    throw DbError(DbError::kNotADatabaseNumber, QStringLiteral("LocalDb"),
                  QStringLiteral("O arquivo %1 %2; ele não foi alterado.").arg(path, what), {});
}

} // namespace

LocalDb::LocalDb() : LocalDb(AppPaths::databasePath()) {}

LocalDb::LocalDb(const QString& path, int busyTimeoutMs)
    : m_path(path), m_connectionName(uniqueConnectionName()) {
    // Judge the file before the engine sees it: SQLite would accept any file
    // at open and could leave a journal beside a file it does not own.
    const DatabaseFileKind kind = detectDatabaseFile(path);
    if (kind != DatabaseFileKind::Absent && kind != DatabaseFileKind::Empty &&
        kind != DatabaseFileKind::Sqlite)
        throwForeignFile(path, kind);

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_db.setDatabaseName(path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
    try {
        if (!m_db.open())
            throw DbError::fromSqlError(m_db.lastError(), QStringLiteral("LocalDb"));
        createMissingTables();
    } catch (...) {
        // The destructor does not run for a constructor that throws.
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw;
    }
}

LocalDb::~LocalDb() {
    m_db.close();
    // removeDatabase wants no handle left alive, this one included.
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlQuery LocalDb::prepare(const QString& sql, const QString& operation) {
    QSqlQuery query(m_db);
    if (!query.prepare(sql))
        throw DbError::fromSqlError(query.lastError(), operation);
    return query;
}

void LocalDb::exec(QSqlQuery& query, const QString& operation) {
    if (!query.exec())
        throw DbError::fromSqlError(query.lastError(), operation);
}

QSqlQuery LocalDb::exec(const QString& sql, const QString& operation) {
    QSqlQuery query(m_db);
    if (!query.exec(sql))
        throw DbError::fromSqlError(query.lastError(), operation);
    return query;
}

void LocalDb::createMissingTables() {
    const QString operation = QStringLiteral("LocalDb");
    {
        QSqlQuery count = exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE "
                                              "type = 'table' AND name IN "
                                              "('tblContador', 'tblContribuinte')"),
                               operation);
        if (count.next() && count.value(0).toInt() == 2)
            return;
    }
    DbTransaction transaction(*this, operation);
    exec(QString::fromLatin1(LocalSchema::createContadorSql()), operation);
    exec(QString::fromLatin1(LocalSchema::createContribuinteSql()), operation);
    transaction.commit();
}

DbTransaction::DbTransaction(LocalDb& db, const QString& operation)
    : m_db(db), m_operation(operation) {
    m_db.exec(QStringLiteral("BEGIN IMMEDIATE"), m_operation);
}

DbTransaction::~DbTransaction() {
    if (!m_open)
        return;
    // A failed rollback leaves nothing to undo: SQLite has then already
    // rolled the transaction back itself.
    QSqlQuery rollback(m_db.database());
    rollback.exec(QStringLiteral("ROLLBACK"));
}

void DbTransaction::commit() {
    m_db.exec(QStringLiteral("COMMIT"), m_operation);
    m_open = false;
}
