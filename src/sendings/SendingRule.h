// The rule every sender asks before a sending (the two transmission
// windows, the batch rows of the window and of the command line), read from
// the memory of sendings in the database every desk shares:
//   - the same bytes for the same taxpayer and references that any desk has
//     sent and the server may hold (accepted, or the whole request sent
//     without a reply) are asked about (windows) or held back (batch) unless
//     the user ticks them again;
//   - the same bytes being sent right now by another sender are held back
//     whatever the tick: two senders never send them at once;
//   - a different file for the taxpayer and the months of a declaration that
//     another sender is sending, or that a row of another batch has queued,
//     is held back until that one ends, unless the user ticks it to go.
// begin() decides and writes the sending "enviando" in one transaction
// under the memory's lock, so two desks deciding at once are taken one
// after the other and the second sees the first. Texts are Portuguese.
#pragma once

#include "archive/ArchivedSending.h"
#include "store/LocalDb.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace SendingRule {

struct Candidate {
    // The taxpayer, kind, references (empty for an extract), bytes and name
    // as the archive's record of the sending holds them.
    SentArchive::Record record;
    // The batch row being sent and its batch (0 for a window's sending): the
    // batch's own queued rows are the batch itself, never a reason to wait.
    qint64 batchId = 0;
    qint64 batchRowId = 0;
    // The user ticked the row again ("Enviar de novo"): holds the tick lifts
    // are not made.
    bool sendAgain = false;
};

// The file, taxpayer and references of a prepared sending.
Candidate candidateOf(const SentArchive::ArchivedSending& sending);

enum class Reason {
    BeingSent,          // the same bytes, being sent now (never lifted by the tick)
    SentBefore,         // the same bytes, accepted
    NoReplyBefore,      // the same bytes, whole request sent, no reply
    OtherFileBeingSent, // another file for the same months, being sent now
    QueuedElsewhere,    // a row of another batch queued for the same months
};

struct Hold {
    Reason reason;
    QString desk;   // the desk of the other sending or batch
    QDateTime when; // when it was sent, began, or its batch was made
};

// What holds the candidate back at `now`, or nullopt when it may go.
// Throws DbError.
std::optional<Hold> judge(LocalDb& db, const Candidate& candidate, const QDateTime& now);

// The windows' question before sending anyway, ending in a question mark.
QString question(const Hold& hold);

// The batch row's text for a row held back, saying how to let it go: it
// ends in one of the two hints below, which a sender without the batch
// window's tick (the command line) replaces with its own words.
QString rowText(const Hold& hold);
inline const QString kTickToSendAgain = QStringLiteral("Marque a linha para enviar de novo.");
inline const QString kTickToSendAnyway =
    QStringLiteral("A linha espera aquele envio; marque-a para enviar mesmo assim.");

// Decides and, when the candidate may go (or `answered`: the user already
// said yes to the question), writes it into the memory as being sent by
// `desk` (the process `claimer`) since `now`, in one transaction under the
// memory's lock. Returns the entry's id, or the hold and 0. Throws DbError
// (nothing written).
struct Start {
    qint64 entryId = 0;
    std::optional<Hold> hold;
};
Start begin(LocalDb& db, const Candidate& candidate, const QString& desk, const QString& claimer,
            const QDateTime& now, bool answered = false);

// Writes how the sending of entry `entryId` ended (result and reply as the
// archive records them, how far its request got): a sending whose request
// never started is taken out of the memory. Throws DbError.
void finish(LocalDb& db, qint64 entryId, const SentArchive::ArchivedSending& sending,
            const QString& result, const QString& reply, const QDateTime& endedAt);

// The same for the entry a batch row's begin() wrote; nothing when it has none.
void finishRow(LocalDb& db, qint64 batchRowId, const SentArchive::ArchivedSending& sending,
               const QString& result, const QString& reply, const QDateTime& endedAt);

} // namespace SendingRule
