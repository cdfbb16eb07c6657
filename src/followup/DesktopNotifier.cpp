// Notifications of sendings refused after processing.
#include "followup/DesktopNotifier.h"

#include "batch/TaxpayerList.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

DesktopNotifier::DesktopNotifier(QDBusConnection bus) : m_bus(std::move(bus)) {}

bool DesktopNotifier::available() const {
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    const QDBusReply<bool> registered = m_bus.interface()->isServiceRegistered(kService);
    return registered.isValid() && registered.value();
}

bool DesktopNotifier::notifyRefused(const QList<SendingEntry>& refused,
                                    const QHash<QString, QString>& names) const {
    if (refused.isEmpty() || !available())
        return false;
    const QString title =
        refused.size() == 1
            ? QStringLiteral("1 envio recusado após o processamento")
            : QStringLiteral("%1 envios recusados após o processamento").arg(refused.size());
    QStringList lines;
    for (const SendingEntry& e : refused) {
        const QString who = names.value(e.ie).isEmpty()
                                ? e.ie
                                : QStringLiteral("%1 — %2").arg(e.ie, names.value(e.ie));
        const QString months = e.references.isEmpty() ? QStringLiteral("extrato")
                                                      : TaxpayerList::monthsText(e.references);
        lines << QStringLiteral("%1, %2: %3")
                     .arg(who, months,
                          e.outcomeText.isEmpty()
                              ? QStringLiteral("situação %1").arg(e.outcomeStatus)
                              : e.outcomeText);
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    call << QStringLiteral("dadav") << uint(0) << QString() << title
         << lines.join(QLatin1Char('\n')) << QStringList() << QVariantMap() << int(-1);
    return m_bus.send(call);
}
