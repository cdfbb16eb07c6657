// The platform pieces the transmission windows stand on: the pause that keeps
// the window thread serving events, and the browser's location list.
#include "platform/BrowseLocations.h"
#include "platform/EventLoopPause.h"

#include <QDir>
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

TEST(BrowseLocations, RootAndHomeFirstThenWineDrivesWithoutSystemMounts) {
    QTemporaryDir home;
    ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral(".wine/drive_c"))));
    const QList<BrowseLocation> list = BrowseLocations::available(home.path());
    ASSERT_GE(list.size(), 3);
    EXPECT_EQ(list.at(0), (BrowseLocation{QStringLiteral("/"), QStringLiteral("/")}));
    EXPECT_EQ(list.at(1).path, QDir::cleanPath(home.path()));
    EXPECT_EQ(list.at(2), (BrowseLocation{QStringLiteral("C:\\ (Wine)"),
                                          home.filePath(QStringLiteral(".wine/drive_c"))}));
    QStringList paths;
    for (const BrowseLocation& l : list) {
        EXPECT_FALSE(l.path.startsWith(QStringLiteral("/proc"))) << l.path.toStdString();
        EXPECT_FALSE(l.path.startsWith(QStringLiteral("/sys"))) << l.path.toStdString();
        EXPECT_FALSE(paths.contains(l.path)) << "twice: " << l.path.toStdString();
        paths << l.path;
    }
    EXPECT_FALSE(paths.contains(home.filePath(QStringLiteral(".wine/drive_d"))));
}

} // namespace
