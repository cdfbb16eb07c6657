// "Recibos do mês": the receipts of one reference month, every taxpayer's,
// copied into a folder the user picked for the office to send to its
// clients: one PDF per receipt (the page when served as a PDF, else the
// client's own), named as in the archive, and an index CSV.
#pragma once

#include <QString>
#include <QStringList>

namespace MonthReceipts {

struct Outcome {
    int copied = 0;      // PDFs in the folder now (the same bytes already there count)
    QString index;       // the index written, empty when it could not be
    QStringList missing; // receipts without a PDF, or that could not be copied, in Portuguese
};

// Copies the receipts kept for `month` ("yyyy-MM") into `folder` and writes
// "recibos <month>.csv" there (contribuinte;referência;protocolo;processado
// em;arquivo, see overview/CsvTable.h). A file of the folder is never
// replaced by different bytes: the copy goes beside it (Receipts::writeOnce).
// Never throws.
Outcome exportMonth(const QString& month, const QString& folder);

} // namespace MonthReceipts
