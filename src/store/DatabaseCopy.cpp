// Copy of the local database into a server database.
#include "store/DatabaseCopy.h"

#include "base/AppPaths.h"
#include "store/DbError.h"
#include "store/TableInsert.h"

#include <QFile>
#include <QStringList>

namespace DatabaseCopy {

namespace {

// Copies every column of `table` into the same table of target, in `order`.
int copyTable(LocalDb& source, LocalDb& target, TableInsert::Table table, const QString& order) {
    const QString operation = QStringLiteral("copiarBanco");
    const QStringList columns = TableInsert::columns(table);
    QSqlQuery rows = source.exec(QStringLiteral("SELECT %1 FROM %2 %3")
                                     .arg(columns.join(u','), TableInsert::name(table), order),
                                 operation);
    TableInsert insert(target, table, operation);
    QList<QVariant> values(columns.size());
    int copied = 0;
    while (rows.next()) {
        for (qsizetype i = 0; i < values.size(); ++i)
            values[i] = rows.value(static_cast<int>(i));
        insert.insert(values);
        ++copied;
    }
    return copied;
}

} // namespace

Counts copyAll(LocalDb& source, LocalDb& target) {
    const QString operation = QStringLiteral("copiarBanco");
    DbTransaction transaction(target, operation, {"tblContador", "tblContribuinte"});
    QSqlQuery count = target.exec(QStringLiteral("SELECT (SELECT count(*) FROM tblContador) + "
                                                 "(SELECT count(*) FROM tblContribuinte)"),
                                  operation);
    if (!count.next() || count.value(0).toLongLong() != 0)
        throw DbError(DbError::kConflictNumber, operation,
                      QStringLiteral("O banco %1 do servidor já tem dados; a cópia só é feita "
                                     "para um banco vazio. Nada foi copiado.")
                          .arg(target.path()),
                      {});
    Counts counts;
    counts.contadores = copyTable(source, target, TableInsert::Table::Contador, QString());
    counts.contribuintes = copyTable(source, target, TableInsert::Table::Contribuinte,
                                     QStringLiteral("ORDER BY rowid"));
    transaction.commit();
    return counts;
}

Outcome copyLocalToServer() {
    const DatabaseSettings::Settings settings = DatabaseSettings::read();
    if (!settings.problem.isEmpty())
        return {1, settings.problem + QLatin1Char('\n')};
    if (settings.engine != DatabaseSettings::Engine::Postgresql)
        return {1, QStringLiteral("A seção [banco] de dadav.ini não indica um servidor "
                                  "PostgreSQL (tipo=postgresql, host, porta, nome, usuario); "
                                  "não há para onde copiar o banco local.\n")};
    const QString path = AppPaths::databasePath();
    if (!QFile::exists(path))
        return {1, QStringLiteral("Não há banco local %1 para copiar.\n").arg(path)};
    try {
        LocalDb source(path);
        LocalDb target(settings.server);
        const Counts counts = copyAll(source, target);
        const QString contadores = counts.contadores == 1
                                       ? QStringLiteral("1 contador")
                                       : QStringLiteral("%1 contadores").arg(counts.contadores);
        const QString contribuintes = counts.contribuintes == 1
                                          ? QStringLiteral("1 empresa")
                                          : QStringLiteral("%1 empresas").arg(counts.contribuintes);
        return {0, QStringLiteral("O banco local %1 foi copiado para o servidor de banco de "
                                  "dados %2: %3 e %4.\n")
                       .arg(path, target.path(), contadores, contribuintes)};
    } catch (const DbError& e) {
        return {1, e.description() + QLatin1Char('\n')};
    }
}

} // namespace DatabaseCopy
