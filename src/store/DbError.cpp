// Translation of Qt SQL errors into the error report's terms.
#include "store/DbError.h"

#include <QSqlError>
#include <utility>

DbError::DbError(qint32 number, QString source, QString description, QList<DbErrorEntry> errors)
    : RuntimeError(number, std::move(source), std::move(description)), m_errors(std::move(errors)) {
}

DbError DbError::diagnosed(qint32 number, QString source, QString sentence) {
    DbError error(number, std::move(source), std::move(sentence), {});
    error.m_diagnosed = true;
    return error;
}

DbError DbError::fromSqlError(const QSqlError& error, const QString& operation) {
    bool numeric = false;
    const qint32 native = error.nativeErrorCode().toInt(&numeric);

    QList<DbErrorEntry> entries;
    if (error.isValid()) {
        DbErrorEntry entry;
        entry.number = numeric ? native : 0;
        entry.description =
            error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
        entry.source = QStringLiteral("QSQLITE");
        entries.append(entry);
    }

    // Extended SQLite codes carry the primary code in their low byte.
    const qint32 primary = numeric ? (native & 0xFF) : 0;
    const qint32 number = primary != 0 ? primary : kGenericNumber;
    QString description = error.driverText();
    if (description.isEmpty())
        description = error.databaseText();
    if (description.isEmpty())
        description = QStringLiteral("Falha no banco de dados local");
    return DbError(number, operation, description, entries);
}

DbError DbError::fromServerError(const QSqlError& error, const QString& operation,
                                 const QString& server) {
    // The state is a five-character SQLSTATE ("55P03"), not always a number.
    const QString state = error.nativeErrorCode();
    QList<DbErrorEntry> entries;
    if (error.isValid()) {
        DbErrorEntry entry;
        entry.number = state.toInt();
        entry.description =
            error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
        if (!state.isEmpty())
            entry.description = state + QStringLiteral(": ") + entry.description;
        entry.source = QStringLiteral("QPSQL");
        entries.append(entry);
    }

    QString description;
    if (state == QLatin1String("55P03") || state == QLatin1String("40P01") ||
        state == QLatin1String("40001"))
        description = QStringLiteral("O servidor de banco de dados %1 está ocupado com a "
                                     "gravação de outra estação; nada foi gravado. Tente de "
                                     "novo em instantes.")
                          .arg(server);
    else if (state.isEmpty() || state.startsWith(QLatin1String("08")) ||
             state.startsWith(QLatin1String("57")))
        description = QStringLiteral("A conexão com o servidor de banco de dados %1 falhou; a "
                                     "operação não foi concluída e nada foi gravado pela "
                                     "metade. Verifique a rede e o servidor.")
                          .arg(server);
    else
        description = QStringLiteral("O servidor de banco de dados %1 recusou a operação; nada "
                                     "foi gravado.")
                          .arg(server);
    return DbError(kServerNumber, operation, description, entries);
}
