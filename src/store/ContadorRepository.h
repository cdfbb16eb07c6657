// Statements on `tblContador`, the office's accountant (zero or one row).
//
// Values are plain text, exactly as they are to be stored: every statement
// binds its values, so a name with an apostrophe is passed and stored with
// one apostrophe. (Quote doubling belongs to the server envelope alone.)
// Every function throws DbError when the database fails.
#pragma once

#include "store/LocalDb.h"

#include <QString>
#include <optional>

// The twelve columns in table order. Masked fields are stored as read, with
// their literals and "_" placeholders.
struct ContadorRow {
    QString cont_cpf_cnpj;
    QString cont_num_crc;
    QString cont_razao_nome;
    QString cont_nom_endereco;
    QString cont_num_predial;
    QString cont_dsc_complemento;
    QString cont_nom_bairro;
    QString cont_nom_cidade;
    QString cont_nom_estado;
    QString cont_num_telefone;
    QString cont_num_cep;
    QString cont_email;

    bool operator==(const ContadorRow&) const = default;
};

// The first row, or nullopt when the table is empty. NULL columns read as "".
std::optional<ContadorRow> selectContador(LocalDb& db);

// Number of rows (0 means no accountant yet).
int countContador(LocalDb& db);

// Deletes every row and inserts `row`, in one transaction: on failure the
// accountant on file stays as it was. Two desks replacing at once are taken
// one after the other: the later one's row is the one on file, never both.
void replaceContador(LocalDb& db, const ContadorRow& row);

// Deletes every row.
void deleteContador(LocalDb& db);

// The accountant's document (`cont_cpf_cnpj`) with every ".", "-" and "/"
// removed, as the certificate checks search for it; "" when no row exists.
QString DadosContador(LocalDb& db);

// The same on a connection of its own to the application folder's database.
QString DadosContador();
