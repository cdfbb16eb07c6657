// Filling the office overview for many taxpayers against the simulator: the
// real window (offscreen), its parallel list calls, and the simulator on its
// own thread behind a loopback relay that counts the connections the client
// opens. Prints the wall time from opening the window to the last row, the
// process's peak resident memory, the connections used and the longest gap
// between two paints of the table while it filled (the table is asked to
// repaint every 10 ms, so a long gap means a busy event loop).
//
//   bench_overview_fill [TAXPAYERS] [--delay-ms N]   (default 300, no delay)
//
// --delay-ms: the relay delays every byte N ms each way and a new connection
// by a handshake's round trip, as a real network between office and server.
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
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
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
// With a delay, it stands for a network: every byte reaches the other side
// delayMs later in either direction, and a new connection first waits a
// handshake's round trip (2 x delayMs) before anything passes.
class CountingRelay {
public:
    CountingRelay(int target, int delayMs) : m_target(target), m_delay(delayMs) {
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
            m_pipes.emplace_back([this, client] {
                std::this_thread::sleep_for(std::chrono::milliseconds(2 * m_delay));
                const int server = socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a{};
                a.sin_family = AF_INET;
                a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                a.sin_port = htons(static_cast<uint16_t>(m_target));
                if (connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                    if (m_delay > 0)
                        delayedPipe(client, server);
                    else
                        pipe(client, server);
                }
                close(client);
                close(server);
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
    }
    // Each direction: a reader stamps what it reads, a writer passes it on
    // once its delay is over. An end (or error) on either side ends both.
    void delayedPipe(int a, int b) {
        using Clock = std::chrono::steady_clock;
        struct Direction {
            std::mutex mutex;
            std::condition_variable ready;
            std::deque<std::pair<Clock::time_point, std::string>> queue;
            bool ended = false;
        };
        Direction toB, toA;
        const auto reader = [this](int from, Direction& d, int to) {
            char buffer[64 * 1024];
            for (;;) {
                const ssize_t n = read(from, buffer, sizeof buffer);
                const std::lock_guard lock(d.mutex);
                if (n <= 0) {
                    d.ended = true;
                    d.ready.notify_all();
                    shutdown(to, SHUT_RD); // the other reader stops too
                    return;
                }
                d.queue.emplace_back(Clock::now() + std::chrono::milliseconds(m_delay),
                                     std::string(buffer, static_cast<size_t>(n)));
                d.ready.notify_all();
            }
        };
        const auto writer = [](Direction& d, int to, int from) {
            for (;;) {
                std::unique_lock lock(d.mutex);
                d.ready.wait(lock, [&] { return d.ended || !d.queue.empty(); });
                if (d.queue.empty()) {
                    shutdown(to, SHUT_WR);
                    shutdown(from, SHUT_RD);
                    return;
                }
                auto [due, bytes] = std::move(d.queue.front());
                d.queue.pop_front();
                lock.unlock();
                std::this_thread::sleep_until(due);
                if (write(to, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
                    shutdown(from, SHUT_RD);
                    return;
                }
            }
        };
        std::thread threads[] = {
            std::thread(reader, a, std::ref(toB), b), std::thread(writer, std::ref(toB), b, a),
            std::thread(reader, b, std::ref(toA), a), std::thread(writer, std::ref(toA), a, b)};
        for (std::thread& t : threads)
            t.join();
    }

    int m_target;
    int m_delay;
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
    int count = 300;
    int delayMs = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--delay-ms") == 0 && i + 1 < argc)
            delayMs = std::atoi(argv[++i]);
        else
            count = std::atoi(argv[i]);
    }

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
    CountingRelay relay(sim.port(), delayMs);

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
    std::printf("taxpayers: %d, one-way delay: %d ms, answered OK: %d, finished: %s\n", count,
                delayMs, ok, finished ? "yes" : "no (60 s limit)");
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
