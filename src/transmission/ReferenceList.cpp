// Reference months of the working years and the selected-months list.
#include "transmission/ReferenceList.h"

#include <QStringList>

namespace ReferenceList {

QList<Row> build(const QString& anoTrabalho, const QDate& today) {
    QList<Row> rows;
    QString previous;
    bool first = true;
    for (const QString& piece : anoTrabalho.split(QLatin1Char('/'))) {
        const QString yearText = piece.trimmed();
        bool ok = false;
        const int year = yearText.toInt(&ok);
        if (!ok || year <= 0)
            continue;
        if (!first && yearText == previous)
            continue;
        first = false;
        previous = yearText;
        const int lastMonth = year == today.year() ? today.month() - 1 : 12;
        for (int month = 1; month <= lastMonth; ++month) {
            const QString m = QString::number(month);
            rows.append({m + QLatin1Char('_') + yearText, m + QStringLiteral(" / ") + yearText});
        }
    }
    return rows;
}

Collected collect(const QList<Row>& rows, const QString& anoTrabalho) {
    Collected out;
    QStringList ids;
    for (const Row& row : rows) {
        const QString year = row.referencia.trimmed().right(4);
        if (anoTrabalho.contains(year)) {
            ids << row.id;
            ++out.accepted;
        } else {
            out.refused = true;
        }
    }
    out.gias = ids.join(QLatin1Char(','));
    return out;
}

QString refusalMessage(bool selectedDownward, const QString& anoTrabalho) {
    if (selectedDownward)
        return QStringLiteral("Você deverá consultar a administração para saber quais "
                              "documentos poderão ser aceitos. ") +
               anoTrabalho;
    return QStringLiteral("Somente serão aceitas GIAS de ") + anoTrabalho;
}

bool isArchiveName(const QString& fileName) {
    return fileName.right(3).toUpper() == QLatin1String("ZIP");
}

} // namespace ReferenceList
