// The rule before a sending, read from the shared memory of sendings.
#include "sendings/SendingRule.h"

#include "store/SendingRepository.h"

namespace SendingRule {

namespace {

// A window's sending still "enviando" after this long was cut off by the
// end of its program (a batch row's is judged by its row's state instead):
// the server may hold it, as after a sending without a reply.
constexpr qint64 kWindowSendingSecs = 2 * 60 * 60;

QString timeText(const QDateTime& when) {
    return when.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

// What an entry of the memory says of the server: nullopt when it cannot
// hold the file (refused, cut off, never started).
std::optional<Reason> standing(const SendingEntry& e, const QDateTime& now) {
    if (e.result == kSendingInProgress) {
        if (e.batchRowId == 0)
            return e.startedAt.secsTo(now) < kWindowSendingSecs ? Reason::BeingSent
                                                                : Reason::NoReplyBefore;
        if (!e.rowState)
            return std::nullopt;
        switch (*e.rowState) {
        case BatchRowState::Sending:
            return Reason::BeingSent;
        case BatchRowState::Accepted:
            return Reason::SentBefore;
        case BatchRowState::NoReply:
        case BatchRowState::NotListed:
            // Left "sending" by a sender that stopped after its request started.
            return Reason::NoReplyBefore;
        default:
            return std::nullopt; // put back in the queue before its request started
        }
    }
    if (e.result == SentArchive::kAccepted ||
        (e.result == SentArchive::kNoReply && e.rowState == BatchRowState::Accepted))
        return Reason::SentBefore;
    if (e.result == SentArchive::kNoReply && e.wholeRequestSent)
        return Reason::NoReplyBefore;
    return std::nullopt;
}

QString sentence(const Hold& hold) {
    const QString when = timeText(hold.when);
    switch (hold.reason) {
    case Reason::BeingSent:
        return QStringLiteral("Este arquivo está sendo enviado pela estação %1 desde %2.")
            .arg(hold.desk, when);
    case Reason::SentBefore:
        return QStringLiteral("Este arquivo já foi enviado pela estação %1 em %2.")
            .arg(hold.desk, when);
    case Reason::NoReplyBefore:
        return QStringLiteral("Este arquivo foi enviado pela estação %1 em %2 mas o servidor não "
                              "respondeu; verifique a lista antes de enviar de novo.")
            .arg(hold.desk, when);
    case Reason::OtherFileBeingSent:
        return QStringLiteral("Outro arquivo deste contribuinte para estas referências está "
                              "sendo enviado pela estação %1 desde %2.")
            .arg(hold.desk, when);
    case Reason::QueuedElsewhere:
        return QStringLiteral("Um arquivo deste contribuinte para estas referências está na "
                              "fila da estação %1 (lote de %2).")
            .arg(hold.desk, when);
    }
    return {};
}

} // namespace

Candidate candidateOf(const SentArchive::ArchivedSending& sending) {
    Candidate c;
    c.record = sending.record();
    return c;
}

std::optional<Hold> judge(LocalDb& db, const Candidate& candidate, const QDateTime& now) {
    std::optional<Hold> sameBytes;
    std::optional<Hold> otherFile;
    // Newest first: the hold named is the latest sending.
    for (const SendingEntry& e :
         sendingsFor(db, candidate.record.ie, candidate.record.references)) {
        if (candidate.batchRowId != 0 && e.batchRowId == candidate.batchRowId)
            continue; // this row's own earlier claim
        const std::optional<Reason> reason = standing(e, now);
        if (!reason)
            continue;
        if (e.sha256 == candidate.record.sha256) {
            const QDateTime when = e.endedAt.isValid() ? e.endedAt : e.startedAt;
            if (*reason == Reason::BeingSent)
                return Hold{*reason, e.desk, e.startedAt};
            if (!sameBytes)
                sameBytes = Hold{*reason, e.desk, when};
        } else if (*reason == Reason::BeingSent && !otherFile) {
            otherFile = Hold{Reason::OtherFileBeingSent, e.desk, e.startedAt};
        }
    }
    if (candidate.sendAgain)
        return std::nullopt;
    if (sameBytes)
        return sameBytes;
    // Extracts carry no months: two of one taxpayer are two periods.
    if (candidate.record.references.isEmpty())
        return std::nullopt;
    if (otherFile)
        return otherFile;
    const QList<QueuedElsewhere> queued =
        queuedElsewhere(db, candidate.record.ie, candidate.record.references, candidate.batchId);
    if (!queued.isEmpty())
        return Hold{Reason::QueuedElsewhere, queued.first().desk, queued.first().createdAt};
    return std::nullopt;
}

QString question(const Hold& hold) {
    switch (hold.reason) {
    case Reason::SentBefore:
    case Reason::NoReplyBefore:
        return sentence(hold) + QStringLiteral(" Transmitir novamente?");
    case Reason::BeingSent:
        return sentence(hold) + QStringLiteral(" Transmitir também?");
    case Reason::OtherFileBeingSent:
    case Reason::QueuedElsewhere:
        return sentence(hold) + QStringLiteral(" Transmitir mesmo assim?");
    }
    return {};
}

QString rowText(const Hold& hold) {
    switch (hold.reason) {
    case Reason::SentBefore:
    case Reason::NoReplyBefore:
        return sentence(hold) + QLatin1Char(' ') + kTickToSendAgain;
    case Reason::BeingSent:
        return sentence(hold) + QStringLiteral(" A linha só pode ser enviada depois que aquele "
                                               "envio terminar.");
    case Reason::OtherFileBeingSent:
    case Reason::QueuedElsewhere:
        return sentence(hold) + QLatin1Char(' ') + kTickToSendAnyway;
    }
    return {};
}

Start begin(LocalDb& db, const Candidate& candidate, const QString& desk, const QString& claimer,
            const QDateTime& now, bool answered) {
    DbTransaction transaction(db, QStringLiteral("SendingRule.begin"), {"sending"});
    if (!answered)
        if (std::optional<Hold> hold = judge(db, candidate, now))
            return {0, hold};
    // An earlier claim of this row that never got to send.
    if (candidate.batchRowId != 0)
        dropSendingsOfRow(db, candidate.batchRowId);
    SendingEntry e = entryOf(candidate.record);
    e.result = kSendingInProgress;
    e.reply.clear();
    e.wholeRequestSent = false;
    e.startedAt = now;
    e.desk = desk;
    e.claimer = claimer;
    e.batchRowId = candidate.batchRowId;
    const qint64 id = insertSending(db, e);
    transaction.commit();
    return {id, std::nullopt};
}

void finish(LocalDb& db, qint64 entryId, const SentArchive::ArchivedSending& sending,
            const QString& result, const QString& reply, const QDateTime& endedAt) {
    if (!sending.started())
        dropSending(db, entryId);
    else
        finishSending(db, entryId, result, reply, sending.record().wholeRequestSent, endedAt);
}

void finishRow(LocalDb& db, qint64 batchRowId, const SentArchive::ArchivedSending& sending,
               const QString& result, const QString& reply, const QDateTime& endedAt) {
    if (const std::optional<qint64> entry = sendingOfRow(db, batchRowId))
        finish(db, *entry, sending, result, reply, endedAt);
}

} // namespace SendingRule
