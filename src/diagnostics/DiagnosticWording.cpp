// Step names, the run's own texts and Qt's network errors in Portuguese.
#include "diagnostics/DiagnosticWording.h"

namespace DiagnosticWording {

QString settingsStep() {
    return QStringLiteral("Configurações em uso");
}

QString lookupStep() {
    return QStringLiteral("Consulta de nome");
}

QString tcpStep() {
    return QStringLiteral("Conexão TCP com o servidor");
}

QString versionStep() {
    return QStringLiteral("Chamada de versão (Transferencia.ver2)");
}

QString uploadStep() {
    return QStringLiteral("Endereço de envio de arquivos");
}

QString certificatesStep() {
    return QStringLiteral("Fontes de certificados");
}

QString legacyStep() {
    return QStringLiteral("Provedor legado do OpenSSL");
}

QString folderStep() {
    return QStringLiteral("Pasta do aplicativo");
}

QStringList stepNames() {
    return {settingsStep(), lookupStep(),       tcpStep(),    versionStep(),
            uploadStep(),   certificatesStep(), legacyStep(), folderStep()};
}

QString timedOut(int timeoutMs) {
    return QStringLiteral("sem resposta em %1 s: tempo esgotado").arg(timeoutMs / 1000.0);
}

QString interrupted() {
    return QStringLiteral("interrompido pelo usuário");
}

QString cancelledBefore() {
    return QStringLiteral("diagnóstico cancelado antes deste passo");
}

QString proxyMode(ProxySettings::Mode mode) {
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

QString socketError(QAbstractSocket::SocketError error, const QString& qtText) {
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

QString replyError(QNetworkReply::NetworkError error, const QString& qtText) {
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

} // namespace DiagnosticWording
