// The platform pieces the transmission windows stand on: the pause that keeps
// the window thread serving events, and the browser's location list.
#include "platform/BrowseLocations.h"
#include "platform/EventLoopPause.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(EventLoopPause, ServesOtherEventsWhileWaiting) {
    EventLoopPause pause;
    bool fired = false;
    QTimer::singleShot(0, [&fired] { fired = true; });
    pause.wait(0); // no pause at all: nothing is served
    EXPECT_FALSE(fired);
    pause.wait(20);
    EXPECT_TRUE(fired);
}

// A Wine prefix as Wine lays it out: drive folders and, in dosdevices, one
// link per drive ("c:" -> ../drive_c).
void makePrefix(const QString& prefix, std::initializer_list<char> linkedDrives) {
    ASSERT_TRUE(QDir().mkpath(prefix + QStringLiteral("/drive_c")));
    ASSERT_TRUE(QDir().mkpath(prefix + QStringLiteral("/drive_d")));
    ASSERT_TRUE(QDir().mkpath(prefix + QStringLiteral("/dosdevices")));
    for (const char letter : linkedDrives)
        ASSERT_TRUE(
            QFile::link(QStringLiteral("../drive_%1").arg(QLatin1Char(letter)),
                        prefix + QStringLiteral("/dosdevices/%1:").arg(QLatin1Char(letter))));
}

TEST(BrowseLocations, RootAndHomeFirstThenTheDrivesOfTheWinePrefixWithoutSystemMounts) {
    QTemporaryDir home;
    QTemporaryDir elsewhere;
    ASSERT_TRUE(home.isValid() && elsewhere.isValid());
    const QString homePath = QDir(home.path()).canonicalPath();
    const QString other = QDir(elsewhere.path()).canonicalPath() + QStringLiteral("/prefixo");
    makePrefix(homePath + QStringLiteral("/.wine"), {'c'});
    makePrefix(other, {'c', 'd'});
    ASSERT_TRUE(QDir().mkpath(homePath + QStringLiteral("/sem-dosdevices/drive_c")));

    struct Case {
        const char* what;
        QString variable; // WINEPREFIX
        QStringList wineDrives;
    };
    const Case cases[] = {
        {"no WINEPREFIX: ~/.wine, whose dosdevices has C: only",
         QString(),
         {homePath + QStringLiteral("/.wine/drive_c")}},
        {"WINEPREFIX names another prefix",
         other,
         {other + QStringLiteral("/drive_c"), other + QStringLiteral("/drive_d")}},
        {"WINEPREFIX with a trailing slash",
         other + QStringLiteral("/"),
         {other + QStringLiteral("/drive_c"), other + QStringLiteral("/drive_d")}},
        {"a prefix without dosdevices has no drives",
         homePath + QStringLiteral("/sem-dosdevices"),
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString prefix = BrowseLocations::winePrefix(homePath, c.variable);
        const QList<BrowseLocation> list = BrowseLocations::available(homePath, prefix);
        ASSERT_GE(list.size(), 2 + c.wineDrives.size());
        EXPECT_EQ(list.at(0), (BrowseLocation{QStringLiteral("/"), QStringLiteral("/")}));
        EXPECT_EQ(list.at(1).path, homePath);
        for (qsizetype i = 0; i < c.wineDrives.size(); ++i) {
            const QString label =
                i == 0 ? QStringLiteral("C:\\ (Wine)") : QStringLiteral("D:\\ (Wine)");
            EXPECT_EQ(list.at(2 + i), (BrowseLocation{label, c.wineDrives.at(i)}));
        }
        QStringList paths;
        for (const BrowseLocation& l : list) {
            EXPECT_FALSE(l.label.endsWith(QStringLiteral("(Wine)")) &&
                         !c.wineDrives.contains(l.path))
                << l.path.toStdString();
            for (const char* pseudo : {"/dev", "/proc", "/sys", "/run"}) {
                const QString p = QString::fromLatin1(pseudo);
                EXPECT_FALSE(l.path == p || (l.path.startsWith(p + QLatin1Char('/')) &&
                                             !l.path.startsWith(QStringLiteral("/run/media/"))))
                    << l.path.toStdString();
            }
            EXPECT_FALSE(paths.contains(l.path)) << "twice: " << l.path.toStdString();
            paths << l.path;
        }
    }
}

} // namespace
