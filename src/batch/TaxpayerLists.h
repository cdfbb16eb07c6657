// The taxpayers' transmission lists one batch run asks of the server: ahead
// (every taxpayer of the run at its start, a few calls at a time, so that a
// row rarely waits for its own), for the row under way (the answer that came
// ahead, or a call of its own), and after sending (each taxpayer with a row
// the list settles). A call that fails for the network is made again a few
// times; a row's own answer is told apart from one asked ahead, which may be
// minutes old. No database: the caller names the taxpayers and their keys.
#pragma once

#include "batch/TaxpayerList.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class ProxyAuth;
class SoapBatch;

class TaxpayerLists : public QObject {
    Q_OBJECT
public:
    struct Options {
        ProxyAuth* proxyAuth = nullptr;             // not owned, may be null
        int connections = 4;                        // calls at once
        std::chrono::milliseconds deadline{120000}; // of one call
        // A call that failed is made again this many times, retryDelay apart.
        int retries = 2;
        std::chrono::milliseconds retryDelay{2000};
    };
    struct Taxpayer {
        QString ie;
        QString chave;
    };

    explicit TaxpayerLists(Options options, QObject* parent = nullptr);
    ~TaxpayerLists() override;

    // Asks these taxpayers' lists ahead, forgetting earlier answers. Failures
    // are not retried: a row whose list failed ahead asks its own.
    void askAhead(const QList<Taxpayer>& taxpayers);

    // The list for the row under way (replacing any earlier row's request):
    // rowList follows from the event loop, never before this returns, with
    // the answer that came ahead (fresh false) or, when none is coming, the
    // answer of a call made now (fresh true); rowFailed after the retries.
    void askForRow(const Taxpayer& taxpayer);
    // Forgets the row's request: no signal follows for it.
    void dropRow();

    // Asks each list once more, after sending: afterAnswered per answer,
    // then afterDone once every taxpayer was answered or failed for good.
    // An empty list gives afterDone from the event loop.
    void askAfter(const QList<Taxpayer>& taxpayers);

    // Stops every call; no signal follows for any.
    void cancel();

signals:
    void rowList(const TaxpayerList::Facts& facts, bool fresh);
    void rowFailed(const QString& reason);
    void afterAnswered(const QString& ie, const TaxpayerList::Facts& facts);
    void afterDone();

private:
    enum class Purpose { Row, After };
    struct Call {
        Taxpayer taxpayer;
        Purpose purpose = Purpose::Row;
        int retriesLeft = 0;
        int generation = 0; // of the row or the after-sending round it serves
    };
    void run(const Call& call);
    void onAnswered(int id, const QString& answer);
    void onFailed(int id, const QString& reason);
    void onAheadAnswered(int id, const QString& answer);
    void onAheadFailed(int id);
    void afterEnded();

    Options m_options;
    std::unique_ptr<SoapBatch> m_ahead;
    std::unique_ptr<SoapBatch> m_calls;
    QHash<int, QString> m_aheadCalls;            // in flight: call → IE
    QHash<QString, TaxpayerList::Facts> m_known; // answered ahead, by IE
    QHash<int, Call> m_running;                  // calls of m_calls in flight
    int m_nextCall = 1;
    // The row's request: its taxpayer while it waits, and its generation
    // (a dropped row's late answer is known by an older one).
    std::optional<Taxpayer> m_row;
    bool m_rowWaitsAhead = false;
    int m_rowGeneration = 0;
    int m_afterGeneration = 0;
    int m_afterLeft = 0; // taxpayers of the after-sending round not yet ended
};
