// The diagnostics' steps, one after the other, each ended by its own signal,
// error or time-out.
#include "diagnostics/Diagnostics.h"

#include "base/AppPaths.h"
#include "base/ReadWrite.h"
#include "base/RuntimeError.h"
#include "base/SupportLog.h"
#include "certificates/FolderSource.h"
#include "diagnostics/LocalChecks.h"
#include "history/VersionAnswer.h"
#include "net/NetworkError.h"
#include "net/ProxyAuth.h"
#include "net/ProxySettings.h"
#include "net/ServerHost.h"
#include "net/SoapClient.h"
#include "net/SoapEnvelope.h"
#include "net/SoapRequest.h"
#include "net/SoapTransport.h"

#include <QAuthenticator>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QUrl>

namespace {

using Outcome = DiagnosticStep::Outcome;

const QString kSettings = QStringLiteral("Configurações em uso");
const QString kLookup = QStringLiteral("Consulta de nome");
const QString kTcp = QStringLiteral("Conexão TCP com o servidor");
const QString kVersion = QStringLiteral("Chamada de versão (Transferencia.ver2)");
const QString kUpload = QStringLiteral("Endereço de envio de arquivos");

QString socketErrorText(QAbstractSocket::SocketError error, const QString& qtText) {
    QString text;
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        text = QStringLiteral("conexão recusada: nenhum programa atende nesse endereço e porta");
        break;
    case QAbstractSocket::RemoteHostClosedError:
        text = QStringLiteral("o servidor fechou a conexão");
        break;
    case QAbstractSocket::HostNotFoundError:
        text = QStringLiteral("nome não encontrado");
        break;
    case QAbstractSocket::SocketTimeoutError:
        text = QStringLiteral("tempo esgotado");
        break;
    case QAbstractSocket::NetworkError:
        text = QStringLiteral("rede inacessível");
        break;
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        text = QStringLiteral("o proxy recusou o usuário ou a senha");
        break;
    case QAbstractSocket::ProxyConnectionRefusedError:
        text = QStringLiteral("o proxy recusou a conexão");
        break;
    case QAbstractSocket::ProxyConnectionClosedError:
        text = QStringLiteral("o proxy fechou a conexão");
        break;
    case QAbstractSocket::ProxyConnectionTimeoutError:
        text = QStringLiteral("o proxy não respondeu a tempo");
        break;
    case QAbstractSocket::ProxyNotFoundError:
        text = QStringLiteral("proxy não encontrado");
        break;
    case QAbstractSocket::ProxyProtocolError:
        text = QStringLiteral("o proxy não abriu a passagem até o servidor (o nome ou a porta "
                              "do servidor podem não ser permitidos pelo proxy)");
        break;
    default:
        text = QStringLiteral("falha de rede");
        break;
    }
    return text + QStringLiteral(" (%1)").arg(qtText);
}

QString replyErrorText(QNetworkReply::NetworkError error, const QString& qtText) {
    QString text;
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        text = QStringLiteral("conexão recusada");
        break;
    case QNetworkReply::RemoteHostClosedError:
        text = QStringLiteral("o servidor fechou a conexão sem responder");
        break;
    case QNetworkReply::HostNotFoundError:
        text = QStringLiteral("nome não encontrado");
        break;
    case QNetworkReply::ProxyConnectionRefusedError:
        text = QStringLiteral("o proxy recusou a conexão");
        break;
    case QNetworkReply::ProxyNotFoundError:
        text = QStringLiteral("proxy não encontrado");
        break;
    case QNetworkReply::ProxyAuthenticationRequiredError:
        text = QStringLiteral("o proxy recusou o usuário ou a senha");
        break;
    default:
        text = QStringLiteral("a chamada falhou");
        break;
    }
    return text + QStringLiteral(" (%1)").arg(qtText);
}

QString modeText(ProxySettings::Mode mode) {
    switch (mode) {
    case ProxySettings::Mode::Manual:
        return QStringLiteral("manual");
    case ProxySettings::Mode::None:
        return QStringLiteral("nenhum");
    case ProxySettings::Mode::System:
        break;
    }
    return QStringLiteral("sistema");
}

} // namespace

