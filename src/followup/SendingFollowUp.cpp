// A round of the follow-up: open sendings, their taxpayers' lists, outcomes.
#include "followup/SendingFollowUp.h"

#include "base/RuntimeError.h"
#include "batch/TaxpayerList.h"
#include "followup/FollowUpDecision.h"
#include "history/TransmissionList.h"
#include "net/SoapClient.h"
#include "platform/Clock.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"

#include <QSet>
#include <QTimer>

SendingFollowUp::SendingFollowUp(Setup setup, QObject* parent)
    : QObject(parent), m_setup(std::move(setup)) {
    if (!m_setup.clock)
        m_setup.clock = &systemClock();
    if (!m_setup.openDatabase)
        m_setup.openDatabase = [] {
            return std::make_unique<LocalDb>();
        };
}

SendingFollowUp::~SendingFollowUp() = default;

void SendingFollowUp::run() {
    if (m_running)
        return;
    m_running = true;
    m_asked = m_failed = 0;
    m_problem.clear();
    m_calls.clear();
    QList<SoapBatch::Call> calls;
    try {
        const std::unique_ptr<LocalDb> db = m_setup.openDatabase();
        QSet<QString> taxpayers;
        for (const SendingEntry& e :
             openSendings(*db, m_setup.clock->now().addDays(-kFollowedDays)))
            taxpayers.insert(e.ie);
        for (const QString& ie : taxpayers) {
            const std::optional<ContribuinteRow> row = findContribuinte(*db, ie);
            // A taxpayer no longer registered, or without a key, cannot be asked.
            if (!row || row->Chave.trimmed().isEmpty())
                continue;
            const int id = int(m_calls.size()) + 1;
            m_calls.insert(id, ie);
            calls.append({id, QString(Soap::ServicePath), History::kListOperation,
                          History::listCallParams(row->IE, row->Chave)});
        }
    } catch (const std::exception& e) {
        m_problem = RuntimeError::from(QStringLiteral("SendingFollowUp"), e).description();
    }
    m_asked = int(calls.size());
    if (calls.isEmpty()) {
        QTimer::singleShot(0, this, &SendingFollowUp::end);
        return;
    }
    m_batch = std::make_unique<SoapBatch>(SoapBatch::kCallsAtOnce, m_setup.proxyAuth, nullptr,
                                          m_setup.deadline);
    connect(m_batch.get(), &SoapBatch::answered, this, &SendingFollowUp::onAnswered);
    connect(m_batch.get(), &SoapBatch::failed, this, [this](int, const QString&) { ++m_failed; });
    connect(m_batch.get(), &SoapBatch::finished, this, &SendingFollowUp::end);
    m_batch->run(calls);
}

void SendingFollowUp::onAnswered(int call, const QString& answer) {
    const QString ie = m_calls.value(call);
    const QDateTime answeredAt = m_setup.clock->now();
    const TaxpayerList::Facts facts = TaxpayerList::read(answer);
    if (facts.kind != History::ListAnswerKind::Transmissions) {
        ++m_failed; // a refused key or an unreadable answer: asked again later
        return;
    }
    QList<SendingEntry> refused;
    try {
        const std::unique_ptr<LocalDb> db = m_setup.openDatabase();
        const QString operation = QStringLiteral("SendingFollowUp");
        DbTransaction transaction(*db, operation, {"sending"});
        // Read again under the lock: another desk may have settled some.
        const QList<SendingEntry> entries = sendingsOfTaxpayer(*db, ie);
        const QHash<qint64, FollowUp::Outcome> outcomes =
            FollowUp::decide(facts, entries, answeredAt);
        if (outcomes.isEmpty())
            return;
        for (SendingEntry e : entries) {
            const auto it = outcomes.constFind(e.id);
            if (it == outcomes.constEnd())
                continue;
            e.outcome = it->outcome;
            e.outcomeStatus = it->status;
            e.outcomeText = it->text;
            e.outcomeProtocols = it->protocols.join(QStringLiteral(", "));
            e.outcomeAt = answeredAt;
            setSendingOutcome(*db, e.id, e.outcome, e.outcomeStatus, e.outcomeText,
                              e.outcomeProtocols, e.outcomeAt);
            if (e.outcome == kOutcomeRefused)
                refused << e;
        }
        transaction.commit();
    } catch (const std::exception& e) {
        m_problem = RuntimeError::from(QStringLiteral("SendingFollowUp"), e).description();
        return;
    }
    emit outcomesWritten(refused);
}

void SendingFollowUp::end() {
    if (!m_running)
        return;
    m_running = false;
    if (m_batch)
        m_batch.release()->deleteLater();
    emit finished(m_asked, m_failed, m_problem);
}

#include "moc_SendingFollowUp.cpp"
