// Fills the office overview: asks the server for every registered taxpayer's
// list (the main window's list call, History::listCallParams) over at most
// a few connections at a time, and completes each row as its answer arrives.
// Asynchronous on the calling thread: nothing waits, so the window stays
// responsive; a call that fails marks only its own row.
//
// After cancel() or the last answer, every row is final: answered, failed,
// without a key, or "Cancelado" for those not answered when cancelled.
#pragma once

#include "certificates/CertificateSource.h"
#include "overview/OverviewRow.h"

#include <QObject>

#include <chrono>

#include <memory>

class ProxyAuth;
class SoapBatch;

class OverviewFiller : public QObject {
    Q_OBJECT
public:
    // maxConnections: calls in flight at once (>= 1). proxyAuth may be null.
    // callDeadline: the longest one taxpayer's call may take.
    explicit OverviewFiller(int maxConnections = 4, ProxyAuth* proxyAuth = nullptr,
                            QObject* parent = nullptr,
                            std::chrono::milliseconds callDeadline = std::chrono::minutes(2));
    ~OverviewFiller() override;

    // Starts over with these taxpayers (rows in this order, one per taxpayer),
    // cancelling a fill under way. Rows of taxpayers without a key are final
    // at once; rowChanged/progress/finished follow from the event loop.
    void start(const QList<ContribuinteRow>& taxpayers, const QDate& today);
    // Ends the fill: rows still waiting become "Cancelado"; finished(true).
    // Does nothing when no fill is under way.
    void cancel();
    // The certificates the program sees, for the certificate column: the
    // rows of now are brought up to date (rowChanged each) and later starts
    // use them. Listing them is slow, so they arrive after start().
    void setCertificates(const QList<SourcedCertificate>& certificates, const QDate& today);

    const QList<Overview::Row>& rows() const { return m_rows; }
    bool running() const { return m_running; }
    int done() const { return m_done; }
    // The most calls that were in flight at one time.
    int mostInFlight() const;

signals:
    void rowChanged(int row);
    void progress(int done, int total);
    void finished(bool cancelled);

private:
    void settle(int row, const Overview::Row& value);

    std::unique_ptr<SoapBatch> m_batch;
    QList<Overview::Row> m_rows;
    QList<ContribuinteRow> m_taxpayers; // in the order of m_rows
    QList<SourcedCertificate> m_certificates;
    int m_done = 0;
    bool m_running = false;
};
