// The one INSERT of whole rows into tblContador and tblContribuinte, for the
// code that carries rows over from elsewhere (the conversion of an Access
// database, the copy to a database server): every column of the client, in
// table order, the flag column bound as a number and the others as text.
#pragma once

#include "store/LocalDb.h"

#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <span>

class TableInsert {
public:
    enum class Table { Contador, Contribuinte };

    // Prepares the statement on db. Throws DbError.
    TableInsert(LocalDb& db, Table table, const QString& operation);

    // The table's name and its columns, in table order.
    static QString name(Table table);
    static QStringList columns(Table table);

    // Inserts one row: one value per column, in columns() order, as the source
    // read it. A text column stores NULL as NULL and anything else as its text;
    // the flag column (`OptanteSimples`) stores NULL and the empty text as
    // NULL, a number as 0 or 1, and any other text as 1. Throws DbError.
    void insert(std::span<const QVariant> values);

private:
    LocalDb& m_db;
    QString m_operation;
    QSqlQuery m_query;
    qsizetype m_flagColumn = -1; // none in tblContador
};
