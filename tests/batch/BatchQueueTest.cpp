// The batch queue against the simulator: every row ends in its state, each
// upload is the request the single-company windows send for the same file,
// and a queue resumed after a crash sends nothing twice.
#include "batch/BatchQueue.h"

#include "archive/SentArchive.h"
#include "net/UploadRequest.h"
#include "net/url_helper.h"
#include "store/BatchRepository.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "store/SendingRepository.h"
#include "support/FixedClock.h"
#include "support/SimulatorFixture.h"
#include "support/StaleDigest.h"
#include "support/WaitFor.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>

namespace {

// Stored with its punctuation: every sender puts it in the address as stored.
const QString kAccountant = QStringLiteral("123.456.789-09");

// Simulator companies with keys (two declarations, one Simples opter).
struct Taxpayer {
    const char* ie;
    const char* key;
    bool simples;
};
constexpr Taxpayer kTaxpayers[] = {
    {"86123452", "Z3P8W1RT", false},
    {"87206416", "H5N4C6DB", false},
    {"78045302", "A7K2M9QX", true},
};

const QByteArray kGoodPdf("%PDF-1.4\n1 0 obj << /Title (PGDAS-D Extrato) >> endobj\n%%EOF\n");

class BatchQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        fixture_.useAsApplicationFolder();
        LocalDb db;
        ContadorRow accountant;
        accountant.cont_cpf_cnpj = kAccountant;
        replaceContador(db, accountant);
        for (const Taxpayer& t : kTaxpayers)
            insertContribuinte(db, {QString::fromLatin1(t.ie), QStringLiteral("Empresa"), QString(),
                                    QString(), QString::fromLatin1(t.key), QString(), t.simples});
    }

    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = QDir(files_.path()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    // Runs a queue over the batch until it finishes; the problem it reports.
    QString run(BatchQueue& queue) {
        std::optional<QString> problem;
        const QMetaObject::Connection c = QObject::connect(
            &queue, &BatchQueue::finished, [&](const QString& text) { problem = text; });
        queue.start();
        EXPECT_TRUE(dadav::test::waitFor([&] { return problem.has_value(); }, 60000));
        QObject::disconnect(c);
        return problem.value_or(QStringLiteral("never finished"));
    }

    BatchQueue::Setup setup() const {
        BatchQueue::Setup s;
        s.desk = QStringLiteral("mesa-1");
        s.clock = &clock_;
        s.retryDelay = std::chrono::milliseconds(0);
        return s;
    }

    static void run(LocalDb& db, const QString& sql) {
        QSqlQuery query(db.database());
        ASSERT_TRUE(query.exec(sql)) << query.lastError().text().toStdString();
    }

    std::map<std::string, int> uploadsPerTaxpayer() {
        std::map<std::string, int> count;
        for (const valdoria::UploadRecord& u : fixture_.simulator().uploads())
            ++count[u.ie];
        return count;
    }

    // The address the windows send to, written out here rather than taken
    // from the client's builder.
    QString address(const Taxpayer& t, const QString& refs) const {
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(fixture_.port());
        if (t.simples)
            return base + QStringLiteral(" /client/xt_upload_simples.php?contador=") + kAccountant +
                   QStringLiteral("&chave=") + QLatin1String(t.key) + QStringLiteral("&gias=");
        return base + QStringLiteral("/client/xt_upload_1_15_01.php?ie=") + QLatin1String(t.ie) +
               QStringLiteral("&contador=") + kAccountant + QStringLiteral("&chave=") +
               QLatin1String(t.key) + QStringLiteral("&gias=") + refs;
    }

    // The server's clock and the client's read the same time.
    static valdoria::SimulatorOptions serverOptions() {
        valdoria::SimulatorOptions options;
        options.years = "2025/2026";
        options.clock = [] {
            return std::chrono::system_clock::from_time_t(kNow.toSecsSinceEpoch());
        };
        return options;
    }

    // Requests of the uploads alone (list calls go between them).
    std::vector<std::string> uploadRequests() {
        std::vector<std::string> uploads;
        for (const std::string& r : fixture_.simulator().rawRequests())
            if (r.rfind("POST /client/xt_upload", 0) == 0)
                uploads.push_back(r);
        return uploads;
    }

    // Registers a taxpayer here and (unless `serverKey` is null) on the
    // server with that key.
    void registerTaxpayer(const char* ie, const char* key, bool simples, const char* serverKey,
                          bool blocked = false) {
        {
            LocalDb db;
            insertContribuinte(db, {QString::fromLatin1(ie), QStringLiteral("Empresa"), QString(),
                                    QString(), QString::fromLatin1(key), QString(), simples});
        }
        if (serverKey)
            fixture_.simulator().addCompany(
                {ie, "11222333000181", "Empresa", simples, serverKey, blocked});
    }

    static inline const QDateTime kNow{QDate(2026, 12, 7), QTime(10, 0)};
    dadav::test::SimulatorFixture fixture_{serverOptions()};
    // Every date of the batch, its rows and its archive records.
    mutable FixedClock clock_{kNow};
    QTemporaryDir files_;
};

