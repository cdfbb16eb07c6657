// How the client reaches the municipal server: through the system's proxy
// ("sistema", the default), through a proxy the user names ("manual") or
// directly ("nenhum"). Kept in section "proxy" of the settings file, keys
// "modo", "host" and "porta", read afresh for every call and upload like the
// server's address. Loopback servers are always reached directly.
#pragma once

#include <QNetworkProxy>
#include <QString>

namespace ProxySettings {

enum class Mode { System, Manual, None };

struct Settings {
    Mode mode = Mode::System;
    QString host;     // manual mode: the proxy's name or address
    quint16 port = 0; // manual mode: the proxy's port, 0 when unusable

    // False for a manual mode without a host or a usable port.
    bool usable() const { return mode != Mode::Manual || (!host.isEmpty() && port > 0); }
};

// The settings as the file holds them now. An absent or unknown "modo" reads
// as Mode::System. Never throws.
Settings read();

// Writes section "proxy" (and nothing else of the file, see
// ReadWrite::WriteIniSection). Returns false when the file could not be written.
bool write(const Settings& settings);

// True for "localhost" and loopback addresses (127.0.0.0/8, ::1).
bool isLoopback(const QString& host);

// The proxy for a connection to targetHost:targetPort. None: NoProxy. Manual:
// an HTTP proxy at host:port (settings.usable() must hold). System: the
// system's answer for an http URL of the target (environment http_proxy and
// no_proxy, the desktop), NoProxy when it names none. Loopback targets: always
// NoProxy.
QNetworkProxy proxyFor(const Settings& settings, const QString& targetHost, quint16 targetPort);

// "host:port" of a proxy, as shown to the user.
QString describe(const QNetworkProxy& proxy);

} // namespace ProxySettings
