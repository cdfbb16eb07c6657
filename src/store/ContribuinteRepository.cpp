// Statements on `tblContribuinte`.
#include "store/ContribuinteRepository.h"

#include "store/BindValue.h"

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

} // namespace

std::optional<ContribuinteRow> findContribuinte(LocalDb& db, const QString& ie) {
    const QString operation = QStringLiteral("findContribuinte");
    QSqlQuery query = db.prepare(
        QStringLiteral("SELECT * FROM tblContribuinte WHERE IE = ? ORDER BY rowid"), operation);
    query.addBindValue(BindValue::text(ie));
    db.exec(query, operation);
    if (!query.next())
        return std::nullopt;
    return readRow(query);
}

int countContribuinte(LocalDb& db, const QString& ie) {
    const QString operation = QStringLiteral("countContribuinte");
    QSqlQuery query = db.prepare(
        QStringLiteral("SELECT count(0) AS total FROM tblContribuinte WHERE IE = ?"), operation);
    query.addBindValue(BindValue::text(ie));
    db.exec(query, operation);
    query.next();
    return query.value(0).toInt();
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
    db.exec(query, operation);
}

int updateContribuinte(LocalDb& db, const ContribuinteRow& row) {
    const QString operation = QStringLiteral("updateContribuinte");
    QSqlQuery query = db.prepare(QStringLiteral("UPDATE tblContribuinte SET RazaoSocial = ?, "
                                                "Cnae = ?, CCM = ?, OptanteSimples = ? "
                                                "WHERE IE = ?"),
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
    QSqlQuery query =
        db.prepare(QStringLiteral("DELETE FROM tblContribuinte WHERE IE = ?"), operation);
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
    db.exec(query, operation);
}
