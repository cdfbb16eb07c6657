// The "Envio em lote" window sending many large declarations to the server
// simulator (its own process, so its memory is not counted) on loopback: the
// real window (offscreen), its list calls and the batch queue. Prints the
// wall time of the batch, the longest gap between two paints of the grid
// while it ran (the grid is asked to repaint every 10 ms, so a long gap means
// a busy event loop), and the process's peak resident memory.
//
//   bench_batch_window SERVER [FILES] [MIB]   (default 100 files of 5 MiB)
// SERVER: the simulator's executable (valdoria-server).
#include "archive/ArchivedSending.h"
#include "base/AppPaths.h"
#include "batchwindow/BatchWindow.h"
#include "certificates/CertificatePicker.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/WindowRegistry.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "support/TestCertificates.h"

#include "PaintClock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The accountant's certificate, every time.
class AccountantPicker : public CertificatePicker {
public:
    std::optional<Certificate> pick(const QString&, const QString&) override {
        dadav::test::TestCertificateOptions o;
        o.commonName = QStringLiteral("FULANO DE TAL:12345678909");
        o.notBefore = QDateTime::currentDateTime().addYears(-1);
        o.notAfter = QDateTime::currentDateTime().addYears(1);
        return parseCertificateDer(dadav::test::makeCertificateDer(o));
    }
};

// Any message box means the batch could not run as meant: printed.
class PrintingPrompter : public Prompter {
public:
    MsgAnswer show(const Message& message) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(message.text));
        return MsgAnswer::No;
    }
};

