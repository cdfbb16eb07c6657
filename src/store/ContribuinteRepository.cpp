// Statements on `tblContribuinte`.
#include "store/ContribuinteRepository.h"

#include "store/BindValue.h"
#include "store/DbError.h"

#include <QSqlRecord>

namespace {

ContribuinteRow readRow(const QSqlQuery& query) {
    const QSqlRecord record = query.record();
    const auto column = [&](const char* name) {
        return query.value(record.indexOf(QString::fromLatin1(name)));
    };
    ContribuinteRow row;
    row.IE = BindValue::readText(column("IE"));
    row.RazaoSocial = BindValue::readText(column("RazaoSocial"));
    row.Cnpj = BindValue::readText(column("Cnpj"));
    row.Cnae = BindValue::readText(column("Cnae"));
    row.Chave = BindValue::readText(column("Chave"));
    row.CCM = BindValue::readText(column("CCM"));
    row.OptanteSimples = BindValue::readFlag(column("OptanteSimples"));
    return row;
}

// Count of the rows with this IE (compared without regard to case).
int countOn(LocalDb& db, const QString& ie, const QString& operation) {
    QSqlQuery query = db.prepare(
        QStringLiteral("SELECT count(0) AS total FROM tblContribuinte WHERE lower(IE) = lower(?)"),
        operation);
    query.addBindValue(BindValue::text(ie));
    db.exec(query, operation);
    query.next();
    return query.value(0).toInt();
}

// Runs `insert` unless the IE is on file, under the table's write lock, so
// that two desks registering the same IE at once store it once. The loser's
// window is told in words; nothing is written for it.
void insertUnlessRegistered(LocalDb& db, const QString& ie, QSqlQuery& insert,
                            const QString& operation) {
    DbTransaction transaction(db, operation, {"tblContribuinte"});
    if (countOn(db, ie, operation) > 0)
        throw DbError(DbError::kConflictNumber, operation,
                      QStringLiteral("A inscrição estadual %1 acabou de ser cadastrada em outra "
                                     "estação ou janela; a empresa não foi cadastrada de novo.")
                          .arg(ie),
                      {});
    db.exec(insert, operation);
    transaction.commit();
}

} // namespace

std::optional<ContribuinteRow> findContribuinte(LocalDb& db, const QString& ie) {
    const QString operation = QStringLiteral("findContribuinte");
    QSqlQuery query = db.prepare(
        QStringLiteral("SELECT * FROM tblContribuinte WHERE lower(IE) = lower(?) ORDER BY rowid"),
        operation);
    query.addBindValue(BindValue::text(ie));
    db.exec(query, operation);
    if (!query.next())
        return std::nullopt;
    return readRow(query);
}

int countContribuinte(LocalDb& db, const QString& ie) {
    return countOn(db, ie, QStringLiteral("countContribuinte"));
}

void insertContribuinte(LocalDb& db, const ContribuinteRow& row) {
    const QString operation = QStringLiteral("insertContribuinte");
    QSqlQuery query =
        db.prepare(QStringLiteral("INSERT INTO tblContribuinte "
                                  "(IE, RazaoSocial, Cnpj, Cnae, Chave, CCM, OptanteSimples) "
                                  "VALUES (?, ?, ?, ?, ?, ?, ?)"),
                   operation);
    for (const QString* text :
         {&row.IE, &row.RazaoSocial, &row.Cnpj, &row.Cnae, &row.Chave, &row.CCM})
        query.addBindValue(BindValue::text(*text));
    query.addBindValue(BindValue::flag(row.OptanteSimples));
    insertUnlessRegistered(db, row.IE, query, operation);
}

int updateContribuinte(LocalDb& db, const ContribuinteRow& row) {
    const QString operation = QStringLiteral("updateContribuinte");
    QSqlQuery query = db.prepare(QStringLiteral("UPDATE tblContribuinte SET RazaoSocial = ?, "
                                                "Cnae = ?, CCM = ?, OptanteSimples = ? "
                                                "WHERE lower(IE) = lower(?)"),
                                 operation);
    query.addBindValue(BindValue::text(row.RazaoSocial));
    query.addBindValue(BindValue::text(row.Cnae));
    query.addBindValue(BindValue::text(row.CCM));
    query.addBindValue(BindValue::flag(row.OptanteSimples));
    query.addBindValue(BindValue::text(row.IE));
    db.exec(query, operation);
    return query.numRowsAffected();
}

QList<ContribuinteRow> listContribuintes(LocalDb& db) {
    QSqlQuery query = db.exec(QStringLiteral("SELECT * FROM tblContribuinte ORDER BY rowid"),
                              QStringLiteral("listContribuintes"));
    QList<ContribuinteRow> rows;
    while (query.next())
        rows.append(readRow(query));
    return rows;
}

int deleteContribuinte(LocalDb& db, const QString& ie) {
    const QString operation = QStringLiteral("deleteContribuinte");
    QSqlQuery query = db.prepare(
        QStringLiteral("DELETE FROM tblContribuinte WHERE lower(IE) = lower(?)"), operation);
    query.addBindValue(BindValue::text(ie));
    db.exec(query, operation);
    return query.numRowsAffected();
}

void insertImportedContribuinte(LocalDb& db, const ContribuinteRow& row) {
    const QString operation = QStringLiteral("insertImportedContribuinte");
    QSqlQuery query = db.prepare(QStringLiteral("INSERT INTO tblContribuinte "
                                                "(IE, RazaoSocial, Cnpj, Cnae, Chave) "
                                                "VALUES (?, ?, ?, ?, ?)"),
                                 operation);
    for (const QString* text : {&row.IE, &row.RazaoSocial, &row.Cnpj, &row.Cnae, &row.Chave})
        query.addBindValue(BindValue::text(*text));
    insertUnlessRegistered(db, row.IE, query, operation);
}