Diagnostics::Diagnostics(Inputs inputs, ProxyAuth* proxyAuth, QObject* parent)
    : QObject(parent), m_inputs(std::move(inputs)), m_proxyAuth(proxyAuth) {
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        finishStep(Outcome::Failed, QStringLiteral("sem resposta em %1 s: tempo esgotado")
                                        .arg(m_inputs.stepTimeoutMs / 1000.0));
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
    const QStringList names{kSettings,
                            kLookup,
                            kTcp,
                            kVersion,
                            kUpload,
                            QStringLiteral("Fontes de certificados"),
                            QStringLiteral("Provedor legado do OpenSSL"),
                            QStringLiteral("Pasta do aplicativo")};
    // The step under way took the time it took; the later ones none.
    for (qsizetype i = m_steps.size(); i < names.size(); ++i) {
        const bool current = i == static_cast<qsizetype>(m_stage) && m_stepUnderWay;
        DiagnosticStep step{names[i], Outcome::Cancelled,
                            current ? QStringLiteral("interrompido pelo usuário")
                                    : QStringLiteral("diagnóstico cancelado antes deste passo"),
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
        m_stepName = kSettings;
        emit stepStarted(m_stepName);
        runSettings();
        return;
    case Stage::Lookup:
        m_stepName = kLookup;
        break;
    case Stage::Tcp:
        m_stepName = kTcp;
        break;
    case Stage::Version:
        m_stepName = kVersion;
        break;
    case Stage::Upload:
        m_stepName = kUpload;
        break;
    case Stage::Certificates:
        m_stepName = QStringLiteral("Fontes de certificados");
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

void Diagnostics::runSettings() {
    m_host = ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"));
    const QString portText =
        ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port"));
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    m_port = ok && port > 0 && port <= 65535 ? static_cast<quint16>(port) : 0;
    const ProxySettings::Settings proxy = ProxySettings::read();

    QString detail =
        QStringLiteral("servidor %1, porta %2; proxy: %3")
            .arg(m_host.isEmpty() ? QStringLiteral("(vazio)") : m_host,
                 portText.isEmpty() ? QStringLiteral("(vazia)") : portText, modeText(proxy.mode));
    if (!ServerHost::isPlainHost(m_host) || m_port == 0) {
        m_blocked = QStringLiteral("o servidor não está configurado");
        finishStep(Outcome::Failed,
                   detail + QStringLiteral(" — o host ou a porta do servidor em dadav.ini "
                                           "(seção [servidor]) está vazio ou não é válido"));
        return;
    }
    if (!proxy.usable()) {
        m_blocked = QStringLiteral("o proxy manual não está configurado");
        finishStep(Outcome::Failed,
                   detail + QStringLiteral(" — o proxy manual não tem host ou porta"));
        return;
    }
    m_proxy = ProxySettings::proxyFor(proxy, m_host, m_port);
    if (ProxySettings::isLoopback(m_host))
        detail += QStringLiteral(" (servidor local: sempre sem proxy)");
    else if (m_proxy.type() == QNetworkProxy::NoProxy)
        detail += proxy.mode == ProxySettings::Mode::System
                      ? QStringLiteral(" (o sistema não indica proxy para este servidor)")
                      : QString();
    else
        detail += QStringLiteral(" %1").arg(ProxySettings::describe(m_proxy));
    finishStep(Outcome::Ok, detail);
}

QString Diagnostics::via() const {
    return m_proxy.type() == QNetworkProxy::NoProxy
               ? QString()
               : QStringLiteral(" pelo proxy %1").arg(ProxySettings::describe(m_proxy));
}

void Diagnostics::runLookup() {
    // Through a proxy, the program looks up only the proxy: the proxy looks up
    // the server's name itself.
    const bool proxied = m_proxy.type() != QNetworkProxy::NoProxy;
    const QString name = proxied ? m_proxy.hostName() : m_host;
    QString bare = name;
    if (bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']')))
        bare = bare.mid(1, bare.size() - 2);
    m_lookupId = QHostInfo::lookupHost(
        bare, this, [this, token = m_token, name, proxied](const QHostInfo& info) {
            if (token != m_token)
                return;
            m_lookupId = -1;
            const QString what = proxied ? QStringLiteral("proxy %1").arg(name)
                                         : QStringLiteral("servidor %1").arg(name);
            if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
                m_blocked = QStringLiteral("o nome não foi encontrado");
                finishStep(
                    Outcome::Failed,
                    QStringLiteral("%1: nome não encontrado (%2)").arg(what, info.errorString()));
                return;
            }
            QStringList addresses;
            for (const QHostAddress& a : info.addresses().mid(0, 4))
                addresses << a.toString();
            finishStep(Outcome::Ok,
                       QStringLiteral("%1 → %2%3")
                           .arg(what, addresses.join(QStringLiteral(", ")),
                                proxied ? QStringLiteral("; o nome do servidor %1 é consultado "
                                                         "pelo proxy")
                                              .arg(m_host)
                                        : QString()));
        });
}