bool waitUntil(QApplication& app, const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs)
        app.processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fputs("usage: bench_batch_window SERVER [FILES] [MIB]\n", stderr);
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 100;
    const int mib = argc > 3 ? std::atoi(argv[3]) : 5;

    QTemporaryDir appDir, dataDir, files;
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    QProcess server;
    server.start(QString::fromLocal8Bit(argv[1]), {QStringLiteral("--port"), QString::number(port),
                                                   QStringLiteral("--data"), dataDir.path()});
    if (!waitUntil(
            app,
            [&] {
                QTcpSocket s;
                s.connectToHost(QHostAddress::LocalHost, port);
                return s.waitForConnected(100);
            },
            10000)) {
        std::fputs("the simulator did not start\n", stderr);
        return 1;
    }

    AppPaths::setApplicationFolder(appDir.path());
    {
        QFile ini(AppPaths::IniPath());
        if (!ini.open(QIODevice::WriteOnly))
            return 1;
        ini.write("[servidor]\r\nhost=127.0.0.1\r\nport=" + QByteArray::number(port) +
                  "\r\n[proxy]\r\nmodo=nenhum\r\n");
    }
    // The simulator's two companies with keys that file declarations.
    const QString ies[] = {QStringLiteral("86123452"), QStringLiteral("87206416")};
    {
        LocalDb db;
        insertContribuinte(db, {ies[0], QStringLiteral("A"), QString(), QString(),
                                QStringLiteral("Z3P8W1RT"), QString(), false});
        insertContribuinte(db, {ies[1], QStringLiteral("B"), QString(), QString(),
                                QStringLiteral("H5N4C6DB"), QString(), false});
        ContadorRow accountant;
        accountant.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
        accountant.cont_razao_nome = QStringLiteral("Fulano de Tal");
        replaceContador(db, accountant);
    }
    QStringList paths;
    QByteArray bytes(mib * 1024 * 1024, '\0');
    for (int i = 0; i < count; ++i) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                              bytes.size() / 4);
        const QString path = files.filePath(QStringLiteral("%1-%2.zip").arg(ies[i % 2]).arg(i));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return 1;
        paths << path;
    }
    bytes = QByteArray();

    // What the window's thread spends per row on the archive alone: the
    // record prepared (the file's digest) and finished (its verified copy).
    {
        QElapsedTimer t;
        t.start();
        std::optional<SentArchive::ArchivedSending> sending = SentArchive::ArchivedSending::prepare(
            ies[0], SentArchive::kDeclaration, QStringLiteral("12_2025"), paths.first());
        const qint64 prepared = t.restart();
        if (sending) {
            sending->requestStarted();
            sending->wholeRequestSent();
            sending->finish(SentArchive::kAccepted, QStringLiteral("ok"),
                            QDateTime::currentDateTime());
        }
        std::printf("archive of one file: prepare %lld ms, finish %lld ms\n",
                    static_cast<long long>(prepared), static_cast<long long>(t.elapsed()));
    }

    AccountantPicker picker;
    PrintingPrompter prompter;
    AppContext context;
    context.certificates = &picker;
    context.prompter = &prompter;
    WindowRegistry registry(context);
    context.windows = &registry;
    registry.registerWindow<BatchWindow>();
    auto* w = qobject_cast<BatchWindow*>(registry.show(QStringLiteral("BatchWindow")));
    w->addPaths(paths);
    waitUntil(
        app,
        [w] {
            for (const QStringList& row : w->rowsShown())
                if (row[BatchWindow::ColVerificacao].startsWith(QStringLiteral("Aguardando")))
                    return false;
            return true;
        },
        60000);
    w->Grid->selectAll();
    w->txtReferencias->setText(QStringLiteral("01/2026"));
    w->applyReferences();
    const long rssBefore = peakRssKiB();
    if (!w->rowsShown().isEmpty())
        std::fprintf(stderr, "first row: %s\n",
                     qPrintable(w->rowsShown().first().join(QStringLiteral(" | "))));

    PaintClock paints;
    const QString allSent = QStringLiteral("%1 de %1 ").arg(count);
    // The gaps while files are still being sent, and after (the lists).
    qint64 longestWhileUploading = 0;
    qint64 longestAfterUploading = 0;
    paints.eachGap = [&, w, allSent](qint64 gap) {
        qint64& longest =
            w->lblTotal->text().startsWith(allSent) ? longestAfterUploading : longestWhileUploading;
        longest = std::max(longest, gap);
    };
    w->Grid->viewport()->installEventFilter(&paints);
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, w->Grid->viewport(),
                     [w] { w->Grid->viewport()->update(); });
    QElapsedTimer wall;
    wall.start();
    paints.clock.start();
    repaint.start(10);
    w->send();
    const bool finished = waitUntil(
        app, [w] { return !w->summary().isEmpty(); }, 30 * 60 * 1000);
    const qint64 ms = wall.elapsed();
    // The summary is set by the handler that ends the batch: the paint after
    // it ends the gap that handler made, so paints go on a little longer.
    const int paintsAtEnd = paints.paints;
    waitUntil(
        app, [&paints, paintsAtEnd] { return paints.paints > paintsAtEnd; }, 5000);
    repaint.stop();

    std::printf("files: %d of %d MiB, finished: %s, summary: %s\n", count, mib,
                finished ? "yes" : "no (30 min limit)", qPrintable(w->summary()));
    std::printf("batch wall time: %lld ms\n", static_cast<long long>(ms));
    std::printf("peak RSS: %ld KiB (before sending: %ld KiB)\n", peakRssKiB(), rssBefore);
    std::printf("paints: %d, longest gap between paints over the batch: %lld ms (ending %lld ms "
                "after Enviar)\n",
                paints.paints, static_cast<long long>(paints.longestGap),
                static_cast<long long>(paints.gapEnd));
    std::printf("longest gap while the files were being sent: %lld ms\n",
                static_cast<long long>(longestWhileUploading));
    std::printf("longest gap after the files were sent (the lists): %lld ms\n",
                static_cast<long long>(longestAfterUploading));
    registry.unloadAll();
    server.terminate();
    server.waitForFinished(5000);
    return finished ? 0 : 1;
}