// Twenty companies, declarations and extracts mixed: sixteen accepted, one
// extract the server refuses, one company blocked on the server, one whose
// key the server no longer knows, one file missing. Each archive record
// holds the bytes sent, though a file changed since its check.
TEST_F(BatchQueueTest, EveryRowEndsInItsStateAndEachUploadIsTheSingleCompanyRequest) {
    struct Case {
        Taxpayer taxpayer;
        QString file; // empty: a file that does not exist
        QByteArray bytes;
        QString refs;
        BatchRowState state;
        QString archived;  // the archive's result, empty when nothing is recorded
        const char* reply; // a piece of the row's text
    };
    std::vector<std::string> ies, keys; // storage for the generated taxpayers
    ies.reserve(20);
    keys.reserve(20);
    const auto taxpayer = [&](int i, bool simples) {
        ies.push_back(QStringLiteral("900000%1").arg(i, 2, 10, QLatin1Char('0')).toStdString());
        keys.push_back(QStringLiteral("K%1LOTE").arg(i, 2, 10, QLatin1Char('0')).toStdString());
        return Taxpayer{ies.back().c_str(), keys.back().c_str(), simples};
    };
    std::vector<Case> cases = {
        {kTaxpayers[0], QStringLiteral("BACKUP JAN.zip"), QByteArray("PK\3\4 janeiro\r\n\0x", 16),
         QStringLiteral("1_2025,2_2025"), BatchRowState::Accepted, SentArchive::kAccepted,
         "recebido"},
        {kTaxpayers[2], QStringLiteral("PGDAS-1.pdf"), kGoodPdf, QString(), BatchRowState::Accepted,
         SentArchive::kAccepted, "recebido"},
        {kTaxpayers[1], QStringLiteral("backup.ZIP"), QByteArray("PK\3\4 fevereiro"),
         QStringLiteral("2_2025"), BatchRowState::Accepted, SentArchive::kAccepted, "recebido"},
    };
    for (int i = 0; i < 13; ++i) {
        const bool simples = i % 3 == 0;
        cases.push_back({taxpayer(i, simples),
                         QStringLiteral("empresa%1.%2").arg(i).arg(simples ? "pdf" : "zip"),
                         simples ? QByteArray(kGoodPdf).insert(9, QByteArray::number(i))
                                 : QByteArray("PK\3\4 ") + QByteArray(1000 * i, char('a' + i)),
                         simples ? QString() : QStringLiteral("%1_2025").arg(i % 12 + 1),
                         BatchRowState::Accepted, SentArchive::kAccepted, "recebido"});
    }
    // Not an extract: the server's Simples marker refuses it.
    cases.push_back({taxpayer(13, true), QStringLiteral("outro.pdf"),
                     QByteArray("%PDF-1.4\nnada\n%%EOF\n"), QString(), BatchRowState::Refused,
                     SentArchive::kRefused, "Recibo"});
    cases.push_back({taxpayer(14, false),
                     QStringLiteral("bloqueada.zip"),
                     QByteArray("PK b"),
                     QStringLiteral("3_2025"),
                     BatchRowState::NotSent,
                     {},
                     "Acesso não autorizado"});
    cases.push_back({taxpayer(15, false),
                     QStringLiteral("vencida.zip"),
                     QByteArray("PK v"),
                     QStringLiteral("3_2025"),
                     BatchRowState::NotSent,
                     {},
                     "Chave inválida"});
    cases.push_back({kTaxpayers[1],
                     QString(),
                     {},
                     QStringLiteral("3_2025"),
                     BatchRowState::NotSent,
                     {},
                     "não encontrado"});
    ASSERT_EQ(cases.size(), 20u);
    for (size_t i = 3; i < cases.size(); ++i) {
        const Taxpayer& t = cases[i].taxpayer;
        if (t.ie == kTaxpayers[1].ie)
            continue;
        const bool expired = cases[i].reply == std::string("Chave inválida");
        registerTaxpayer(t.ie, t.key, t.simples, expired ? "NOVACHAV" : t.key,
                         cases[i].reply == std::string("Acesso não autorizado"));
    }

    QList<NewBatchRow> rows;
    BatchQueue::Setup withDigests = setup();
    for (const Case& c : cases) {
        const QString path = c.file.isEmpty() ? QDir(files_.path()).filePath("sumiu.zip")
                                              : writeFile(c.file, c.bytes);
        rows.append({QString::fromLatin1(c.taxpayer.ie), path,
                     c.taxpayer.simples ? SentArchive::kSimples : SentArchive::kDeclaration,
                     c.refs});
        if (const std::optional<SentArchive::Digest> d = SentArchive::digestFile(path))
            withDigests.digests.insert(path, *d);
    }
    // The checks' digests go with the rows; the first row's file changed
    // since its check, keeping its size and times: it is read again.
    withDigests.digests[rows[0].filePath] =
        dadav::test::staleDigest(writeFile(cases[0].file, QByteArray(16, 'x')), cases[0].bytes);
    qint64 batchId = 0;
    {
        LocalDb db;
        batchId = createBatch(db, QStringLiteral("mesa-1"), clock_.now(), rows);
    }

    BatchQueue queue(batchId, withDigests);
    std::map<qint64, QString> listed;
    QObject::connect(
        &queue, &BatchQueue::rowListed,
        [&](qint64 row, BatchRowState, const QString& protocol) { listed[row] = protocol; });
    qint64 bytesDone = -1, bytesTotal = -1;
    int rowsDone = -1;
    QObject::connect(&queue, &BatchQueue::progress, [&](int done, int, qint64 sent, qint64 total) {
        EXPECT_GE(sent, bytesDone) << "the bytes sent never go back";
        rowsDone = done;
        bytesDone = sent;
        bytesTotal = total;
    });
    EXPECT_EQ(run(queue), QString());
    EXPECT_EQ(rowsDone, 20);
    qint64 allBytes = 0;
    for (const Case& c : cases)
        allBytes += c.bytes.size();
    EXPECT_EQ(bytesTotal, allBytes);
    EXPECT_EQ(bytesDone, allBytes);

    LocalDb db;
    const QList<BatchRow> stored = batchRows(db, batchId);
    ASSERT_EQ(stored.size(), qsizetype(cases.size()));
    const std::vector<std::string> raw = uploadRequests();
    ASSERT_EQ(raw.size(), 17u) << "one upload per row the server may take, nothing else";
    std::map<std::string, std::string> protocols; // of the server's transmissions
    for (const valdoria::Transmission& t : fixture_.simulator().transmissions())
        protocols[t.ie] = t.protocolo;
    size_t sent = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.file.toStdString() + " " + c.taxpayer.ie);
        EXPECT_EQ(stored[i].state, c.state) << stored[i].reply.toStdString();
        EXPECT_TRUE(stored[i].reply.contains(QString::fromUtf8(c.reply)))
            << stored[i].reply.toStdString();
        if (c.state == BatchRowState::NotSent) {
            EXPECT_FALSE(stored[i].requestStarted);
            continue;
        }
        EXPECT_TRUE(stored[i].requestStarted);
        EXPECT_TRUE(stored[i].wholeRequestSent);
        // Byte for byte what a window sends for this file, but the boundary
        // (new for every request).
        const QByteArray got = QByteArray::fromStdString(raw[sent++]);
        QByteArray expected = upload::BuildFileUploadRequest(
            c.bytes, url_helper::ExtractUrl(address(c.taxpayer, c.refs)),
            QStringLiteral("objArquivo"), c.file, QStringLiteral("application/octet-stream"));
        const qsizetype at = expected.indexOf("boundary=") + 9;
        const QByteArray ours = expected.mid(at, 32);
        expected.replace(ours, got.mid(got.indexOf("boundary=") + 9, 32));
        EXPECT_EQ(got, expected);

        const QList<SentArchive::Record> records =
            SentArchive::list(QString::fromLatin1(c.taxpayer.ie));
        // The bytes sent, and their copy when the server may hold them.
        const QString sha256 = QString::fromLatin1(
            QCryptographicHash::hash(c.bytes, QCryptographicHash::Sha256).toHex());
        const bool recorded =
            std::any_of(records.begin(), records.end(), [&](const SentArchive::Record& r) {
                return r.fileName == c.file && r.result == c.archived && r.sha256 == sha256 &&
                       r.archivedFile.isEmpty() != SentArchive::serverMayHoldIt(r);
            });
        EXPECT_TRUE(recorded) << "no archive record " << c.archived.toStdString();
        // The memory every desk shares holds the same, for this desk.
        const QList<SendingEntry> memory =
            sendingsFor(db, QString::fromLatin1(c.taxpayer.ie), stored[i].references);
        ASSERT_EQ(memory.size(), 1);
        EXPECT_EQ(memory[0].result, c.archived);
        EXPECT_EQ(memory[0].sha256, sha256);
        EXPECT_EQ(memory[0].desk, QStringLiteral("mesa-1"));
        EXPECT_EQ(memory[0].batchRowId, stored[i].id);
        // An accepted row shows the protocol its taxpayer's list gave.
        if (c.state == BatchRowState::Accepted) {
            const QString protocol = QString::fromStdString(protocols[c.taxpayer.ie]);
            EXPECT_FALSE(protocol.isEmpty());
            EXPECT_EQ(stored[i].protocol, protocol);
            EXPECT_EQ(listed[stored[i].id], protocol);
            EXPECT_EQ(memory[0].protocol, protocol);
        }
    }
}

