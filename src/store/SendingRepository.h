// Statements on the memory of sendings every desk shares (`sending`): one
// entry per sending by any sender of any desk (a transmission window, a
// batch row), written "enviando" when the sender decides to go and given
// the archive's result when it ends; and the reading of a desk's archive
// folder into it, once (`sending_import`). The rule that reads it lives
// above (sendings/SendingRule.h). Every function throws DbError.
#pragma once

#include "archive/SentArchive.h"
#include "store/BatchRepository.h"
#include "store/LocalDb.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The result of an entry whose sending has not ended yet.
inline const QString kSendingInProgress = QStringLiteral("enviando");

// The outcomes a sending's entry can end with (empty while unknown).
inline const QString kOutcomeProcessed = QStringLiteral("processado");
inline const QString kOutcomeRefused = QStringLiteral("recusado");

// The user and machine this program runs as ("user@host"): the desk its
// sendings and batches are recorded as.
QString thisDesk();

struct SendingEntry {
    qint64 id = 0;
    QString ie;
    QString kind;       // SentArchive::kDeclaration or kSimples
    QString references; // as sent ("1_2026,2_2026"), empty for an extract
    QString sha256;
    qint64 size = 0;
    QString fileName;
    QString result; // kSendingInProgress, or SentArchive::kAccepted, kRefused, kNoReply
    QString reply;
    bool wholeRequestSent = false;
    QString protocol;
    QDateTime startedAt;
    QDateTime endedAt;     // invalid while in progress
    QString desk;          // thisDesk() of the sender
    QString claimer;       // the process ("desk #pid"), empty for an imported record
    qint64 batchRowId = 0; // the batch row it sent, 0 for a window's sending
    QString recordFile;    // the archive record it was read from, empty for a sender's
    // What the taxpayer's list showed in the end: kOutcomeProcessed,
    // kOutcomeRefused, or empty while unknown; for a refusal the status and
    // the server's text; the protocols ("a, b"); when it was learned.
    QString outcome;
    QString outcomeStatus;
    QString outcomeText;
    QString outcomeProtocols;
    QDateTime outcomeAt;
    // Read back only: the state of that batch row now (nullopt without one,
    // or when the row is gone).
    std::optional<BatchRowState> rowState;
};

// An entry with what an archive record says of the sending (taxpayer,
// kind, references, bytes, name, result, reply, how far its request got);
// times, desk and the rest are the caller's.
SendingEntry entryOf(const SentArchive::Record& record);

// Every entry for the taxpayer and references, newest first, with the
// state of its batch row.
QList<SendingEntry> sendingsFor(LocalDb& db, const QString& ie, const QString& references);

// A row of another batch waiting in the queue for the same taxpayer and
// references.
struct QueuedElsewhere {
    qint64 rowId = 0;
    QString desk;        // the desk whose batch it is
    QDateTime createdAt; // when that batch was made
};

// The queued rows for the taxpayer and references of batches other than
// `ownBatchId` (0: of every batch), oldest batch first.
QList<QueuedElsewhere> queuedElsewhere(LocalDb& db, const QString& ie, const QString& references,
                                       qint64 ownBatchId);

// Writes a new entry (entry.id is ignored); returns its id.
qint64 insertSending(LocalDb& db, const SendingEntry& entry);

// Ends an entry: its result, reply, whether the whole request left, when.
void finishSending(LocalDb& db, qint64 id, const QString& result, const QString& reply,
                   bool wholeRequestSent, const QDateTime& endedAt);

// Removes an entry (a sending whose request never started), and the entries
// of a batch row left in progress by an earlier claim of that same row.
void dropSending(LocalDb& db, qint64 id);
void dropSendingsOfRow(LocalDb& db, qint64 batchRowId);

// Writes the protocol (or "Verificando") the taxpayer's list gave for the
// sending of a batch row into its entries.
void setSendingProtocol(LocalDb& db, qint64 batchRowId, const QString& protocol);

// The entry of a batch row's sending still in progress, or nullopt.
std::optional<qint64> sendingOfRow(LocalDb& db, qint64 batchRowId);

// Reads every record of the archive (SentArchive::listAll, records made by
// `desk`) into the memory in one transaction, unless that desk's archive
// folder was read before; a record already there (same record file, bytes
// and time) is not added again. Returns the entries added.
int importArchive(LocalDb& db, const QString& desk);

// importArchive of this desk's archive (SentArchive::rootFolder()), asked
// once per process and database (an archive not made yet is marked read
// too: from then on every sender writes to both); nothing when the
// application folder is not set.
void importArchiveOnce(LocalDb& db);

// Entries whose outcome is still unknown although the server may hold the
// sending (accepted, or sent without a reply), started at or after `since`,
// of any desk, oldest first.
QList<SendingEntry> openSendings(LocalDb& db, const QDateTime& since);

// Every entry of the taxpayer (any months), newest first: what a follow-up
// weighs against one list answer.
QList<SendingEntry> sendingsOfTaxpayer(LocalDb& db, const QString& ie);

// Writes an entry's outcome (kOutcomeProcessed or kOutcomeRefused), the
// status and text of a refusal, the protocols and when it was learned.
void setSendingOutcome(LocalDb& db, qint64 id, const QString& outcome, const QString& status,
                       const QString& text, const QString& protocols, const QDateTime& at);

// Entries refused after processing, newest outcome first.
QList<SendingEntry> refusedAfterProcessing(LocalDb& db);
