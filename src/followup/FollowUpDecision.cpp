// Outcomes of open sendings from one list answer.
#include "followup/FollowUpDecision.h"

#include "archive/SentArchive.h"
#include "history/TransmissionList.h"

namespace FollowUp {

bool isOpen(const SendingEntry& entry) {
    return entry.outcome.isEmpty() &&
           (entry.result == SentArchive::kAccepted ||
            (entry.result == SentArchive::kNoReply && entry.wholeRequestSent));
}

QHash<qint64, Outcome> decide(const TaxpayerList::Facts& facts, const QList<SendingEntry>& entries,
                              const QDateTime& answeredAt) {
    QHash<qint64, Outcome> outcomes;
    if (facts.kind != History::ListAnswerKind::Transmissions)
        return outcomes;
    QList<TaxpayerList::Sending> sendings;
    QList<qint64> ids; // per sending; 0 for a rival
    QStringList taken;
    for (const SendingEntry& e : entries) {
        if (!e.outcome.isEmpty()) {
            taken << e.outcomeProtocols.split(QStringLiteral(", "), Qt::SkipEmptyParts);
            continue;
        }
        TaxpayerList::Sending s{e.references, e.startedAt, TaxpayerList::Sending::Role::Maybe};
        if (e.result == kSendingInProgress)
            s.role = TaxpayerList::Sending::Role::Rival;
        else if (!isOpen(e))
            continue;
        else if (e.result == SentArchive::kAccepted)
            s.role = TaxpayerList::Sending::Role::Accepted;
        sendings << s;
        ids << (s.role == TaxpayerList::Sending::Role::Rival ? 0 : e.id);
    }
    const QList<TaxpayerList::Found> found =
        TaxpayerList::settle(facts, sendings, answeredAt, taken);
    for (int i = 0; i < found.size(); ++i) {
        if (ids[i] == 0 || found[i].kind != TaxpayerList::Found::Kind::Processed)
            continue;
        Outcome o{kOutcomeProcessed, {}, {}, found[i].protocols};
        for (const QString& protocol : o.protocols) {
            for (int r = 0; r < facts.rows.size(); ++r) {
                const QStringList& row = facts.rows[r];
                const QString status = row.value(History::ColStatus).trimmed();
                if (row.value(History::ColProtocolo).trimmed() != protocol ||
                    status == QLatin1String("3"))
                    continue;
                if (o.outcome != kOutcomeRefused) {
                    o.outcome = kOutcomeRefused;
                    o.status = status;
                    o.text = facts.messages.value(r);
                }
            }
        }
        outcomes.insert(ids[i], o);
    }
    return outcomes;
}

QString refusedLine(int refused) {
    if (refused <= 0)
        return {};
    return (refused == 1
                ? QStringLiteral("1 envio recusado após o processamento")
                : QStringLiteral("%1 envios recusados após o processamento").arg(refused)) +
           QStringLiteral(" — <a href=\"ver\">ver</a>");
}

} // namespace FollowUp
