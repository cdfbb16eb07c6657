// The diagnostics' run: the steps one after the other in a fixed order, each
// ended by its own signal, error or time-out, then cancellation and what a
// step leaves behind. The network probes are in NetworkProbes.cpp, the words
// in DiagnosticWording, the checks of this computer in LocalChecks.
#include "diagnostics/Diagnostics.h"

#include "base/AppPaths.h"
#include "base/SupportLog.h"
#include "certificates/FolderSource.h"
#include "diagnostics/DiagnosticWording.h"
#include "diagnostics/LocalChecks.h"

#include <QHostInfo>
#include <QNetworkReply>
#include <QTcpSocket>

using Outcome = DiagnosticStep::Outcome;

Diagnostics::Diagnostics(Inputs inputs, ProxyAuth* proxyAuth, QObject* parent)
    : QObject(parent), m_inputs(std::move(inputs)), m_proxyAuth(proxyAuth) {
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        finishStep(Outcome::Failed, DiagnosticWording::timedOut(m_inputs.stepTimeoutMs));
    });
}

Diagnostics::~Diagnostics() {
    releaseNetwork();
}

void Diagnostics::start() {
    if (m_running)
        return;
    m_running = true;
    m_startedAt = m_inputs.clock->now();
    m_steps.clear();
    m_blocked.clear();
    m_stage = Stage::Settings;
    ++m_token;
    // Queued, so the caller returns (and a window paints) before the first step.
    QTimer::singleShot(0, this, [this, token = m_token] {
        if (token == m_token)
            runStage();
    });
}

void Diagnostics::cancel() {
    if (!m_running)
        return;
    releaseNetwork();
    m_timeout.stop();
    ++m_token;
    const QStringList names = DiagnosticWording::stepNames();
    // The step under way took the time it took; the later ones none.
    for (qsizetype i = m_steps.size(); i < names.size(); ++i) {
        const bool current = i == static_cast<qsizetype>(m_stage) && m_stepUnderWay;
        DiagnosticStep step{names[i], Outcome::Cancelled,
                            current ? DiagnosticWording::interrupted()
                                    : DiagnosticWording::cancelledBefore(),
                            current ? qMax<qint64>(m_elapsed.elapsed(), 1) : 0};
        record(step);
    }
    m_stage = Stage::Done;
    m_stepUnderWay = false;
    m_running = false;
    emit finished();
}

void Diagnostics::runStage() {
    m_stepUnderWay = true;
    m_elapsed.start();
    m_proxyTries = 0;
    m_received.clear();
    switch (m_stage) {
    case Stage::Settings:
        m_stepName = DiagnosticWording::settingsStep();
        emit stepStarted(m_stepName);
        runSettings();
        return;
    case Stage::Lookup:
        m_stepName = DiagnosticWording::lookupStep();
        break;
    case Stage::Tcp:
        m_stepName = DiagnosticWording::tcpStep();
        break;
    case Stage::Version:
        m_stepName = DiagnosticWording::versionStep();
        break;
    case Stage::Upload:
        m_stepName = DiagnosticWording::uploadStep();
        break;
    case Stage::Certificates:
        m_stepName = DiagnosticWording::certificatesStep();
        emit stepStarted(m_stepName);
        runCertificates();
        return;
    case Stage::Legacy:
    case Stage::Folder: {
        const DiagnosticStep step =
            m_stage == Stage::Legacy
                ? LocalChecks::legacyProvider()
                : LocalChecks::applicationFolder(AppPaths::applicationFolder(), m_inputs.logFolder);
        m_stepName = step.name;
        emit stepStarted(m_stepName);
        finishStep(step.outcome, step.detail);
        return;
    }
    case Stage::Done:
        return;
    }
    emit stepStarted(m_stepName);
    if (!m_blocked.isEmpty()) {
        finishStep(Outcome::Skipped, m_blocked);
        return;
    }
    m_timeout.start(m_inputs.stepTimeoutMs);
    switch (m_stage) {
    case Stage::Lookup:
        runLookup();
        break;
    case Stage::Tcp:
        runTcp();
        break;
    case Stage::Version:
        runVersion();
        break;
    default:
        runUpload();
        break;
    }
}

void Diagnostics::releaseNetwork() {
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
    dropTunnel();
    if (m_socket) {
        // The socket may be the sender of the signal being handled.
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
}

void Diagnostics::record(const DiagnosticStep& step) {
    m_steps << step;
    // The support log keeps the report too, for whoever reads it later.
    SupportLog::write(QStringLiteral("diagnóstico"), step.line());
    emit stepFinished(step);
}

void Diagnostics::runCertificates() {
    CertificateSourceList sources = m_inputs.certificateSources;
    if (sources.empty())
        sources.push_back(std::make_shared<FolderSource>(m_inputs.certificateFolder));
    // The same listing as the selection dialog's, off this thread: a module
    // that hangs costs its time-out and is named, as it is there.
    listCertificatesAsync(std::move(sources), m_inputs.certificateTimeout, this,
                          [this, token = m_token](const CertificateListing& listing) {
                              if (token != m_token)
                                  return; // cancelled meanwhile
                              const DiagnosticStep step = LocalChecks::certificateSources(
                                  listing, m_inputs.certificateFolder, m_inputs.home);
                              finishStep(step.outcome, step.detail);
                          });
}

void Diagnostics::finishStep(Outcome outcome, const QString& detail) {
    if (!m_running)
        return;
    m_timeout.stop();
    releaseNetwork();
    ++m_token;
    m_stepUnderWay = false;
    const DiagnosticStep step{m_stepName, outcome, detail, m_elapsed.elapsed()};
    m_stage = static_cast<Stage>(static_cast<int>(m_stage) + 1);
    record(step);
    if (m_stage == Stage::Done) {
        m_running = false;
        emit finished();
        return;
    }
    QTimer::singleShot(0, this, [this, token = m_token] {
        if (token == m_token)
            runStage();
    });
}

// This class's meta-object code is built into this file's own object, not
// the library's combined one: a program that links only this class does
// not pull every other class of the library with it (src/CMakeLists.txt).
#include "moc_Diagnostics.cpp"
