// The desktop notification of sendings refused after processing, on a
// session bus of the test's own (a dbus-daemon it starts): nothing is sent
// while no notification service is on the bus; once one is, a single call
// says how many and, per sending, the taxpayer, months and server's text.
#include "followup/DesktopNotifier.h"

#include "support/WaitFor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QProcess>
#include <QVariantMap>

#include <gtest/gtest.h>

namespace {

// Stands in for the desktop's notification daemon: records each Notify.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls; // "app|summary|body" per call
public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        calls << app + QLatin1Char('|') + summary + QLatin1Char('|') + body;
        return uint(calls.size());
    }
};

SendingEntry refusedEntry(const QString& ie, const QString& refs, const QString& text) {
    SendingEntry e;
    e.ie = ie;
    e.references = refs;
    e.outcome = kOutcomeRefused;
    e.outcomeStatus = QStringLiteral("2");
    e.outcomeText = text;
    return e;
}

TEST(DesktopNotifier, SaysTheRefusalsOnlyWhenTheServiceIsThere) {
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForStarted()) << "dbus-daemon could not start";
    ASSERT_TRUE(dadav::test::waitFor([&] { return daemon.canReadLine(); }, 30000))
        << "dbus-daemon gave no address";
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    {
        QDBusConnection client = QDBusConnection::connectToBus(address, QStringLiteral("client"));
        QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("server"));
        ASSERT_TRUE(client.isConnected() && server.isConnected());
        const DesktopNotifier notifier(client);
        const QList<SendingEntry> one = {refusedEntry(QStringLiteral("86123452"),
                                                      QStringLiteral("1_2026"),
                                                      QStringLiteral("Valor inconsistente"))};
        const QHash<QString, QString> names = {
            {QStringLiteral("86123452"), QStringLiteral("Padaria")}};

        EXPECT_FALSE(notifier.available());
        EXPECT_FALSE(notifier.notifyRefused(one, names)) << "no service: nothing sent";
        EXPECT_FALSE(DesktopNotifier(QDBusConnection(QStringLiteral("nenhum"))).available());

        NotificationService service;
        ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                          &service, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
        EXPECT_TRUE(notifier.available());
        EXPECT_FALSE(notifier.notifyRefused({}, names)) << "nothing refused: nothing said";
        EXPECT_TRUE(notifier.notifyRefused(one, names));
        EXPECT_TRUE(notifier.notifyRefused(
            {one[0], refusedEntry(QStringLiteral("87206416"), QStringLiteral("2_2026,3_2026"), {})},
            names));
        ASSERT_TRUE(dadav::test::waitFor([&] { return service.calls.size() == 2; }, 30000));
        EXPECT_EQ(service.calls[0],
                  QStringLiteral("dadav|1 envio recusado após o processamento|86123452 — "
                                 "Padaria, 01/2026: Valor inconsistente"));
        EXPECT_EQ(service.calls[1],
                  QStringLiteral("dadav|2 envios recusados após o processamento|86123452 — "
                                 "Padaria, 01/2026: Valor inconsistente\n87206416, 02/2026, "
                                 "03/2026: situação 2"));
        server.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    QDBusConnection::disconnectFromBus(QStringLiteral("server"));
    daemon.terminate();
    EXPECT_TRUE(daemon.waitForFinished(30000));
}

} // namespace

#include "DesktopNotifierTest.moc"
