// Peak memory of the client facing a hostile peer: a server that answers a
// SOAP call with a huge body, or a proxy that answers 407 with a huge header.
// The peer runs in-process on loopback and writes as fast as the client reads,
// holding nothing itself; the client must stop at its bound. Prints the
// outcome, the wall time, the bytes the peer managed to write and the
// process's peak resident memory.
//
//   bench_soap_memory [--slow MS] [--client transport|batch|upload]
//                     [--refusal-header | --server-header] [SIZE_MIB [CONTENT_TYPE]]
//
// SIZE_MIB (default 256): the body's size, or the 407 header's with
// --refusal-header (then the client goes through the proxy in manual mode),
// or the header of the server's "200" with --server-header.
// CONTENT_TYPE (default application/soap+xml): a text/ type is sent
// gzip-compressed. --slow MS keeps the client's thread busy for MS ms at every
// turn of its event loop, as on a loaded machine, so that what Qt's network
// thread receives piles up if nothing bounds it. --client: one blocking call
// (default), four parallel calls of the overview, or a socket upload (only
// with --refusal-header).
#include "base/AppPaths.h"
#include "net/MultipartUpload.h"
#include "net/NetworkError.h"
#include "net/SoapBatch.h"
#include "net/SoapTransport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <httplib.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// A peer that answers every connection's request head with a header of
// `total` bytes, then closes: a proxy's 407 with a huge Proxy-Authenticate, or
// a server's 200 with a huge header of its own. Counts what it wrote.
class HugeHeaderPeer {
public:
    HugeHeaderPeer(unsigned long long total, bool proxy) : m_total(total), m_proxy(proxy) {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listener, 8) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("refusing proxy");
            std::exit(1);
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~HugeHeaderPeer() {
        m_stopping = true;
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }
    int port() const { return m_port; }
    unsigned long long written() const { return m_written; }

private:
    void serve() {
        while (!m_stopping) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0)
                return;
            std::string head;
            char c = 0;
            while (head.find("\r\n\r\n") == std::string::npos && ::recv(client, &c, 1, 0) == 1)
                head += c;
            static const std::string block(64 * 1024, 'a');
            const std::string start = m_proxy ? "HTTP/1.1 407 Proxy Authentication Required\r\n"
                                                "Proxy-Authenticate: Basic realm=\""
                                              : "HTTP/1.1 200 OK\r\nX-Filler: \"";
            bool open = writeAll(client, start.data(), start.size());
            for (unsigned long long sent = 0; open && sent < m_total; sent += block.size()) {
                open = writeAll(client, block.data(), block.size());
                if (open)
                    m_written += block.size();
            }
            const std::string end = "\"\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            if (open)
                writeAll(client, end.data(), end.size());
            ::close(client);
        }
    }

    unsigned long long m_total;
    bool m_proxy;
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<unsigned long long> m_written{0};
};

QString blockingCall() {
    SoapTransport transport;
    try {
        const QString body = transport.call(QStringLiteral("/orn/server/index.php?wsdl"),
                                            QStringLiteral("Transferencia.ver2"), {});
        return QStringLiteral("answer of %1 characters").arg(body.size());
    } catch (const NetworkError& e) {
        return QStringLiteral("NetworkError %1: %2").arg(e.number()).arg(e.description());
    }
}

QString parallelCalls() {
    SoapBatch batch(4);
    QStringList outcomes;
    QEventLoop loop;
    QObject::connect(&batch, &SoapBatch::answered, &loop, [&](int id, const QString& answer) {
        outcomes << QStringLiteral("%1: answer of %2 characters").arg(id).arg(answer.size());
    });
    QObject::connect(&batch, &SoapBatch::failed, &loop, [&](int id, const QString& reason) {
        outcomes << QStringLiteral("%1: %2").arg(id).arg(reason);
    });
    QObject::connect(&batch, &SoapBatch::finished, &loop, &QEventLoop::quit);
    QList<SoapBatch::Call> calls;
    for (int id = 1; id <= 4; ++id)
        calls.append({id,
                      QStringLiteral("/orn/server/index.php?wsdl"),
                      QStringLiteral("Transferencia.ver2"),
                      {}});
    batch.run(calls);
    loop.exec();
    return outcomes.join(QStringLiteral("; "));
}

