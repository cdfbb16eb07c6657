// Proposed reference months of a batch row.
#include "batch/ReferenceProposal.h"

#include "transmission/ReferenceList.h"

#include <QRegularExpression>
#include <QStringList>

namespace ReferenceProposal {

Proposal propose(const Overview::Row& row, const QDate& today) {
    if (!row.listed)
        return {
            QString(),
            QStringLiteral("Meses não propostos: %1.").arg(row.cells.value(Overview::ColSituacao))};
    if (row.pending > 0)
        return {QString(), QStringLiteral("Há transmissão em verificação no servidor: escolha "
                                          "os meses.")};
    QStringList ids;
    for (const ReferenceList::Row& r : ReferenceList::build(row.anoTrabalho, today)) {
        const QStringList parts = r.id.split(QLatin1Char('_'));
        const int key = parts.value(1).toInt() * 12 + parts.value(0).toInt() - 1;
        if (!row.processedMonths.contains(key))
            ids << r.id;
    }
    if (ids.isEmpty())
        return {QString(), QStringLiteral("Todos os meses já transmitidos.")};
    return {ids.join(QLatin1Char(',')), QString()};
}

QString textOf(const QString& references) {
    QStringList out;
    for (const QString& id : references.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = id.split(QLatin1Char('_'));
        out << QStringLiteral("%1/%2")
                   .arg(parts.value(0).toInt(), 2, 10, QLatin1Char('0'))
                   .arg(parts.value(1));
    }
    return out.join(QStringLiteral(", "));
}

std::optional<QString> referencesOf(const QString& text) {
    static const QRegularExpression kWhole(
        QStringLiteral("^\\s*(\\d{1,2}\\s*/\\s*\\d{4}\\s*([,;\\s]\\s*|$))*$"));
    if (!kWhole.match(text).hasMatch())
        return std::nullopt;
    QStringList ids;
    const QList<int> months = Overview::referenceMonths(text);
    if (months.size() != text.count(QLatin1Char('/')))
        return std::nullopt; // a month outside 1..12
    for (const int key : months) {
        const QString id = QStringLiteral("%1_%2").arg(key % 12 + 1).arg(key / 12);
        if (!ids.contains(id))
            ids << id;
    }
    return ids.join(QLatin1Char(','));
}

} // namespace ReferenceProposal
