// Filling the office overview for many taxpayers against the simulator: the
// real window (offscreen), its parallel list calls, and the simulator on its
// own thread behind a loopback relay that counts the connections the client
// opens. Prints the wall time from opening the window to the last row, the
// process's peak resident memory, the connections used and the longest gap
// between two paints of the table while it filled (the table is asked to
// repaint every 10 ms, so a long gap means a busy event loop).
//
//   bench_overview_fill [TAXPAYERS]   (default 300)
#include "base/AppPaths.h"
#include "overview/OverviewFiller.h"
#include "overview/OverviewRow.h"
#include "overview/OverviewWindow.h"
#include "shell/AppContext.h"
#include "shell/WindowRegistry.h"
#include "simulator/Simulator.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"

#include "PaintClock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Accepts on a loopback port and pipes each connection to the target port,
// counting the connections accepted. Plain sockets on threads of its own.
class CountingRelay {
public:
    explicit CountingRelay(int target) : m_target(target) {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(m_listener, 64) != 0) {
            std::perror("relay");
            std::exit(1);
        }
        socklen_t len = sizeof a;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { acceptLoop(); });
    }
    ~CountingRelay() {
        shutdown(m_listener, SHUT_RDWR);
        close(m_listener);
        m_thread.join();
        for (std::thread& t : m_pipes)
            t.join();
    }
    int port() const { return m_port; }
    int connections() const { return m_connections; }
    int mostOpen() const { return m_mostOpen; }

private:
    void acceptLoop() {
        for (;;) {
            const int client = accept(m_listener, nullptr, nullptr);
            if (client < 0)
                return;
            ++m_connections;
            const int open = ++m_open;
            for (int most = m_mostOpen;
                 open > most && !m_mostOpen.compare_exchange_weak(most, open);)
                ;
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<uint16_t>(m_target));
            if (connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                close(client);
                close(server);
                continue;
            }
            m_pipes.emplace_back([this, client, server] {
                pipe(client, server);
                --m_open;
            });
        }
    }
    static void pipe(int a, int b) {
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        char buffer[64 * 1024];
        for (;;) {
            if (poll(fds, 2, 5000) <= 0)
                break;
            bool done = false;
            for (int i = 0; i < 2 && !done; ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                if (n <= 0 || write(fds[1 - i].fd, buffer, static_cast<size_t>(n)) != n)
                    done = true;
            }
            if (done)
                break;
        }
        close(a);
        close(b);
    }

    int m_target;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<int> m_connections{0};
    std::atomic<int> m_open{0};
    std::atomic<int> m_mostOpen{0};
    std::thread m_thread;
    std::vector<std::thread> m_pipes;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 300;

    QTemporaryDir appDir;
    valdoria::Simulator sim{valdoria::SimulatorOptions{}};
    for (int i = 0; i < count; ++i) {
        valdoria::Company c;
        c.ie = std::to_string(10000000 + i);
        c.cnpj = "11222333000181";
        c.razaoSocial = "Empresa " + std::to_string(i);
        c.chave = "K" + std::to_string(1000000 + i);
        sim.addCompany(c);
    }
    sim.start();
    CountingRelay relay(sim.port());

    AppPaths::setApplicationFolder(appDir.path());
    {
        QFile ini(AppPaths::IniPath());
        if (!ini.open(QIODevice::WriteOnly))
            return 1;
        ini.write("[servidor]\r\nhost=127.0.0.1\r\nport=" + QByteArray::number(relay.port()) +
                  "\r\n[proxy]\r\nmodo=nenhum\r\n");
    }
    {
        LocalDb db;
        for (int i = 0; i < count; ++i)
            insertContribuinte(db,
                               {QString::number(10000000 + i), QStringLiteral("Empresa %1").arg(i),
                                QStringLiteral("11.222.333/0001-81"), QString(),
                                QStringLiteral("K%1").arg(1000000 + i), QString(), false});
    }

    AppContext context;
    WindowRegistry registry(context);
    registry.registerWindow<OverviewWindow>();
    auto* w = qobject_cast<OverviewWindow*>(registry.window(QStringLiteral("OverviewWindow")));
    PaintClock paints;
    w->Grid->viewport()->installEventFilter(&paints);
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, w->Grid->viewport(),
                     [w] { w->Grid->viewport()->update(); });

    QElapsedTimer wall;
    bool finished = false;
    QObject::connect(&w->filler(), &OverviewFiller::finished, &app, [&] {
        finished = true;
        app.quit();
    });
    QTimer::singleShot(60000, &app, &QApplication::quit);
    wall.start();
    paints.clock.start();
    repaint.start(10);
    w->show();
    app.exec();
    const qint64 ms = wall.elapsed();
    repaint.stop();

    int ok = 0;
    for (const Overview::Row& r : w->filler().rows())
        ok += r.cells[Overview::ColSituacao] == Overview::kDone;
    std::printf("taxpayers: %d, answered OK: %d, finished: %s\n", count, ok,
                finished ? "yes" : "no (60 s limit)");
    std::printf("wall time: %lld ms\n", static_cast<long long>(ms));
    std::printf("peak RSS: %ld KiB\n", peakRssKiB());
    std::printf("connections opened: %d, at most %d open at once (most calls in flight: %d)\n",
                relay.connections(), relay.mostOpen(), w->filler().mostInFlight());
    std::printf("paints: %d, longest gap between paints: %lld ms (ending %lld ms after the "
                "window was opened)\n",
                paints.paints, static_cast<long long>(paints.longestGap),
                static_cast<long long>(paints.gapEnd));
    registry.unloadAll();
    sim.stop();
    return finished && ok == count ? 0 : 1;
}