// A sender stopped while rows were "sending": the row whose request had
// started (and reached the server) is left for the user to verify, the row
// whose request never started goes back to the queue, and the resumed queue
// sends every other row once.
TEST_F(BatchQueueTest, ResumeAfterACrashSendsNothingTwice) {
    const QList<NewBatchRow> rows = {
        {QString::fromLatin1(kTaxpayers[0].ie), writeFile("a.zip", "PK a"),
         SentArchive::kDeclaration, QStringLiteral("1_2025")},
        {QString::fromLatin1(kTaxpayers[1].ie), writeFile("b.zip", "PK b"),
         SentArchive::kDeclaration, QStringLiteral("1_2025")},
        {QString::fromLatin1(kTaxpayers[2].ie), writeFile("PGDAS.pdf", kGoodPdf),
         SentArchive::kSimples, QString()},
        // Claimed by processes that still run: this desk's (process 1 runs
        // on every machine) and another desk's.
        {QString::fromLatin1(kTaxpayers[0].ie), writeFile("d.zip", "PK d"),
         SentArchive::kDeclaration, QStringLiteral("4_2025")},
        {QString::fromLatin1(kTaxpayers[1].ie), writeFile("e.zip", "PK e"),
         SentArchive::kDeclaration, QStringLiteral("4_2025")},
    };
    qint64 batchId = 0;
    {
        LocalDb db;
        batchId = createBatch(db, QStringLiteral("mesa-1"), clock_.now(), rows);
        run(db, QStringLiteral("UPDATE batch_row SET state = 'sending', claimed_by = 'mesa-1 #1' "
                               "WHERE seq = 3"));
        run(db, QStringLiteral("UPDATE batch_row SET state = 'sending', claimed_by = 'mesa-2 #7' "
                               "WHERE seq = 4"));
        // The stopped sender: it had claimed the first row, started its
        // request and the server got it whole; it had claimed the second
        // without a byte going out.
        const std::optional<BatchRow> first =
            claimNextRow(db, batchId, QStringLiteral("mesa-1"), clock_.now());
        ASSERT_TRUE(first);
        markRequestStarted(db, first->id);
        ASSERT_TRUE(claimNextRow(db, batchId, QStringLiteral("mesa-1"), clock_.now()));
    }
    {
        MultipartUpload upload;
        bool replied = false;
        QObject::connect(&upload, &MultipartUpload::replyReceived, [&] { replied = true; });
        ASSERT_TRUE(upload.start(url_helper::ExtractUrl(address(kTaxpayers[0], "1_2025")),
                                 rows[0].filePath, QStringLiteral("a.zip"),
                                 QStringLiteral("objArquivo"),
                                 QStringLiteral("application/octet-stream")));
        ASSERT_TRUE(dadav::test::waitFor([&] { return replied; }));
    }

    BatchQueue queue(batchId, setup());
    const BatchRecovery recovery = queue.recover();
    EXPECT_EQ(recovery.noReply, 1);
    EXPECT_EQ(recovery.requeued, 1);
    EXPECT_EQ(run(queue), QString());
    // A second start finds nothing queued and sends nothing.
    EXPECT_EQ(queue.recover().noReply, 0);
    EXPECT_EQ(run(queue), QString());

    const std::map<std::string, int> expected = {
        {kTaxpayers[0].ie, 1}, {kTaxpayers[1].ie, 1}, {kTaxpayers[2].ie, 1}};
    EXPECT_EQ(uploadsPerTaxpayer(), expected);
    LocalDb db;
    const QList<BatchRow> stored = batchRows(db, batchId);
    ASSERT_EQ(stored.size(), 5);
    EXPECT_EQ(stored[3].state, BatchRowState::Sending) << "its sender still runs";
    EXPECT_EQ(stored[4].state, BatchRowState::Sending) << "another desk's";
    // The server got the first row whole: its list shows it, so the row is
    // accepted with the protocol rather than left to verify.
    EXPECT_EQ(stored[0].state, BatchRowState::Accepted) << stored[0].reply.toStdString();
    EXPECT_FALSE(stored[0].protocol.isEmpty());
    EXPECT_EQ(stored[1].state, BatchRowState::Accepted);
    EXPECT_EQ(stored[2].state, BatchRowState::Accepted);
}

} // namespace

