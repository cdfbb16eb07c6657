// Proposed reference months of a batch row.
#include "batch/ReferenceProposal.h"

#include "transmission/ReferenceList.h"

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

} // namespace ReferenceProposal
