// What one taxpayer's list answer says of the sendings still open: which of
// them the server processed (status 3, its protocols) and which it refused
// after processing (another status, with the server's text). The matching
// of list entries to sendings is the batch's (TaxpayerList::settle); this
// only reads the status of the entries a sending owns. Pure: no database,
// no network.
#pragma once

#include "batch/TaxpayerList.h"
#include "store/SendingRepository.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

namespace FollowUp {

// Whether an entry's outcome may still come from the list: it is not known
// yet and the server may hold the sending (accepted, or its whole request
// left without a reply).
bool isOpen(const SendingEntry& entry);

struct Outcome {
    QString outcome;       // kOutcomeProcessed or kOutcomeRefused
    QString status;        // Refused: the status of the first refused entry
    QString text;          // Refused: the server's text of it (may be empty)
    QStringList protocols; // the entries' protocols, in the sending's months' order
};

// The outcome of each open entry among `entries` (every entry of one
// taxpayer, any desk) that the list settles, by the entry's id; an open
// entry the list does not settle yet (absent, pending, unsure) is left out.
// Entries being sent now compete for list entries without being settled;
// protocols of entries already settled are taken. `answeredAt`: when the
// answer came, by this program's clock. Never throws.
QHash<qint64, Outcome> decide(const TaxpayerList::Facts& facts, const QList<SendingEntry>& entries,
                              const QDateTime& answeredAt);

// The main window's line for `refused` sendings refused after processing,
// its "ver" a link: "2 envios recusados após o processamento — ver"; empty
// for none.
QString refusedLine(int refused);

} // namespace FollowUp
