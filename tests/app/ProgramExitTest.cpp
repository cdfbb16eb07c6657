// The real program, started by the test on a virtual display of its own
// (Xvfb) with a temporary home: a termination signal while a certificate
// reader child hangs in a token driver ends it at once, with status 0, and
// leaves no child behind.
#include "support/TestTokens.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <csignal>

#include <gtest/gtest.h>

// Last: Xlib defines macros (None, Bool, Status) that clash with the above.
#include <X11/Xlib.h>
#include <X11/keysym.h>

// The leak suppressions of the test mains (SanitizerDefaults.h): leaks
// inside system libraries, which the program's sanitizer build meets too.
extern "C" const char* __lsan_default_suppressions();

namespace {

using namespace dadav::test;

// The children of every thread of pid (the reader children are started from
// worker threads).
QList<qint64> childrenOf(qint64 pid) {
    QList<qint64> out;
    QDirIterator tasks(QStringLiteral("/proc/%1/task").arg(pid), QDir::Dirs | QDir::NoDotAndDotDot);
    while (tasks.hasNext()) {
        QFile children(tasks.next() + QStringLiteral("/children"));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& child : children.readAll().split(' '))
            if (!child.trimmed().isEmpty())
                out.append(child.trimmed().toLongLong());
    }
    return out;
}

