// The words of the connection diagnostics that do not depend on what a step
// found: the steps' names, in the order they run, the texts of a step stopped
// or timed out, and Qt's network errors told the way the technician reads
// them. One place, so the run, the probes and the local checks name a step
// and an error alike.
#pragma once

#include "net/ProxySettings.h"

#include <QAbstractSocket>
#include <QNetworkReply>
#include <QString>
#include <QStringList>

namespace DiagnosticWording {

// The steps' names as the report shows them.
QString settingsStep();
QString lookupStep();
QString tcpStep();
QString versionStep();
QString uploadStep();
QString certificatesStep();
QString legacyStep();
QString folderStep();
// Every step's name, in the order the steps run.
QStringList stepNames();

// A network step that got no answer within timeoutMs.
QString timedOut(int timeoutMs);
// A step the user stopped while it ran, and one the run never reached.
QString interrupted();
QString cancelledBefore();

// The proxy mode of the settings: "manual", "nenhum" or "sistema".
QString proxyMode(ProxySettings::Mode mode);

// A socket's failure, in words, followed by Qt's own text in parentheses.
QString socketError(QAbstractSocket::SocketError error, const QString& qtText);
// A network reply's failure before any HTTP answer, in words, followed by
// Qt's own text in parentheses.
QString replyError(QNetworkReply::NetworkError error, const QString& qtText);

} // namespace DiagnosticWording
