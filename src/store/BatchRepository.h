// Statements on the batch queue's tables (`batch_queue`, `batch_row`): a
// batch of files to send one after another, each row with its state. The
// state moves only forward: queued → sending → one end state; a row is
// claimed for sending in a transaction that holds the table's write lock
// from reading the first queued row to marking it, so two processes (two
// desks on a server, or a program restarted while another still runs) never
// send the same row.
//
// How far a row's request got is written as it happens: `request_started`
// before the first byte is handed to the socket, `whole_request_sent` when
// the last byte has left. A row found "sending" after a crash is judged by
// them (recoverInterrupted). Every function throws DbError.
#pragma once

#include "store/LocalDb.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

enum class BatchRowState {
    Queued,    // waiting to be sent
    Sending,   // claimed by a sender
    Accepted,  // the server accepted the file
    Refused,   // the server refused it (its text in `reply`)
    NoReply,   // the whole request may have reached the server, no verdict came
    NotSent,   // the server cannot hold it (file missing, cut off, held back)
    Cancelled, // taken out by the user before it was sent
    NotListed, // was NoReply; the taxpayer's list does not show it: may be sent again
};

// The code stored in `batch_row.state` ("queued", "sending", ...), and back
// (nullopt for a code this program does not know).
QString batchRowStateCode(BatchRowState state);
std::optional<BatchRowState> batchRowStateFromCode(const QString& code);

// One file to add to a batch. kind is SentArchive::kDeclaration or kSimples;
// references as they will be sent ("1_2026,2_2026", empty for an extract).
struct NewBatchRow {
    QString ie;
    QString filePath;
    QString kind;
    QString references;
    // The user ticked again a file the archive says the server may already
    // hold: the queue sends it rather than holding it back.
    bool sendAgain = false;
};

struct BatchRow {
    qint64 id = 0;
    qint64 batchId = 0;
    int seq = 0; // order of sending within the batch, from 0
    QString ie;
    QString filePath;
    QString kind;
    QString references;
    BatchRowState state = BatchRowState::Queued;
    QString reply; // the server's text, or why the row ended as it did
    bool requestStarted = false;
    bool wholeRequestSent = false;
    QDateTime startedAt; // invalid until claimed
    QDateTime endedAt;   // invalid until ended
    QString claimedBy;   // who claimed it: the desk, " #" and what names the sending process
    bool sendAgain = false;
    // What the taxpayer's list said after sending: the protocol number (one
    // per month, joined by ", "), "Verificando" while the server processes
    // it, or empty (not asked).
    QString protocol;
    // The SHA-256 of the bytes whose request started (empty before), so
    // that a row settled after a crash is archived with what was sent.
    QString sha256;
};

// Creates a batch of `desk` with these rows, all queued, in one transaction.
// `origin` says what made it (the command line's CSV: see
// unfinishedBatchFrom); empty for a window's. Returns the batch's id.
qint64 createBatch(LocalDb& db, const QString& desk, const QDateTime& createdAt,
                   const QList<NewBatchRow>& rows, const QString& origin = {});

// The batches made by `desk`, oldest first.
QList<qint64> batchesOf(LocalDb& db, const QString& desk);

// Every row of a batch in sending order.
QList<BatchRow> batchRows(LocalDb& db, qint64 batchId);

// Claims the first queued row of the batch for `desk` at `at` (state
// sending, progress flags cleared) and returns it; nullopt when none is
// queued. A row another process claimed first is never returned.
std::optional<BatchRow> claimNextRow(LocalDb& db, qint64 batchId, const QString& desk,
                                     const QDateTime& at);

// The request of a sending row, of the bytes with `sha256`, is about to go
// out / has wholly left.
void markRequestStarted(LocalDb& db, qint64 rowId, const QString& sha256);
void markWholeRequestSent(LocalDb& db, qint64 rowId);

// Ends a sending row in `state` with `reply` at `at`. Returns false (nothing
// written) when the row is not in state sending.
bool finishRow(LocalDb& db, qint64 rowId, BatchRowState state, const QString& reply,
               const QDateTime& at);

// The rows of a batch left "sending" by a sender that stopped (a crash, a
// power cut): a row whose request had started may have reached the server
// whole (the system sends what it was handed even after the program dies)
// and becomes NoReply with `noReplyText`; a row whose request never started
// goes back to the queue. `claimers`: only rows claimed by one of these
// (senders known to have stopped); nullopt: every row left sending (only
// when no other process sends this batch).
struct BatchRecovery {
    int requeued = 0;
    int noReply = 0;
};
BatchRecovery recoverInterrupted(LocalDb& db, qint64 batchId, const QString& noReplyText,
                                 const QDateTime& at,
                                 const std::optional<QStringList>& claimers = std::nullopt);

// Who claimed the rows of the batch still sending, without repeats.
QStringList sendingClaimers(LocalDb& db, qint64 batchId);

// Cancels every queued row of the batch; returns how many.
int cancelQueuedRows(LocalDb& db, qint64 batchId, const QDateTime& at);

// Settles a NoReply row by what the taxpayer's list shows: Accepted with
// `protocol` (or "Verificando"), or NotListed; or keeps it NoReply with
// `reply` saying what the list shows. Returns false (nothing written) when
// the row is not NoReply or `state` is none of these.
bool settleNoReply(LocalDb& db, qint64 rowId, BatchRowState state, const QString& reply,
                   const QString& protocol, const QDateTime& at);

// Writes what the list says of an accepted row: its protocol or
// "Verificando" (its entry in the memory of sendings gets it too). Returns
// false when the row is not Accepted.
bool setProtocol(LocalDb& db, qint64 rowId, const QString& protocol);

// Puts an ended row back in the queue at the user's explicit request: only a
// NotListed, NotSent or Cancelled row (a row the server may hold is never
// re-queued: NoReply must be settled by the list first). `sendAgain` lets a
// file the archive holds back go (a NotListed row's archive record always
// would). Returns false (nothing written) for any other state.
bool requeueRow(LocalDb& db, qint64 rowId, bool sendAgain);

// The newest batch of `desk` made from `origin` that is not finished: a row
// still queued, sending or NoReply, or accepted before its list was asked
// (no protocol, not even "Verificando"). nullopt when none.
std::optional<qint64> unfinishedBatch(LocalDb& db, const QString& desk, const QString& origin);

// The newest batch of `desk` made from `origin`, finished or not.
std::optional<qint64> latestBatch(LocalDb& db, const QString& desk, const QString& origin);