namespace {

// A server that reads a request's first line, keeps it and hangs up: every
// call to it fails as a dropped connection does.
class HangingUpServer : public QTcpServer {
public:
    HangingUpServer() {
        EXPECT_TRUE(listen(QHostAddress::LocalHost));
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->canReadLine())
                        return;
                    lines << socket->readLine().trimmed();
                    socket->disconnectFromHost();
                    socket->deleteLater();
                });
            }
        });
    }
    QList<QByteArray> lines;
};

// Rows of the three simulator taxpayers and one more declaration.
QList<NewBatchRow> fourRows(const std::function<QString(const QString&, const QByteArray&)>& write,
                            const QByteArray& bigFirst = {}) {
    return {
        {QString::fromLatin1(kTaxpayers[0].ie),
         write("a.zip", bigFirst.isEmpty() ? QByteArray("PK a") : bigFirst),
         SentArchive::kDeclaration, QStringLiteral("1_2025")},
        {QString::fromLatin1(kTaxpayers[1].ie), write("b.zip", "PK b"), SentArchive::kDeclaration,
         QStringLiteral("1_2025")},
        {QString::fromLatin1(kTaxpayers[2].ie), write("PGDAS.pdf", kGoodPdf), SentArchive::kSimples,
         QString()},
        {QString::fromLatin1(kTaxpayers[0].ie), write("c.zip", "PK c"), SentArchive::kDeclaration,
         QStringLiteral("2_2025")},
    };
}

