// The tables of the local database and their columns, in table order.
#pragma once

#include <QList>
#include <QString>

#include <array>
#include <utility>

namespace LocalSchema {

inline constexpr std::array<const char*, 12> kContadorColumns = {
    "cont_cpf_cnpj",    "cont_num_crc",         "cont_razao_nome", "cont_nom_endereco",
    "cont_num_predial", "cont_dsc_complemento", "cont_nom_bairro", "cont_nom_cidade",
    "cont_nom_estado",  "cont_num_telefone",    "cont_num_cep",    "cont_email",
};

inline constexpr std::array<const char*, 7> kContribuinteColumns = {
    "IE", "RazaoSocial", "Cnpj", "Cnae", "Chave", "CCM", "OptanteSimples",
};
// The place of the one number column, `OptanteSimples`, in kContribuinteColumns.
inline constexpr std::size_t kFlagColumn = 6;

// Statements that create the two tables when they are missing. Every column is
// text except `OptanteSimples` (NULL, 0 or 1). `IE` compares without regard to
// case, as the earlier Access tables did; no key is declared because
// uniqueness of the IE is checked by the windows before they insert.
const char* createContadorSql();
const char* createContribuinteSql();

// Statements that create the batch queue's tables on SQLite when they are
// missing: `batch_queue` (one batch: the desk that made it, when) and
// `batch_row` (one file to send: taxpayer, path, kind, references, state,
// the server's text, how far the request got, times, who claimed it).
QList<QString> createBatchSql();

// The columns added to the batch tables after they were first made (table,
// column definition), in order: the batch's origin (what made it, e.g. the
// command line's CSV), a row's tick to send a duplicate again, the
// protocol (or "Verificando") the taxpayer's list gave after sending, and
// the SHA-256 of the bytes whose request started.
QList<std::pair<QString, QString>> addedBatchColumns();

// Statements that create the shared memory of sendings on SQLite when it is
// missing: `sending` (one sending by any desk: taxpayer, kind, months, the
// file's SHA-256, size and name, result, reply, whether the whole request
// left, protocol, when it started and ended, the desk and process, the
// batch row it sent) and `sending_import` (which desk's archive folder was
// already read into it).
QList<QString> createSendingSql();

// The columns added to `sending` after it was first made (table, column
// definition): what the taxpayer's list showed of the sending in the end
// (outcome "processado" or "recusado", empty while unknown), the status and
// the server's text of a refusal after processing, the protocols, and when
// this was learned.
QList<std::pair<QString, QString>> addedSendingColumns();

// On a database server: the statements that bring the tables from version
// `version - 1` to `version` (1 creates them). Version 1 keeps the columns
// above; `tblContribuinte` gets an identity column named `rowid`, so lists come
// back in insertion order by the same statement on both engines, and an index
// on lower(IE), by which every statement finds a row. Version 2 adds the
// batch queue's tables (as createBatchSql, with identity keys); version 3
// adds addedBatchColumns to tables version 2 made; version 4 adds the memory
// of sendings (as createSendingSql, with identity keys); version 5 the
// batch columns added since (the row's SHA-256); version 6 the
// outcome of each sending (addedSendingColumns). Empty for a
// version not known to this program.
QList<QString> serverMigration(int version);

} // namespace LocalSchema
