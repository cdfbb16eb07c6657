// Says a sending was refused after processing through the desktop's
// notification service (org.freedesktop.Notifications on the session bus),
// when one is there: outside the program's windows, so a user busy
// elsewhere learns of it too. Without a session bus or without the service
// nothing is shown and nothing fails.
#pragma once

#include "store/SendingRepository.h"

#include <QDBusConnection>
#include <QHash>
#include <QString>

class DesktopNotifier {
public:
    // On `bus` (the session bus by default).
    explicit DesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus());

    // Whether the notification service is on the bus now.
    bool available() const;

    // One notification for these sendings newly refused after processing,
    // each taxpayer named by `names` (IE → company name): its title says
    // how many, its body one line per sending (IE, name, months, the
    // server's text). Returns false, showing nothing, when the list is
    // empty or the service is absent. The call does not wait for the
    // service's answer. Never throws.
    bool notifyRefused(const QList<SendingEntry>& refused,
                       const QHash<QString, QString>& names) const;

private:
    QDBusConnection m_bus;
};