QList<BatchRowState> statesOf(qint64 batchId) {
    LocalDb db;
    QList<BatchRowState> states;
    for (const BatchRow& row : batchRows(db, batchId))
        states << row.state;
    return states;
}

} // namespace

// The network fails: each row's list call is made again (the upload never
// is), and after three rows in a row the queue pauses; resumed with the
// network back, it sends the rest.
TEST_F(BatchQueueTest, NetworkFailuresRetryTheListCallAndPauseAfterThreeRows) {
    const auto write = [this](const QString& n, const QByteArray& b) {
        return writeFile(n, b);
    };
    qint64 batchId = 0;
    {
        LocalDb db;
        batchId = createBatch(db, QStringLiteral("mesa-1"), clock_.now(), fourRows(write));
    }
    HangingUpServer down;
    fixture_.writeIni(QStringLiteral("127.0.0.1"), QString::number(down.serverPort()));

    BatchQueue queue(batchId, setup());
    std::optional<QString> pausedWhy;
    bool finished = false;
    QObject::connect(&queue, &BatchQueue::paused, [&](const QString& why) { pausedWhy = why; });
    QObject::connect(&queue, &BatchQueue::finished, [&] { finished = true; });
    queue.start();
    ASSERT_TRUE(dadav::test::waitFor([&] { return pausedWhy.has_value(); }, 60000));
    EXPECT_TRUE(pausedWhy->contains(QStringLiteral("falha de rede"))) << pausedWhy->toStdString();
    EXPECT_TRUE(queue.isPaused());
    EXPECT_FALSE(finished);
    EXPECT_EQ(statesOf(batchId),
              (QList<BatchRowState>{BatchRowState::NotSent, BatchRowState::NotSent,
                                    BatchRowState::NotSent, BatchRowState::Queued}));
    // Three tries of the list call per row, and not one upload.
    int listCalls = 0;
    for (const QByteArray& line : down.lines) {
        EXPECT_FALSE(line.contains("xt_upload")) << line.toStdString();
        listCalls += line.contains("/orn/server/") ? 1 : 0;
    }
    EXPECT_GE(listCalls, 3 * (1 + setup().listRetries));
    EXPECT_TRUE(uploadRequests().empty());

    fixture_.writeIni(QStringLiteral("127.0.0.1"), QString::number(fixture_.port()));
    queue.resume();
    ASSERT_TRUE(dadav::test::waitFor([&] { return finished; }, 60000));
    EXPECT_EQ(statesOf(batchId).last(), BatchRowState::Accepted);
    EXPECT_EQ(uploadRequests().size(), 1u);
}