void Diagnostics::onProxyAuthentication(const QNetworkProxy& proxy, QAuthenticator* authenticator) {
    // The user's time in the password dialog is not the network's.
    const bool timing = m_timeout.isActive();
    m_timeout.stop();
    if (!ProxyAuth::isProxyInUse(proxy, m_proxy))
        m_demand = ProxyAuth::Demand::NotTheProxy;
    else if (m_proxyAuth) {
        m_demand = ProxyAuth::Demand::Answered;
        m_proxyAuth->answer(proxy, m_proxy, authenticator, m_proxyTries);
    }
    if (timing && m_running)
        m_timeout.start(m_inputs.stepTimeoutMs);
}

void Diagnostics::runTcp() {
    m_socket = new QTcpSocket;
    m_socket->setProxy(m_proxy);
    connect(m_socket, &QTcpSocket::proxyAuthenticationRequired, this,
            &Diagnostics::onProxyAuthentication, Qt::DirectConnection);
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        finishStep(Outcome::Ok,
                   QStringLiteral("conectado a %1:%2%3").arg(m_host).arg(m_port).arg(via()));
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::ProxyAuthenticationRequiredError && m_proxyAuth)
            m_proxyAuth->forget(m_proxy);
        m_blocked = QStringLiteral("sem conexão com o servidor");
        finishStep(Outcome::Failed, QStringLiteral("%1:%2%3: %4")
                                        .arg(m_host)
                                        .arg(m_port)
                                        .arg(via(), socketErrorText(e, m_socket->errorString())));
    });
    m_socket->connectToHost(m_host, m_port);
}

