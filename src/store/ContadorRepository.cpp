// Statements on `tblContador`.
#include "store/ContadorRepository.h"

#include "store/BindValue.h"
#include "store/LocalSchema.h"

#include <QSqlRecord>
#include <QStringList>
#include <array>

namespace {

// Member of each column, in table order.
constexpr std::array<QString ContadorRow::*, 12> kMembers = {
    &ContadorRow::cont_cpf_cnpj,    &ContadorRow::cont_num_crc,
    &ContadorRow::cont_razao_nome,  &ContadorRow::cont_nom_endereco,
    &ContadorRow::cont_num_predial, &ContadorRow::cont_dsc_complemento,
    &ContadorRow::cont_nom_bairro,  &ContadorRow::cont_nom_cidade,
    &ContadorRow::cont_nom_estado,  &ContadorRow::cont_num_telefone,
    &ContadorRow::cont_num_cep,     &ContadorRow::cont_email,
};
static_assert(kMembers.size() == LocalSchema::kContadorColumns.size());

QString insertSql() {
    QStringList columns;
    QStringList marks;
    for (const char* column : LocalSchema::kContadorColumns) {
        columns << QString::fromLatin1(column);
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO tblContador (%1) VALUES (%2)")
        .arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

} // namespace

std::optional<ContadorRow> selectContador(LocalDb& db) {
    const QString operation = QStringLiteral("selectContador");
    QSqlQuery query = db.exec(QStringLiteral("SELECT * FROM tblContador"), operation);
    if (!query.next())
        return std::nullopt;
    ContadorRow row;
    const QSqlRecord record = query.record();
    for (std::size_t i = 0; i < kMembers.size(); ++i)
        row.*kMembers[i] = BindValue::readText(
            query.value(record.indexOf(QString::fromLatin1(LocalSchema::kContadorColumns[i]))));
    return row;
}

int countContador(LocalDb& db) {
    QSqlQuery query = db.exec(QStringLiteral("SELECT count(0) AS total FROM tblContador"),
                              QStringLiteral("countContador"));
    query.next();
    return query.value(0).toInt();
}

void replaceContador(LocalDb& db, const ContadorRow& row) {
    const QString operation = QStringLiteral("replaceContador");
    // Locked before the delete: two desks replacing at once must not both
    // delete the old row and then both insert.
    DbTransaction transaction(db, operation, {"tblContador"});
    {
        db.exec(QStringLiteral("DELETE FROM tblContador"), operation);
        QSqlQuery insert = db.prepare(insertSql(), operation);
        for (QString ContadorRow::*member : kMembers)
            insert.addBindValue(BindValue::text(row.*member));
        db.exec(insert, operation);
    }
    transaction.commit();
}

void deleteContador(LocalDb& db) {
    db.exec(QStringLiteral("DELETE FROM tblContador"), QStringLiteral("deleteContador"));
}

QString DadosContador(LocalDb& db) {
    const std::optional<ContadorRow> row = selectContador(db);
    if (!row)
        return {};
    QString document = row->cont_cpf_cnpj;
    document.remove(QLatin1Char('.')).remove(QLatin1Char('-')).remove(QLatin1Char('/'));
    return document;
}

QString DadosContador() {
    LocalDb db;
    return DadosContador(db);
}
