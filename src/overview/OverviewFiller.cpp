// Filling the overview from parallel list calls.
#include "overview/OverviewFiller.h"

#include "history/TransmissionList.h"
#include "net/SoapBatch.h"
#include "net/SoapClient.h"
#include "overview/CertificateDaysLeft.h"

OverviewFiller::OverviewFiller(int maxConnections, ProxyAuth* proxyAuth, QObject* parent,
                               std::chrono::milliseconds callDeadline)
    : QObject(parent),
      m_batch(std::make_unique<SoapBatch>(maxConnections, proxyAuth, nullptr, callDeadline)) {
    connect(m_batch.get(), &SoapBatch::answered, this, [this](int row, const QString& answer) {
        settle(row, Overview::withAnswer(m_rows.value(row), answer));
    });
    connect(m_batch.get(), &SoapBatch::failed, this, [this](int row, const QString& reason) {
        settle(row, Overview::withFailure(m_rows.value(row), reason));
    });
    connect(m_batch.get(), &SoapBatch::finished, this, [this] {
        if (!m_running)
            return;
        m_running = false;
        emit finished(false);
    });
}

OverviewFiller::~OverviewFiller() = default;

int OverviewFiller::mostInFlight() const {
    return m_batch->mostInFlight();
}

void OverviewFiller::start(const QList<ContribuinteRow>& taxpayers, const QDate& today) {
    m_batch->cancel();
    m_rows.clear();
    m_taxpayers = taxpayers;
    m_done = 0;
    m_running = true;
    QList<SoapBatch::Call> calls;
    for (const ContribuinteRow& t : taxpayers) {
        const int row = int(m_rows.size());
        m_rows.append(
            Overview::initialRow(t, Overview::certificateDaysLeft(t, m_certificates, today)));
        if (m_rows.last().hasKey)
            calls.append({row, QString(Soap::ServicePath), History::kListOperation,
                          History::listCallParams(t.IE, t.Chave)});
        else
            ++m_done;
    }
    emit progress(m_done, int(m_rows.size()));
    m_batch->run(calls);
}

void OverviewFiller::setCertificates(const QList<SourcedCertificate>& certificates,
                                     const QDate& today) {
    m_certificates = certificates;
    for (int row = 0; row < m_rows.size() && row < m_taxpayers.size(); ++row) {
        const std::optional<int> days =
            Overview::certificateDaysLeft(m_taxpayers[row], m_certificates, today);
        m_rows[row].cells[Overview::ColCertificado] = days ? QString::number(*days) : QString();
        emit rowChanged(row);
    }
}

void OverviewFiller::cancel() {
    if (!m_running)
        return;
    m_batch->cancel();
    m_running = false;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].cells[Overview::ColSituacao] == Overview::kWaiting) {
            m_rows[row].cells[Overview::ColSituacao] = Overview::kCancelled;
            emit rowChanged(row);
        }
    }
    emit finished(true);
}

void OverviewFiller::settle(int row, const Overview::Row& value) {
    if (!m_running || row < 0 || row >= m_rows.size())
        return;
    m_rows[row] = value;
    ++m_done;
    emit rowChanged(row);
    emit progress(m_done, int(m_rows.size()));
}

// This class's meta-object code is built into this file's own object, not
// the library's combined one: a program that links only this class does
// not pull every other class of the library with it (src/CMakeLists.txt).
#include "moc_OverviewFiller.cpp"