QString socketUpload(const QString& folder) {
    const QString path = folder + QStringLiteral("/GIA.ZIP");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("PK") != 2)
        return QStringLiteral("cannot write the file");
    file.close();
    MultipartUpload upload;
    QString outcome;
    QEventLoop loop;
    QObject::connect(&upload, &MultipartUpload::replyReceived, &loop, [&](const QByteArray& r) {
        outcome = QStringLiteral("reply of %1 bytes").arg(r.size());
        loop.quit();
    });
    QObject::connect(&upload, &MultipartUpload::failed, &loop, [&](const QString& why) {
        outcome = QStringLiteral("failed: %1").arg(why);
        loop.quit();
    });
    UrlParts url;
    url.Host = QStringLiteral("valdoria.test");
    url.Port = 8080;
    url.URI = QStringLiteral("/orn/envio.php");
    if (upload.start(url, path, QStringLiteral("GIA.ZIP"), QStringLiteral("objArquivo"),
                     QStringLiteral("application/octet-stream")))
        loop.exec();
    return outcome;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int slowMs = 0;
    QString client = QStringLiteral("transport");
    bool refusalHeader = false;
    bool serverHeader = false;
    QStringList rest;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--slow") && i + 1 < args.size())
            slowMs = args[++i].toInt();
        else if (args[i] == QLatin1String("--client") && i + 1 < args.size())
            client = args[++i];
        else if (args[i] == QLatin1String("--refusal-header"))
            refusalHeader = true;
        else if (args[i] == QLatin1String("--server-header"))
            serverHeader = true;
        else
            rest << args[i];
    }
    const unsigned long long mib = !rest.isEmpty() ? rest[0].toULongLong() : 256;
    const unsigned long long total = mib * 1024 * 1024;
    const std::string contentType =
        rest.size() > 1 ? rest[1].toStdString() : std::string("application/soap+xml");

    std::atomic<unsigned long long> served{0};
    httplib::Server server;
    server.Post(".*",
                [total, contentType, &served](const httplib::Request&, httplib::Response& res) {
                    res.set_chunked_content_provider(
                        contentType, [total, &served](size_t offset, httplib::DataSink& sink) {
                            static const std::string block(64 * 1024, 'a');
                            if (offset >= total) {
                                sink.done();
                                return true;
                            }
                            served += block.size();
                            return sink.write(block.data(), block.size());
                        });
                });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread listener([&server] { server.listen_after_bind(); });
    std::unique_ptr<HugeHeaderPeer> proxy;
    if (refusalHeader || serverHeader)
        proxy = std::make_unique<HugeHeaderPeer>(total, refusalHeader);

    QTemporaryDir folder;
    AppPaths::setApplicationFolder(folder.path());
    QFile ini(AppPaths::IniPath());
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    if (serverHeader)
        ini.write("[servidor]\nhost=127.0.0.1\nport=" + QByteArray::number(proxy->port()) + "\n");
    else if (proxy)
        ini.write("[servidor]\nhost=valdoria.test\nport=8080\n[proxy]\nmodo=manual\n"
                  "host=127.0.0.1\nporta=" +
                  QByteArray::number(proxy->port()) + "\n");
    else
        ini.write("[servidor]\nhost=127.0.0.1\nport=" + QByteArray::number(port) + "\n");
    ini.close();

    // The loaded machine: the client's thread is held at every turn.
    QTimer busy;
    QObject::connect(&busy, &QTimer::timeout, &busy,
                     [slowMs] { std::this_thread::sleep_for(std::chrono::milliseconds(slowMs)); });
    if (slowMs > 0)
        busy.start(0);

    const long before = peakRssKiB();
    const auto start = std::chrono::steady_clock::now();
    const QString outcome = client == QLatin1String("batch")    ? parallelCalls()
                            : client == QLatin1String("upload") ? socketUpload(folder.path())
                                                                : blockingCall();
    const long long callMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
    const long callPeak = peakRssKiB();
    busy.stop();
    server.stop();
    listener.join();
    const unsigned long long peerBytes = proxy ? proxy->written() : served.load();
    proxy.reset();
    std::printf("client: %s%s, %s of %llu MiB offered, thread held %d ms per turn\n"
                "outcome: %s\n"
                "wall: %lld ms; the peer wrote %llu KiB\n"
                "peak RSS: %ld KiB before the call, %ld KiB at its end (+%ld KiB)\n",
                qPrintable(client), refusalHeader ? " through a proxy" : "",
                refusalHeader  ? "407 header"
                : serverHeader ? "200 header"
                               : "body",
                mib, slowMs, qPrintable(outcome), callMs, peerBytes / 1024, before, callPeak,
                callPeak - before);
    return 0;
}
