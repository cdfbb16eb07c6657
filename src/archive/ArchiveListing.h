// What the local archive holds for one taxpayer, as one list in the order a
// reader wants it: sendings and receipts together, newest first, with the
// texts an archive window shows. No widgets.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace SentArchive {

struct ListingEntry {
    QDateTime when;             // the sending's end, or when the receipt was kept
    QString kind;               // "Declaração", "Extrato do Simples" or "Recibo"
    QString references;         // "01/2026, 02/2026"; empty for an extract or a receipt
    QString name;               // the file sent, or "Protocolo <número>"
    std::optional<qint64> size; // bytes sent; none for a receipt
    QString result;             // aceito / recusado / sem resposta; empty for a receipt
    QString sha256;             // of the bytes sent; empty for a receipt
    QString file; // what "open" opens: the kept copy (empty when none), the receipt's PDF or XML
    QString xml;  // a receipt's XML; empty for a sending
};

// Every sending and receipt of a taxpayer, newest first (a sending before a
// receipt of the same moment).
QList<ListingEntry> listing(const QString& ie);

// References as sent ("1_2026,2_2026") in the way the main window writes
// them ("01/2026, 02/2026"); a part that is no "<month>_<year>" stays as it is.
QString readableReferences(const QString& sent);

} // namespace SentArchive
