// The connection diagnostics of the "Diagnóstico" window, without widgets:
// the settings in use, then name lookup, TCP connection to the server
// (through the proxy when one is set), a version call, the upload address
// reachable, then the certificate sources, the OpenSSL legacy provider and the
// application folder (LocalChecks). Each step is timed and reported as it
// ends.
//
// Nothing sent changes the server's state: the version call is the read the
// program makes at every start ("Transferencia.ver2"), and the upload address
// gets a HEAD request, which carries no file and asks for nothing to be done.
//
// The network steps are asynchronous on the calling thread (Qt's lookup,
// socket and network access manager), so the window keeps working while they
// wait; each has its own time-out, and cancel() stops the one under way at
// once. After the name lookup or the connection fails, the later network
// steps are not tried (the report says why); the local checks always run.
// Each step's line also goes into the support log.
#pragma once

#include "certificates/CertificateSources.h"
#include "diagnostics/DiagnosticStep.h"
#include "net/ProxyAuth.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QNetworkProxy>
#include <QObject>
#include <QTimer>

#include <functional>

class ProxyAuth;
class ProxyTunnel;
class QAuthenticator;
class QNetworkAccessManager;
class QNetworkReply;
class QTcpSocket;

class Diagnostics : public QObject {
    Q_OBJECT
public:
    struct Inputs {
        QString ie;                // taxpayer in use, for the version call; may be empty
        QString key;               // its access key; may be empty (the server then refuses the key)
        QString certificateFolder; // the client's own certificate store
        QString home;              // where the browsers' certificate databases are looked for
        // The sources listed for the certificates step, as the selection
        // dialog lists them (each waited for at most certificateTimeout);
        // empty: the own store at certificateFolder alone.
        CertificateSourceList certificateSources;
        std::chrono::milliseconds certificateTimeout{10000};
        const Clock* clock = &systemClock(); // when a run starts
        QString logFolder;                   // the support log's folder, for the report
        int stepTimeoutMs = 15000;           // longest wait of one network step
    };

    // The path of the declaration upload, which the upload step asks about.
    static constexpr const char* kUploadPath = "/client/xt_upload_1_15_01.php";

    // proxyAuth answers a proxy's demand for a password (may be null: such a
    // proxy then fails the step); not owned, must outlive this object.
    Diagnostics(Inputs inputs, ProxyAuth* proxyAuth, QObject* parent = nullptr);
    ~Diagnostics() override;

    // Starts the steps from the first and returns at once; nothing happens
    // while a run is under way. Steps are reported by stepFinished, in order,
    // then finished.
    void start();
    // Stops the run: the step under way and the ones not yet run are reported
    // as cancelled, then finished. Nothing while no run is under way.
    void cancel();

    bool isRunning() const { return m_running; }
    // The steps reported so far by the current or last run.
    const QList<DiagnosticStep>& steps() const { return m_steps; }
    // When the current or last run started (invalid before the first).
    const QDateTime& startedAt() const { return m_startedAt; }

signals:
    void stepStarted(const QString& name);
    void stepFinished(const DiagnosticStep& step);
    void finished();

private:
    enum class Stage { Settings, Lookup, Tcp, Version, Upload, Certificates, Legacy, Folder, Done };

    void runStage();
    // The network probes (NetworkProbes.cpp): each ends its step through
    // finishStep; a failure that puts the server out of reach sets m_blocked.
    void runSettings();
    void runLookup();
    void runTcp();
    void runVersion();
    void runUpload();
    // The certificate sources, listed off this thread (LocalChecks words it).
    void runCertificates();
    // Ends the step under way: records and reports it, drops what it used,
    // and schedules the next one.
    void finishStep(DiagnosticStep::Outcome outcome, const QString& detail);
    // Keeps the step, writes it into the support log and reports it.
    void record(const DiagnosticStep& step);
    void releaseNetwork();
    void onProxyAuthentication(const QNetworkProxy& proxy, QAuthenticator* authenticator);
    // Through an HTTP proxy, the upload's way: asks for the tunnel
    // (net/ProxyTunnel); once open, m_socket reaches the server and opened
    // runs, else failed with why, in words.
    void openTunnel(std::function<void()> opened, std::function<void(const QString&)> failed);
    void dropTunnel();
    // " pelo proxy ..." when the server is reached through one; empty otherwise.
    QString via() const;

    Inputs m_inputs;
    ProxyAuth* m_proxyAuth;
    bool m_running = false;
    Stage m_stage = Stage::Done;
    QString m_stepName;
    bool m_stepUnderWay = false; // between runStage and finishStep
    QElapsedTimer m_elapsed;
    QTimer m_timeout;
    quint64 m_token = 0; // changes with every step; late callbacks of an ended step see it
    QString m_blocked;   // why the network steps left are not tried; empty: they are
    QString m_host;      // the server, from the settings
    quint16 m_port = 0;
    QNetworkProxy m_proxy; // how the server is reached (NoProxy: directly)
    int m_proxyTries = 0;  // answers given to the proxy during this step
    int m_lookupId = -1;
    QTcpSocket* m_socket = nullptr;  // of the step under way; released with deleteLater
    ProxyTunnel* m_tunnel = nullptr; // while an HTTP proxy opens the tunnel; deleteLater
    QByteArray m_received;
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_reply = nullptr;
    QByteArray m_answerBody; // of the version call, never beyond the answer bound
    ProxyAuth::Demand m_demand = ProxyAuth::Demand::None; // of the version call
    QList<DiagnosticStep> m_steps;
    QDateTime m_startedAt;
};