// Pausar waits after the row under way; Cancelar cancels what is queued; a
// row broken off while its request went out is left for the list, which
// does not show it, and only the user puts it back in the queue.
TEST_F(BatchQueueTest, PauseCancelAndAbortEndRowsWithoutSendingAnyTwice) {
    const auto write = [this](const QString& n, const QByteArray& b) {
        return writeFile(n, b);
    };
    qint64 batchId = 0;
    {
        LocalDb db;
        batchId = createBatch(db, QStringLiteral("mesa-1"), clock_.now(),
                              fourRows(write, QByteArray("PK ") + QByteArray(64 << 20, 'x')));
    }
    BatchQueue queue(batchId, setup());
    std::optional<QString> pausedWhy;
    std::optional<QString> problem;
    bool aborted = false;
    QObject::connect(&queue, &BatchQueue::paused, [&](const QString& why) { pausedWhy = why; });
    QObject::connect(&queue, &BatchQueue::finished, [&](const QString& p) { problem = p; });
    QObject::connect(&queue, &BatchQueue::rowProgress, [&](qint64, int percent) {
        if (!aborted && percent > 0 && percent < 100) {
            aborted = true;
            queue.abortCurrent();
        }
    });
    queue.start();
    ASSERT_TRUE(dadav::test::waitFor([&] { return problem.has_value(); }, 60000));
    EXPECT_EQ(*problem, QString());
    ASSERT_TRUE(aborted);
    QList<BatchRowState> states = statesOf(batchId);
    // The broken-off row is not on the list: it may be sent again, by hand.
    EXPECT_EQ(states, (QList<BatchRowState>{BatchRowState::NotListed, BatchRowState::Cancelled,
                                            BatchRowState::Cancelled, BatchRowState::Cancelled}));
    EXPECT_TRUE(fixture_.simulator().uploads().empty()) << "the server holds no upload";

    LocalDb db;
    const QList<BatchRow> rows = batchRows(db, batchId);
    EXPECT_FALSE(requeueRow(db, rows[0].id + 1000, true));
    ASSERT_TRUE(requeueRow(db, rows[0].id, true));
    ASSERT_TRUE(requeueRow(db, rows[1].id, false));
    ASSERT_TRUE(requeueRow(db, rows[2].id, false));

    // Pausar during the first row: it ends, the rest waits.
    problem.reset();
    bool pauseAsked = false;
    QObject::connect(&queue, &BatchQueue::rowStarted, [&](qint64) {
        if (!pauseAsked) {
            pauseAsked = true;
            queue.pauseAfterCurrent();
        }
    });
    queue.start();
    ASSERT_TRUE(dadav::test::waitFor([&] { return pausedWhy.has_value(); }, 60000));
    EXPECT_EQ(*pausedWhy, QString());
    states = statesOf(batchId);
    EXPECT_EQ(states[0], BatchRowState::Accepted);
    EXPECT_EQ(states[1], BatchRowState::Queued);
    queue.stopAfterCurrent();
    ASSERT_TRUE(dadav::test::waitFor([&] { return problem.has_value(); }, 60000));
    EXPECT_EQ(statesOf(batchId),
              (QList<BatchRowState>{BatchRowState::Accepted, BatchRowState::Cancelled,
                                    BatchRowState::Cancelled, BatchRowState::Cancelled}));
    EXPECT_EQ(uploadsPerTaxpayer(), (std::map<std::string, int>{{kTaxpayers[0].ie, 1}}));
}
