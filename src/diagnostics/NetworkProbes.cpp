// The diagnostics' network probes, each a step of the run: the settings in
// use, the name lookup, the TCP connection, the version call and the upload
// address. Each ends with finishStep, from its own signal, error or the
// run's time-out; a failure that leaves the server out of reach sets
// m_blocked, so the later probes are not tried.
#include "diagnostics/Diagnostics.h"

#include "base/ReadWrite.h"
#include "base/RuntimeError.h"
#include "diagnostics/DiagnosticWording.h"
#include "history/VersionAnswer.h"
#include "net/NetworkError.h"
#include "net/ProxyAuth.h"
#include "net/ProxySettings.h"
#include "net/ProxyTunnel.h"
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

using Outcome = DiagnosticStep::Outcome;

void Diagnostics::runSettings() {
    m_host = ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("host"));
    const QString portText =
        ReadWrite::ReadIniValue(QStringLiteral("servidor"), QStringLiteral("port"));
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    m_port = ok && port > 0 && port <= 65535 ? static_cast<quint16>(port) : 0;
    const ProxySettings::Settings proxy = ProxySettings::read();

    QString detail = QStringLiteral("servidor %1, porta %2; proxy: %3")
                         .arg(m_host.isEmpty() ? QStringLiteral("(vazio)") : m_host,
                              portText.isEmpty() ? QStringLiteral("(vazia)") : portText,
                              DiagnosticWording::proxyMode(proxy.mode));
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

void Diagnostics::openTunnel(std::function<void()> opened,
                             std::function<void(const QString&)> failed) {
    m_tunnel = new ProxyTunnel(m_proxy, m_host, m_port, m_proxyAuth);
    connect(m_tunnel, &ProxyTunnel::opened, this, [this, opened] {
        m_socket = m_tunnel->takeSocket();
        dropTunnel();
        opened();
    });
    connect(m_tunnel, &ProxyTunnel::failed, this, [this, failed](const QString& why) {
        dropTunnel();
        failed(why);
    });
    // The user's time in the password dialog is not the network's.
    auto paused = std::make_shared<bool>(false);
    connect(m_tunnel, &ProxyTunnel::waitingForUser, this, [this, paused](bool waiting) {
        if (waiting) {
            *paused = m_timeout.isActive();
            m_timeout.stop();
        } else if (*paused && m_running) {
            m_timeout.start(m_inputs.stepTimeoutMs);
        }
    });
    m_tunnel->start();
}

void Diagnostics::dropTunnel() {
    if (!m_tunnel)
        return;
    // The tunnel may be the sender of the signal being handled.
    m_tunnel->disconnect(this);
    m_tunnel->deleteLater();
    m_tunnel = nullptr;
}

void Diagnostics::runTcp() {
    const auto connected = [this] {
        finishStep(Outcome::Ok,
                   QStringLiteral("conectado a %1:%2%3").arg(m_host).arg(m_port).arg(via()));
    };
    if (m_proxy.type() == QNetworkProxy::HttpProxy) {
        openTunnel(connected, [this](const QString& why) {
            m_blocked = QStringLiteral("sem conexão com o servidor");
            finishStep(Outcome::Failed,
                       QStringLiteral("%1:%2%3: %4").arg(m_host).arg(m_port).arg(via(), why));
        });
        return;
    }
    m_socket = new QTcpSocket;
    m_socket->setProxy(m_proxy);
    connect(m_socket, &QTcpSocket::proxyAuthenticationRequired, this,
            &Diagnostics::onProxyAuthentication, Qt::DirectConnection);
    connect(m_socket, &QTcpSocket::connected, this, connected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::ProxyAuthenticationRequiredError && m_proxyAuth)
            m_proxyAuth->forget(m_proxy);
        m_blocked = QStringLiteral("sem conexão com o servidor");
        finishStep(Outcome::Failed,
                   QStringLiteral("%1:%2%3: %4")
                       .arg(m_host)
                       .arg(m_port)
                       .arg(via(), DiagnosticWording::socketError(e, m_socket->errorString())));
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
    m_reply = SoapRequest::post(*m_manager, url, operation,
                                {{QStringLiteral("strNome"), m_inputs.ie},
                                 {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
                                 {QStringLiteral("Chave"), m_inputs.key}});
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
            finishStep(Outcome::Failed,
                       DiagnosticWording::replyError(error, m_reply->errorString()));
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
    // The same way in as an upload (a tunnel through an HTTP proxy), but a
    // HEAD request: no file, nothing for the server to do.
    const auto ask = [this] {
        m_socket->write(QStringLiteral("HEAD %1 HTTP/1.0\r\nHost: %2\r\n\r\n")
                            .arg(QLatin1String(kUploadPath), m_host)
                            .toLatin1());
    };
    const auto answered = [this] {
        const qsizetype end = m_received.indexOf('\n');
        const QString line =
            QString::fromLatin1(end < 0 ? m_received.left(120) : m_received.left(end)).trimmed();
        finishStep(Outcome::Ok, QStringLiteral("http://%1:%2%3 atende%4: \"%5\"")
                                    .arg(m_host)
                                    .arg(m_port)
                                    .arg(QLatin1String(kUploadPath), via(), line));
    };
    const auto failed = [this](const QString& why) {
        finishStep(Outcome::Failed, QStringLiteral("http://%1:%2%3%4: %5")
                                        .arg(m_host)
                                        .arg(m_port)
                                        .arg(QLatin1String(kUploadPath), via(), why));
    };
    const auto read = [this, answered] {
        m_received += m_socket->readAll();
        if (m_received.contains('\n') || m_received.size() > 1024)
            answered();
    };
    const auto watch = [this, answered, failed, read] {
        connect(m_socket, &QTcpSocket::readyRead, this, read);
        connect(m_socket, &QTcpSocket::errorOccurred, this,
                [this, answered, failed](QAbstractSocket::SocketError e) {
                    m_received += m_socket->readAll();
                    if (!m_received.isEmpty()) {
                        answered();
                        return;
                    }
                    if (e == QAbstractSocket::ProxyAuthenticationRequiredError && m_proxyAuth)
                        m_proxyAuth->forget(m_proxy);
                    failed(e == QAbstractSocket::RemoteHostClosedError
                               ? QStringLiteral("o servidor fechou a conexão sem responder")
                               : DiagnosticWording::socketError(e, m_socket->errorString()));
                });
    };
    if (m_proxy.type() == QNetworkProxy::HttpProxy) {
        openTunnel(
            [this, ask, watch, read] {
                watch();
                ask();
                // The server's first bytes may have come with the proxy's "200".
                if (m_socket->bytesAvailable() > 0)
                    read();
            },
            failed);
        return;
    }
    m_socket = new QTcpSocket;
    m_socket->setProxy(m_proxy);
    connect(m_socket, &QTcpSocket::proxyAuthenticationRequired, this,
            &Diagnostics::onProxyAuthentication, Qt::DirectConnection);
    connect(m_socket, &QTcpSocket::connected, this, ask);
    watch();
    m_socket->connectToHost(m_host, m_port);
}
