// Peak memory of the SOAP transport facing a server that answers with a huge
// body: an in-process loopback server streams SIZE MiB (chunked, from one
// 64 KiB block, so the server itself holds nothing), the transport reads it
// and must stop at its bound. Prints the outcome, the wall time and the
// process's peak resident memory.
//
//   bench_soap_memory [SIZE_MIB [CONTENT_TYPE]]  (defaults 256, application/soap+xml)
#include "base/AppPaths.h"
#include "net/NetworkError.h"
#include "net/SoapTransport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <httplib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const unsigned long long mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const unsigned long long total = mib * 1024 * 1024;

    httplib::Server server;
    // A text/ type is sent gzip-compressed (the client accepts it), another
    // one as it is.
    const std::string contentType = argc > 2 ? argv[2] : "application/soap+xml";
    server.Post(".*", [total, contentType](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider(contentType,
                                         [total](size_t offset, httplib::DataSink& sink) {
                                             static const std::string block(64 * 1024, 'a');
                                             if (offset >= total) {
                                                 sink.done();
                                                 return true;
                                             }
                                             return sink.write(block.data(), block.size());
                                         });
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread listener([&server] { server.listen_after_bind(); });

    QTemporaryDir folder;
    AppPaths::setApplicationFolder(folder.path());
    QFile ini(AppPaths::IniPath());
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write("[servidor]\nhost=127.0.0.1\nport=" + QByteArray::number(port) + "\n");
    ini.close();

    const long before = peakRssKiB();
    const auto start = std::chrono::steady_clock::now();
    QString outcome;
    long long callMs = 0;
    long callPeak = 0;
    {
        SoapTransport transport;
        try {
            const QString body = transport.call(QStringLiteral("/orn/server/index.php?wsdl"),
                                                QStringLiteral("Transferencia.ver2"), {});
            outcome = QStringLiteral("answer of %1 characters").arg(body.size());
        } catch (const NetworkError& e) {
            outcome = QStringLiteral("NetworkError %1: %2").arg(e.number()).arg(e.description());
        }
        callMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - start)
                     .count();
        callPeak = peakRssKiB();
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    server.stop();
    listener.join();
    std::printf("body offered: %llu MiB\noutcome: %s\n"
                "wall: %lld ms to the call's end, %lld ms with the transport gone\n"
                "peak RSS: %ld KiB before the call, %ld KiB at its end, %ld KiB at exit\n",
                mib, qPrintable(outcome), callMs, static_cast<long long>(ms), before, callPeak,
                peakRssKiB());
    return 0;
}
