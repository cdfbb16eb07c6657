// Translation of Qt SQL errors into the error report's terms.
#include "store/DbError.h"

#include <QSqlError>
#include <utility>

DbError::DbError(qint32 number, QString source, QString description, QList<DbErrorEntry> errors)
    : RuntimeError(number, std::move(source), std::move(description)), m_errors(std::move(errors)) {
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
