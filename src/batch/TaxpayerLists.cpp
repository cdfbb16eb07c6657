// The taxpayers' lists one batch run asks.
#include "batch/TaxpayerLists.h"

#include "history/TransmissionList.h"
#include "net/SoapBatch.h"
#include "net/SoapClient.h"

#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <utility>

TaxpayerLists::TaxpayerLists(Options options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {
    const int connections = std::max(1, m_options.connections);
    m_ahead =
        std::make_unique<SoapBatch>(connections, m_options.proxyAuth, nullptr, m_options.deadline);
    m_calls =
        std::make_unique<SoapBatch>(connections, m_options.proxyAuth, nullptr, m_options.deadline);
    connect(m_ahead.get(), &SoapBatch::answered, this, &TaxpayerLists::onAheadAnswered);
    connect(m_ahead.get(), &SoapBatch::failed, this,
            [this](int id, const QString&) { onAheadFailed(id); });
    connect(m_calls.get(), &SoapBatch::answered, this, &TaxpayerLists::onAnswered);
    connect(m_calls.get(), &SoapBatch::failed, this, &TaxpayerLists::onFailed);
}

TaxpayerLists::~TaxpayerLists() = default;

void TaxpayerLists::askAhead(const QList<Taxpayer>& taxpayers) {
    m_ahead->cancel();
    m_aheadCalls.clear();
    m_known.clear();
    QList<SoapBatch::Call> calls;
    for (const Taxpayer& t : taxpayers) {
        const int id = int(calls.size());
        m_aheadCalls.insert(id, t.ie);
        calls.append({id, QString(Soap::ServicePath), History::kListOperation,
                      History::listCallParams(t.ie, t.chave)});
    }
    if (!calls.isEmpty())
        m_ahead->run(calls);
}

void TaxpayerLists::askForRow(const Taxpayer& taxpayer) {
    dropRow();
    m_row = taxpayer;
    const int generation = m_rowGeneration;
    if (m_known.contains(taxpayer.ie)) {
        // In a turn of its own: the caller (and a window's repaint) goes on
        // first.
        QTimer::singleShot(0, this, [this, generation] {
            if (!m_row || generation != m_rowGeneration)
                return;
            const TaxpayerList::Facts facts = m_known.value(m_row->ie);
            m_row.reset();
            emit rowList(facts, false);
        });
        return;
    }
    if (std::find(m_aheadCalls.cbegin(), m_aheadCalls.cend(), taxpayer.ie) != m_aheadCalls.cend()) {
        m_rowWaitsAhead = true;
        return;
    }
    run({taxpayer, Purpose::Row, m_options.retries, generation});
}

void TaxpayerLists::dropRow() {
    m_row.reset();
    m_rowWaitsAhead = false;
    ++m_rowGeneration;
}

void TaxpayerLists::askAfter(const QList<Taxpayer>& taxpayers) {
    const int generation = ++m_afterGeneration;
    m_afterLeft = int(taxpayers.size());
    if (taxpayers.isEmpty()) {
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_afterGeneration)
                emit afterDone();
        });
        return;
    }
    for (const Taxpayer& t : taxpayers)
        run({t, Purpose::After, m_options.retries, generation});
}

void TaxpayerLists::cancel() {
    m_ahead->cancel();
    m_calls->cancel();
    m_aheadCalls.clear();
    m_running.clear();
    dropRow();
    ++m_afterGeneration;
    m_afterLeft = 0;
}

void TaxpayerLists::run(const Call& call) {
    const int id = m_nextCall++;
    m_running.insert(id, call);
    m_calls->run({{id, QString(Soap::ServicePath), History::kListOperation,
                   History::listCallParams(call.taxpayer.ie, call.taxpayer.chave)}});
}

void TaxpayerLists::onAnswered(int id, const QString& answer) {
    const auto found = m_running.constFind(id);
    if (found == m_running.cend())
        return;
    const Call call = *found;
    m_running.erase(found);
    if (call.purpose == Purpose::Row) {
        if (!m_row || call.generation != m_rowGeneration)
            return;
        m_row.reset();
        emit rowList(TaxpayerList::read(answer), true);
        return;
    }
    if (call.generation != m_afterGeneration)
        return;
    const QPointer<TaxpayerLists> self(this);
    emit afterAnswered(call.taxpayer.ie, TaxpayerList::read(answer));
    // The receiver may have cancelled the round (or deleted this).
    if (self && call.generation == m_afterGeneration)
        afterEnded();
}

void TaxpayerLists::onFailed(int id, const QString& reason) {
    const auto found = m_running.constFind(id);
    if (found == m_running.cend())
        return;
    Call call = *found;
    m_running.erase(found);
    const auto current = [this, call] {
        return call.purpose == Purpose::Row ? m_row && call.generation == m_rowGeneration
                                            : call.generation == m_afterGeneration;
    };
    if (!current())
        return;
    if (call.retriesLeft > 0) {
        --call.retriesLeft;
        QTimer::singleShot(m_options.retryDelay, this, [this, call, current] {
            if (current())
                run(call);
        });
        return;
    }
    if (call.purpose == Purpose::Row) {
        m_row.reset();
        emit rowFailed(reason);
        return;
    }
    // The rows stay as they are: the next run asks again.
    afterEnded();
}

void TaxpayerLists::afterEnded() {
    if (--m_afterLeft == 0)
        emit afterDone();
}

void TaxpayerLists::onAheadAnswered(int id, const QString& answer) {
    const QString ie = m_aheadCalls.take(id);
    if (ie.isEmpty())
        return;
    m_known.insert(ie, TaxpayerList::read(answer));
    if (m_row && m_rowWaitsAhead && m_row->ie == ie) {
        m_rowWaitsAhead = false;
        m_row.reset();
        emit rowList(m_known.value(ie), false);
    }
}

void TaxpayerLists::onAheadFailed(int id) {
    const QString ie = m_aheadCalls.take(id);
    // The row asks again itself, with its retries.
    if (m_row && m_rowWaitsAhead && m_row->ie == ie) {
        m_rowWaitsAhead = false;
        run({*m_row, Purpose::Row, m_options.retries, m_rowGeneration});
    }
}

// Meta-object code in this file's own object (see BatchQueue.cpp).
#include "moc_TaxpayerLists.cpp"
