// Whole rows into the client's two tables.
#include "store/TableInsert.h"

#include "store/LocalSchema.h"

#include <string_view>

namespace {

template <std::size_t N> QStringList names(const std::array<const char*, N>& columns) {
    QStringList list;
    for (const char* column : columns)
        list << QString::fromLatin1(column);
    return list;
}

QVariant textAsStored(const QVariant& value) {
    return value.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(value.toString());
}

QVariant flagAsStored(const QVariant& value) {
    if (value.isNull() || value.toString().isEmpty())
        return QVariant(QMetaType::fromType<int>());
    bool number = false;
    const qlonglong n = value.toLongLong(&number);
    return QVariant(number && n == 0 ? 0 : 1);
}

} // namespace

TableInsert::TableInsert(LocalDb& db, Table table, const QString& operation)
    : m_db(db), m_operation(operation) {
    static_assert(std::string_view(LocalSchema::kContribuinteColumns[LocalSchema::kFlagColumn]) ==
                  "OptanteSimples");
    const QStringList all = columns(table);
    QStringList marks;
    for (qsizetype i = 0; i < all.size(); ++i)
        marks << QStringLiteral("?");
    if (table == Table::Contribuinte)
        m_flagColumn = static_cast<qsizetype>(LocalSchema::kFlagColumn);
    m_query = db.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                             .arg(name(table), all.join(u','), marks.join(u',')),
                         operation);
}

QString TableInsert::name(Table table) {
    return table == Table::Contador ? QStringLiteral("tblContador")
                                    : QStringLiteral("tblContribuinte");
}

QStringList TableInsert::columns(Table table) {
    return table == Table::Contador ? names(LocalSchema::kContadorColumns)
                                    : names(LocalSchema::kContribuinteColumns);
}

void TableInsert::insert(std::span<const QVariant> values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        m_query.addBindValue(static_cast<qsizetype>(i) == m_flagColumn ? flagAsStored(values[i])
                                                                       : textAsStored(values[i]));
    m_db.exec(m_query, m_operation);
}
