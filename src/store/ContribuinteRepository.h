// Statements on `tblContribuinte`, the taxpayers the accountant registered.
//
// Values are plain text, exactly as they are to be stored: every statement
// binds its values, so a name with an apostrophe is passed and stored with
// one apostrophe. Rows are found by `IE`, compared without regard to case
// (lower() on both sides, the same statement on both engines).
// Every function throws DbError when the database fails.
#pragma once

#include "store/LocalDb.h"

#include <QList>
#include <QString>
#include <optional>

// One taxpayer, columns in table order. `Cnpj` and `Cnae` keep the masks'
// punctuation; `Chave` is the server's 8-character access key (may be ""
// for an imported row); `CCM` and `OptanteSimples` are never set by the
// import: NULL text reads as "", NULL OptanteSimples as nullopt.
struct ContribuinteRow {
    QString IE;
    QString RazaoSocial;
    QString Cnpj;
    QString Cnae;
    QString Chave;
    QString CCM;
    std::optional<bool> OptanteSimples;

    bool operator==(const ContribuinteRow&) const = default;
};

// The first row with this IE, or nullopt.
std::optional<ContribuinteRow> findContribuinte(LocalDb& db, const QString& ie);

// Number of rows with this IE (greater than 0: already registered).
int countContribuinte(LocalDb& db, const QString& ie);

// Inserts a taxpayer from the new-taxpayer form (all seven columns;
// OptanteSimples nullopt is stored as NULL). Throws DbError number
// DbError::kConflictNumber, with a Portuguese description, and writes nothing
// when the IE is already on file (registered meanwhile by another desk or
// window: the check and the insert are one transaction).
void insertContribuinte(LocalDb& db, const ContribuinteRow& row);

// Updates RazaoSocial, Cnae, CCM and OptanteSimples of the rows with row.IE.
// Cnpj and Chave are never changed; the row's values for them are ignored.
// Returns the number of rows changed (0 when the IE is not on file).
int updateContribuinte(LocalDb& db, const ContribuinteRow& row);

// Every row, in the order they were inserted.
QList<ContribuinteRow> listContribuintes(LocalDb& db);

// Deletes the rows with this IE; returns how many there were.
int deleteContribuinte(LocalDb& db, const QString& ie);

// Inserts a taxpayer read from a company export: IE, RazaoSocial, Cnpj, Cnae
// and Chave; CCM and OptanteSimples are left NULL whatever the row holds.
// Refuses an IE already on file as insertContribuinte does.
void insertImportedContribuinte(LocalDb& db, const ContribuinteRow& row);