QByteArray commandLineOf(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Gone, or a zombie nobody has reaped yet (it runs nothing).
bool ended(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray stat = file.readAll();
    const qsizetype close = stat.lastIndexOf(')');
    return close < 0 || close + 2 >= stat.size() || stat.at(close + 2) == 'Z';
}

bool copyExecutable(const QString& from, const QString& to) {
    return QFile::copy(from, to) &&
           QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// An X server of the test's own, and a connection to it that sees the
// top-level windows mapped.
class VirtualDisplay {
public:
    VirtualDisplay() {
        m_server.setProgram(QStringLiteral("Xvfb"));
        // -displayfd: the server writes its display number when it is ready.
        m_server.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"),
                               QStringLiteral("-screen"), QStringLiteral("0"),
                               QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                               QStringLiteral("tcp")});
        m_server.start();
        if (!m_server.waitForStarted(30000))
            return;
        QByteArray number;
        waitFor(
            [&] {
                number += m_server.readAllStandardOutput();
                return number.contains('\n') || m_server.state() == QProcess::NotRunning;
            },
            60000);
        if (!number.contains('\n'))
            return;
        m_name = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        m_display = XOpenDisplay(m_name.toLatin1().constData());
        if (m_display)
            XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
    }
    ~VirtualDisplay() {
        if (m_display)
            XCloseDisplay(m_display);
        m_server.kill();
        m_server.waitForFinished(30000);
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool ready() const { return m_display != nullptr; }
    QString name() const { return m_name; }

    // The next top-level window mapped, or 0 when none is within the bound.
    unsigned long nextMappedWindow() {
        unsigned long window = 0;
        waitFor(
            [&] {
                while (window == 0 && XPending(m_display) > 0) {
                    XEvent event;
                    XNextEvent(m_display, &event);
                    if (event.type == MapNotify)
                        window = event.xmap.window;
                }
                return window != 0;
            },
            60000);
        return window;
    }

    // A key pressed and released on the window's focused control, as a
    // keyboard would send it.
    void pressSpace(unsigned long window) {
        XEvent event{};
        event.xkey.display = m_display;
        event.xkey.window = window;
        event.xkey.root = DefaultRootWindow(m_display);
        event.xkey.time = CurrentTime;
        event.xkey.same_screen = True;
        event.xkey.keycode = XKeysymToKeycode(m_display, XK_space);
        event.xkey.type = KeyPress;
        XSendEvent(m_display, window, True, KeyPressMask, &event);
        event.xkey.type = KeyRelease;
        XSendEvent(m_display, window, True, KeyReleaseMask, &event);
        XFlush(m_display);
    }

private:
    QProcess m_server;
    QString m_name;
    Display* m_display = nullptr;
};

// The opening window's "Iniciar" opens the main window, whose expiry line
// lists every certificate source; a token driver registered for the program
// hangs in C_Initialize, so its reader child waits out its 10 s time-out.
// SIGTERM then ends the program as "Sair" does: at once, not after that
// time-out, with status 0, and every child it started is gone.
TEST(ProgramExitTest, TerminationSignalWhileAReaderChildHangs) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDir root(dir.path());
    for (const char* folder : {"bin", "home/.config", "home/.local/share/dadav/modulos-pkcs11",
                               "home/.cache", "runtime", "softhsm"})
        ASSERT_TRUE(root.mkpath(QString::fromLatin1(folder)));
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A copy of the program, its late part and its reader in a folder of
    // their own: the program keeps its settings and database beside itself
    // there.
    const QString program = root.filePath(QStringLiteral("bin/dadav"));
    ASSERT_TRUE(copyExecutable(QStringLiteral(DADAV_PROGRAM), program));
    ASSERT_TRUE(copyExecutable(QStringLiteral(DADAV_CERT_HELPER),
                               root.filePath(QStringLiteral("bin/dadav-leitor-certificados"))));
    ASSERT_TRUE(QFile::copy(QStringLiteral(DADAV_LATE_PART),
                            root.filePath(QStringLiteral("bin/dadav-programa.so"))));
    const QString hanging = QStringLiteral(DADAV_HANGING_MODULE_DIR "/libpendente-1.so");
    QFile module(root.filePath(QStringLiteral("home/.local/share/dadav/modulos-pkcs11/"
                                              "pendente.module")));
    ASSERT_TRUE(module.open(QIODevice::WriteOnly));
    module.write("module: " + QFile::encodeName(hanging) + "\n");
    module.close();
    // The system's token modules list an empty token folder of the test's.
    const SoftHsm tokens(root.filePath(QStringLiteral("softhsm")));

    VirtualDisplay display;
    ASSERT_TRUE(display.ready()) << "Xvfb did not start";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const QString home = root.filePath(QStringLiteral("home"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("DISPLAY"), display.name());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QFile suppressions(root.filePath(QStringLiteral("lsan.supp")));
    ASSERT_TRUE(suppressions.open(QIODevice::WriteOnly));
    suppressions.write(__lsan_default_suppressions());
    suppressions.close();
    env.insert(QStringLiteral("LSAN_OPTIONS"),
               QStringLiteral("suppressions=") + suppressions.fileName());
    QProcess dadav;
    dadav.setProcessEnvironment(env);
    dadav.setProcessChannelMode(QProcess::ForwardedChannels);
    dadav.start(program, {});
    ASSERT_TRUE(dadav.waitForStarted(30000));
    const qint64 pid = dadav.processId();

    const unsigned long opening = display.nextMappedWindow();
    ASSERT_NE(opening, 0UL) << "the opening window was never shown";
    display.pressSpace(opening); // "Iniciar" has the focus

    QSet<qint64> children;
    const bool hangs = waitFor(
        [&] {
            bool hung = false;
            for (const qint64 child : childrenOf(pid)) {
                children.insert(child);
                hung = hung || commandLineOf(child).contains(QFile::encodeName(hanging));
            }
            return hung || dadav.state() == QProcess::NotRunning;
        },
        60000);
    ASSERT_EQ(dadav.state(), QProcess::Running) << "the program ended before it was asked to";
    ASSERT_TRUE(hangs) << "no reader child of the hanging module was started";

    QElapsedTimer sinceSignal;
    sinceSignal.start();
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGTERM), 0);
    ASSERT_TRUE(waitFor([&] { return dadav.state() == QProcess::NotRunning; }, 60000))
        << "the program did not end";
    EXPECT_EQ(dadav.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(dadav.exitCode(), 0);
    // The module's time-out is 10 s: an exit that waited for it is no exit
    // at once.
    EXPECT_LT(sinceSignal.elapsed(), 10000);
    EXPECT_TRUE(waitFor(
        [&] {
            for (const qint64 child : children)
                if (!ended(child))
                    return false;
            return true;
        },
        30000))
        << "a reader child outlived the program";
}

} // namespace
