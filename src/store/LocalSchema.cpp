// Table definitions of the local database.
#include "store/LocalSchema.h"

namespace LocalSchema {

const char* createContadorSql() {
    return "CREATE TABLE IF NOT EXISTS tblContador ("
           "cont_cpf_cnpj TEXT, cont_num_crc TEXT, cont_razao_nome TEXT, "
           "cont_nom_endereco TEXT, cont_num_predial TEXT, cont_dsc_complemento TEXT, "
           "cont_nom_bairro TEXT, cont_nom_cidade TEXT, cont_nom_estado TEXT, "
           "cont_num_telefone TEXT, cont_num_cep TEXT, cont_email TEXT)";
}

const char* createContribuinteSql() {
    return "CREATE TABLE IF NOT EXISTS tblContribuinte ("
           "IE TEXT COLLATE NOCASE, RazaoSocial TEXT, Cnpj TEXT, Cnae TEXT, Chave TEXT, "
           "CCM TEXT, OptanteSimples INTEGER CHECK (OptanteSimples IN (0, 1)))";
}

namespace {

// The batch tables; `key` is the identity column's type on the engine. Times
// are ISO 8601 text, flags 0 or 1: the same statements read them on both.
QList<QString> batchTables(const QString& key) {
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS batch_queue (id %1, created_at TEXT NOT NULL, "
                       "desk TEXT NOT NULL, origin TEXT NOT NULL DEFAULT '')")
            .arg(key),
        QStringLiteral("CREATE TABLE IF NOT EXISTS batch_row (id %1, "
                       "batch_id BIGINT NOT NULL REFERENCES batch_queue (id), "
                       "seq INTEGER NOT NULL, ie TEXT NOT NULL, file_path TEXT NOT NULL, "
                       "kind TEXT NOT NULL, refs TEXT NOT NULL, state TEXT NOT NULL, "
                       "reply TEXT NOT NULL DEFAULT '', "
                       "request_started INTEGER NOT NULL DEFAULT 0 "
                       "CHECK (request_started IN (0, 1)), "
                       "whole_request_sent INTEGER NOT NULL DEFAULT 0 "
                       "CHECK (whole_request_sent IN (0, 1)), "
                       "started_at TEXT, ended_at TEXT, claimed_by TEXT, "
                       "send_again INTEGER NOT NULL DEFAULT 0 CHECK (send_again IN (0, 1)), "
                       "protocol TEXT NOT NULL DEFAULT '', sha256 TEXT NOT NULL DEFAULT '')")
            .arg(key),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS batch_row_batch ON batch_row (batch_id, state, seq)"),
    };
}

// The memory of sendings every desk shares; `key` as for batchTables. The
// result is the archive's ("aceito", "recusado", "sem resposta") once the
// sending ended, "enviando" while it runs.
QList<QString> sendingTables(const QString& key) {
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS sending (id %1, ie TEXT NOT NULL, "
                       "kind TEXT NOT NULL, refs TEXT NOT NULL, sha256 TEXT NOT NULL, "
                       "size BIGINT NOT NULL DEFAULT 0, file_name TEXT NOT NULL DEFAULT '', "
                       "result TEXT NOT NULL, reply TEXT NOT NULL DEFAULT '', "
                       "whole_request_sent INTEGER NOT NULL DEFAULT 0 "
                       "CHECK (whole_request_sent IN (0, 1)), "
                       "protocol TEXT NOT NULL DEFAULT '', started_at TEXT NOT NULL, "
                       "ended_at TEXT, desk TEXT NOT NULL, claimer TEXT NOT NULL DEFAULT '', "
                       "batch_row_id BIGINT, record_file TEXT NOT NULL DEFAULT '')")
            .arg(key),
        QStringLiteral("CREATE INDEX IF NOT EXISTS sending_taxpayer ON sending (ie, refs)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS sending_batch_row ON sending (batch_row_id)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS sending_import (desk TEXT NOT NULL, "
                       "folder TEXT NOT NULL, imported_at TEXT NOT NULL)"),
    };
}

} // namespace

QList<QString> createSendingSql() {
    return sendingTables(QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"));
}

QList<std::pair<QString, QString>> addedBatchColumns() {
    return {
        {QStringLiteral("batch_queue"), QStringLiteral("origin TEXT NOT NULL DEFAULT ''")},
        {QStringLiteral("batch_row"),
         QStringLiteral("send_again INTEGER NOT NULL DEFAULT 0 CHECK (send_again IN (0, 1))")},
        {QStringLiteral("batch_row"), QStringLiteral("protocol TEXT NOT NULL DEFAULT ''")},
        {QStringLiteral("batch_row"), QStringLiteral("sha256 TEXT NOT NULL DEFAULT ''")},
    };
}

QList<std::pair<QString, QString>> addedSendingColumns() {
    return {
        {QStringLiteral("sending"), QStringLiteral("outcome TEXT NOT NULL DEFAULT ''")},
        {QStringLiteral("sending"), QStringLiteral("outcome_status TEXT NOT NULL DEFAULT ''")},
        {QStringLiteral("sending"), QStringLiteral("outcome_text TEXT NOT NULL DEFAULT ''")},
        {QStringLiteral("sending"), QStringLiteral("outcome_protocols TEXT NOT NULL DEFAULT ''")},
        {QStringLiteral("sending"), QStringLiteral("outcome_at TEXT")},
    };
}

QList<QString> createBatchSql() {
    return batchTables(QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"));
}

QList<QString> serverMigration(int version) {
    switch (version) {
    case 1:
        return {
            QString::fromLatin1(createContadorSql()),
            QStringLiteral("CREATE TABLE IF NOT EXISTS tblContribuinte ("
                           "rowid BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY, "
                           "IE TEXT, RazaoSocial TEXT, Cnpj TEXT, Cnae TEXT, Chave TEXT, "
                           "CCM TEXT, OptanteSimples INTEGER CHECK (OptanteSimples IN (0, 1)))"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS tblContribuinte_ie "
                           "ON tblContribuinte (lower(IE))"),
        };
    case 2:
        return batchTables(QStringLiteral("BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY"));
    case 3:
    case 5: {
        // The batch tables of an earlier version, made before these
        // columns: IF NOT EXISTS keeps tables just made by an earlier step
        // (which has them) untouched.
        QList<QString> statements;
        for (const auto& [table, column] : addedBatchColumns())
            statements
                << QStringLiteral("ALTER TABLE %1 ADD COLUMN IF NOT EXISTS %2").arg(table, column);
        return statements;
    }
    case 4:
        return sendingTables(QStringLiteral("BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY"));
    case 6: {
        QList<QString> statements;
        for (const auto& [table, column] : addedSendingColumns())
            statements
                << QStringLiteral("ALTER TABLE %1 ADD COLUMN IF NOT EXISTS %2").arg(table, column);
        return statements;
    }
    default:
        return {};
    }
}

} // namespace LocalSchema