void Diagnostics::runVersion() {
    if (!m_manager) {
        m_manager = new QNetworkAccessManager(this);
        m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        connect(m_manager, &QNetworkAccessManager::proxyAuthenticationRequired, this,
                &Diagnostics::onProxyAuthentication);
    }
    // The same address, headers, envelope and answer decoding as every call
    // of the program, so this step cannot pass where the real call fails.
    const QString operation = QStringLiteral("Transferencia.ver2");
    QUrl url;
    try {
        url = SoapRequest::serviceUrl(Soap::ServicePath);
    } catch (const NetworkError& error) {
        finishStep(Outcome::Failed, error.description());
        return;
    }
    m_manager->setProxy(m_proxy);
    m_answerBody.clear();
    m_demand = ProxyAuth::Demand::None;
    m_reply = m_manager->post(
        SoapRequest::request(url, operation),
        SoapRequest::body(operation,
                          {{QStringLiteral("strNome"), m_inputs.ie},
                           {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
                           {QStringLiteral("Chave"), m_inputs.key}}));
    connect(m_reply, &QNetworkReply::readyRead, this, [this] {
        m_answerBody += m_reply->readAll();
        if (m_answerBody.size() > SoapTransport::kMaxAnswerBytes)
            finishStep(
                Outcome::Failed,
                QStringLiteral("resposta maior que %1 bytes").arg(SoapTransport::kMaxAnswerBytes));
    });
    connect(m_reply, &QNetworkReply::finished, this, [this] {
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QNetworkReply::NetworkError error = m_reply->error();
        if (error == QNetworkReply::ProxyAuthenticationRequiredError && m_proxyAuth)
            m_proxyAuth->forget(m_proxy);
        if (!status.isValid()) {
            finishStep(Outcome::Failed, replyErrorText(error, m_reply->errorString()));
            return;
        }
        m_answerBody += m_reply->readAll();
        QString answer;
        try {
            answer = SoapRequest::answerOf(*m_reply, m_answerBody, m_demand);
        } catch (const NetworkError& failure) {
            finishStep(Outcome::Failed, failure.description());
            return;
        }
        QString what =
            QStringLiteral("o servidor respondeu (HTTP %1)%2").arg(status.toInt()).arg(via());
        if (History::keyRejected(answer)) {
            what += m_inputs.key.isEmpty()
                        ? QStringLiteral("; sem contribuinte em uso, a chave vazia foi recusada, "
                                         "como esperado")
                        : QStringLiteral("; a chave de acesso do contribuinte em uso foi recusada");
        } else {
            try {
                const History::VersionFields fields =
                    History::readVersionFields(Soap::GetResult(answer, QStringLiteral("return")));
                what +=
                    QStringLiteral("; versão mais nova do programa: %1; data do servidor: %2")
                        .arg(fields.novaVersao.trimmed(),
                             fields.dataServidor.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
            } catch (const RuntimeError&) {
                what += QStringLiteral("; resposta sem a versão (%1 bytes)").arg(answer.size());
            }
        }
        finishStep(status.toInt() >= 200 && status.toInt() < 300 ? Outcome::Ok : Outcome::Attention,
                   what);
    });
}

void Diagnostics::runUpload() {
    m_socket = new QTcpSocket;
    m_socket->setProxy(m_proxy);
    connect(m_socket, &QTcpSocket::proxyAuthenticationRequired, this,
            &Diagnostics::onProxyAuthentication, Qt::DirectConnection);
    // The same way in as an upload (a tunnel through an HTTP proxy), but a
    // HEAD request: no file, nothing for the server to do.
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_socket->write(QStringLiteral("HEAD %1 HTTP/1.0\r\nHost: %2\r\n\r\n")
                            .arg(QLatin1String(kUploadPath), m_host)
                            .toLatin1());
    });
    const auto answered = [this] {
        const qsizetype end = m_received.indexOf('\n');
        const QString line =
            QString::fromLatin1(end < 0 ? m_received.left(120) : m_received.left(end)).trimmed();
        finishStep(Outcome::Ok, QStringLiteral("http://%1:%2%3 atende%4: \"%5\"")
                                    .arg(m_host)
                                    .arg(m_port)
                                    .arg(QLatin1String(kUploadPath), via(), line));
    };
    connect(m_socket, &QTcpSocket::readyRead, this, [this, answered] {
        m_received += m_socket->readAll();
        if (m_received.contains('\n') || m_received.size() > 1024)
            answered();
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this,
            [this, answered](QAbstractSocket::SocketError e) {
                m_received += m_socket->readAll();
                if (!m_received.isEmpty()) {
                    answered();
                    return;
                }
                if (e == QAbstractSocket::ProxyAuthenticationRequiredError && m_proxyAuth)
                    m_proxyAuth->forget(m_proxy);
                finishStep(
                    Outcome::Failed,
                    QStringLiteral("http://%1:%2%3%4: %5")
                        .arg(m_host)
                        .arg(m_port)
                        .arg(QLatin1String(kUploadPath), via(),
                             e == QAbstractSocket::RemoteHostClosedError
                                 ? QStringLiteral("o servidor fechou a conexão sem responder")
                                 : socketErrorText(e, m_socket->errorString())));
            });
    m_socket->connectToHost(m_host, m_port);
}

void Diagnostics::releaseNetwork() {
    if (m_lookupId >= 0) {
        QHostInfo::abortHostLookup(m_lookupId);
        m_lookupId = -1;
    }
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
