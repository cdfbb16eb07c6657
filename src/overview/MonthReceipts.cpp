// "Recibos do mês": the month's receipts copied for the office's clients.
#include "overview/MonthReceipts.h"

#include "overview/CsvTable.h"
#include "receipts/ReceiptKeeper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace MonthReceipts {

Outcome exportMonth(const QString& month, const QString& folder) {
    Outcome out;
    QList<QStringList> rows;
    for (const Receipts::Kept& kept : Receipts::keptInMonth(month)) {
        const Receipts::Sending& s = kept.sending;
        const QString label = s.ie + QStringLiteral(" protocolo ") + s.protocolo;
        QFile source(kept.handout());
        if (kept.handout().isEmpty() || !source.open(QIODevice::ReadOnly)) {
            out.missing << label + QStringLiteral(": sem o PDF do recibo");
            continue;
        }
        QString note;
        QString error;
        const QString copy = Receipts::writeOnce(
            QDir(folder).filePath(Receipts::baseName(s) + QStringLiteral(".pdf")), source.readAll(),
            &note, &error, false);
        if (copy.isEmpty()) {
            out.missing << label + QStringLiteral(": ") + error;
            continue;
        }
        ++out.copied;
        rows << QStringList{s.ie + QStringLiteral(" - ") + s.razaoSocial, s.referencia, s.protocolo,
                            s.processedAt, QFileInfo(copy).fileName()};
    }
    const QByteArray csv = CsvTable::write(
        {QStringLiteral("Contribuinte"), QStringLiteral("Referência"), QStringLiteral("Protocolo"),
         QStringLiteral("Processado em"), QStringLiteral("Arquivo")},
        rows);
    // The index of this export replaces an earlier one of the same month.
    const QString index = QDir(folder).filePath(QStringLiteral("recibos %1.csv").arg(month));
    QSaveFile file(index);
    if (file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size() && file.commit())
        out.index = index;
    else
        out.missing << QStringLiteral("não foi possível gravar %1").arg(index);
    return out;
}

} // namespace MonthReceipts
