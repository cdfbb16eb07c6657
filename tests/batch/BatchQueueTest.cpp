// The batch queue against the simulator: every row ends in its state, each
// upload is the request the single-company windows send for the same file,
// and a queue resumed after a crash sends nothing twice.
#include "batch/BatchQueue.h"

#include "archive/SentArchive.h"
#include "batch/BatchClaims.h"
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

#include <sys/stat.h>

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
// key the server no longer knows, one file missing, one FIFO (next after the
// first row, so the look-ahead meets it: refused, never opened). Each
// archive record holds the bytes sent, though a file changed since its
// check.
TEST_F(BatchQueueTest, EveryRowEndsInItsStateAndEachUploadIsTheSingleCompanyRequest) {
    struct Case {
        Taxpayer taxpayer;
        QString file; // empty: a file that does not exist; "fila": a FIFO
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
        {kTaxpayers[1],
         QStringLiteral("fila"),
         {},
         QStringLiteral("5_2025"),
         BatchRowState::NotSent,
         {},
         "não é um arquivo comum"},
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
    ASSERT_EQ(cases.size(), 21u);
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
        QString path = c.file.isEmpty() ? QDir(files_.path()).filePath("sumiu.zip")
                                        : QDir(files_.path()).filePath(c.file + ".zip");
        if (c.file == QStringLiteral("fila"))
            EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (!c.file.isEmpty())
            path = writeFile(c.file, c.bytes);
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
    EXPECT_EQ(rowsDone, 21);
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
    // The server's protocols, one per month, in the order of the months sent.
    std::map<std::string, QStringList> protocols;
    for (const valdoria::Transmission& t : fixture_.simulator().transmissions())
        protocols[t.ie] << QString::fromStdString(t.protocolo);
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
            const QString protocol = protocols[c.taxpayer.ie].join(QStringLiteral(", "));
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
// sends every other row once. A claim is judged by the process, its boot and
// its start: a process id another process took since (after a reboot, or
// reused) is not its sender.
TEST_F(BatchQueueTest, ResumeAfterACrashSendsNothingTwice) {
    // Process 1 runs on every machine: claims in its name, as it is now,
    // before the machine started again, and before it started.
    const QString living = BatchClaims::claimerOf(QStringLiteral("mesa-1"), 1);
    const QStringList parts = living.split(QLatin1Char(' '));
    ASSERT_EQ(parts.size(), 4) << "the system says the boot id and start time";
    const QString otherBoot =
        QStringList{parts[0], parts[1], QStringLiteral("00000000-0000-0000-0000-000000000000"),
                    parts[3]}
            .join(QLatin1Char(' '));
    const QString earlierProcess =
        QStringList{parts[0], parts[1], parts[2], parts[3] + QLatin1Char('0')}.join(
            QLatin1Char(' '));
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
        {QString::fromLatin1(kTaxpayers[1].ie), writeFile("f.zip", "PK f"),
         SentArchive::kDeclaration, QStringLiteral("5_2025")},
        {QString::fromLatin1(kTaxpayers[0].ie), writeFile("g.zip", "PK g"),
         SentArchive::kDeclaration, QStringLiteral("5_2025")},
        {QString::fromLatin1(kTaxpayers[0].ie), writeFile("h.zip", "PK h"),
         SentArchive::kDeclaration, QStringLiteral("6_2025")},
    };
    qint64 batchId = 0;
    {
        LocalDb db;
        batchId = createBatch(db, QStringLiteral("mesa-1"), clock_.now(), rows);
        run(db, QStringLiteral("UPDATE batch_row SET state = 'sending', claimed_by = 'mesa-1 #1' "
                               "WHERE seq = 3"));
        run(db, QStringLiteral("UPDATE batch_row SET state = 'sending', claimed_by = 'mesa-2 #7' "
                               "WHERE seq = 4"));
        const std::pair<int, QString> claims[] = {{5, living}, {6, otherBoot}, {7, earlierProcess}};
        for (const auto& [seq, claimer] : claims)
            run(db, QStringLiteral("UPDATE batch_row SET state = 'sending', claimed_by = '%1' "
                                   "WHERE seq = %2")
                        .arg(claimer)
                        .arg(seq));
        // The stopped sender: it had claimed the first row, started its
        // request and the server got it whole; it had claimed the second
        // without a byte going out.
        const std::optional<BatchRow> first =
            claimNextRow(db, batchId, QStringLiteral("mesa-1"), clock_.now());
        ASSERT_TRUE(first);
        markRequestStarted(db, first->id, SentArchive::digestFile(rows[0].filePath)->sha256);
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

    const BatchRecovery recovery = recoverBatch(batchId, QStringLiteral("mesa-1"), clock_.now());
    EXPECT_EQ(recovery.noReply, 1);
    EXPECT_EQ(recovery.requeued, 3);
    BatchQueue queue(batchId, setup());
    EXPECT_EQ(run(queue), QString());
    // A second start finds nothing queued and sends nothing.
    EXPECT_EQ(recoverBatch(batchId, QStringLiteral("mesa-1"), clock_.now()).noReply, 0);
    EXPECT_EQ(run(queue), QString());

    const std::map<std::string, int> expected = {
        {kTaxpayers[0].ie, 3}, {kTaxpayers[1].ie, 1}, {kTaxpayers[2].ie, 1}};
    EXPECT_EQ(uploadsPerTaxpayer(), expected);
    LocalDb db;
    const QList<BatchRow> stored = batchRows(db, batchId);
    ASSERT_EQ(stored.size(), 8);
    EXPECT_EQ(stored[3].state, BatchRowState::Sending) << "its sender still runs";
    EXPECT_EQ(stored[4].state, BatchRowState::Sending) << "another desk's";
    EXPECT_EQ(stored[5].state, BatchRowState::Sending) << "its sender still runs";
    EXPECT_EQ(stored[6].state, BatchRowState::Accepted) << "claimed before the machine started";
    EXPECT_EQ(stored[7].state, BatchRowState::Accepted) << "claimed by an earlier process";
    // The server got the first row whole: its list shows it, so the row is
    // accepted with the protocol rather than left to verify, and archived
    // with the bytes sent and their copy.
    EXPECT_EQ(stored[0].state, BatchRowState::Accepted) << stored[0].reply.toStdString();
    EXPECT_FALSE(stored[0].protocol.isEmpty());
    const QList<SentArchive::Record> records =
        SentArchive::list(QString::fromLatin1(kTaxpayers[0].ie));
    EXPECT_EQ(std::count_if(records.begin(), records.end(),
                            [&](const SentArchive::Record& r) {
                                return r.fileName == QStringLiteral("a.zip") &&
                                       r.result == SentArchive::kAccepted &&
                                       r.sha256 == stored[0].sha256 && !r.archivedFile.isEmpty();
                            }),
              1);
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
// is), and after three rows in a row the queue pauses, whether the lists
// fail too or came before the network went (an answer asked ahead says
// nothing of the network now). The rows that never reached the server go
// back to the queue; resumed with the network back, it sends them all.
TEST_F(BatchQueueTest, NetworkFailuresRetryTheListCallAndPauseAfterThreeRows) {
    struct Case {
        const char* name;
        bool listsCame; // the network goes after the first row, not before the lists
        QList<BatchRowState> paused;
    };
    const QList<BatchRowState> queued(4, BatchRowState::Queued);
    const Case cases[] = {
        {"the lists fail too", false, queued},
        {"after the lists came",
         true,
         {BatchRowState::Accepted, BatchRowState::Queued, BatchRowState::Queued,
          BatchRowState::Queued}},
    };
    HangingUpServer down;
    // A port nothing listens on: the uploads are refused before a byte goes.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString closedPort = QString::number(closed.serverPort());
    closed.close();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray tag(c.name);
        const auto write = [&](const QString& n, const QByteArray& b) {
            // Inside the bytes: an extract ends with its marker.
            return writeFile(QString::fromLatin1(tag.left(3)) + n,
                             QByteArray(b).insert(std::min<qsizetype>(9, b.size()), tag));
        };
        qint64 batchId = 0;
        {
            LocalDb db;
            batchId = createBatch(db, QStringLiteral("mesa-1"), clock_.now(), fourRows(write));
        }
        fixture_.writeIni(QStringLiteral("127.0.0.1"), QString::number(fixture_.port()));
        down.lines.clear();
        const size_t uploadsBefore = uploadRequests().size();
        BatchQueue queue(batchId, setup());
        std::optional<QString> pausedWhy;
        bool finished = false;
        QObject::connect(&queue, &BatchQueue::paused, [&](const QString& why) { pausedWhy = why; });
        QObject::connect(&queue, &BatchQueue::finished, [&] { finished = true; });
        QObject::connect(&queue, &BatchQueue::rowFinished, [&] {
            if (c.listsCame)
                fixture_.writeIni(QStringLiteral("127.0.0.1"), closedPort);
        });
        if (!c.listsCame)
            fixture_.writeIni(QStringLiteral("127.0.0.1"), QString::number(down.serverPort()));
        queue.start();
        ASSERT_TRUE(dadav::test::waitFor([&] { return pausedWhy || finished; }, 60000));
        ASSERT_TRUE(pausedWhy) << "ended without pausing";
        EXPECT_TRUE(pausedWhy->contains(QStringLiteral("falha de rede")))
            << pausedWhy->toStdString();
        EXPECT_TRUE(queue.isPaused());
        EXPECT_FALSE(finished);
        EXPECT_EQ(statesOf(batchId), c.paused);
        EXPECT_EQ(uploadRequests().size(), uploadsBefore + (c.listsCame ? 1 : 0));
        if (!c.listsCame) {
            // Three tries of the list call per row, and not one upload.
            int listCalls = 0;
            for (const QByteArray& line : down.lines) {
                EXPECT_FALSE(line.contains("xt_upload")) << line.toStdString();
                listCalls += line.contains("/orn/server/") ? 1 : 0;
            }
            EXPECT_GE(listCalls, 3 * (1 + setup().listRetries));
        }

        QObject::disconnect(&queue, &BatchQueue::rowFinished, nullptr, nullptr);
        fixture_.writeIni(QStringLiteral("127.0.0.1"), QString::number(fixture_.port()));
        queue.resume();
        ASSERT_TRUE(dadav::test::waitFor([&] { return finished; }, 60000));
        EXPECT_EQ(statesOf(batchId), QList<BatchRowState>(4, BatchRowState::Accepted));
        EXPECT_EQ(uploadRequests().size(), uploadsBefore + 4);
    }
}

// Pausar waits after the row under way; Cancelar cancels what is queued; a
// row broken off while its request went out did not reach the server whole
// ("Não enviado"), and only the user puts it back in the queue.
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
    // The broken-off row may be sent again, by hand.
    EXPECT_EQ(states, (QList<BatchRowState>{BatchRowState::NotSent, BatchRowState::Cancelled,
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

namespace {

// A server that reads an upload's head and then either the first
// `cutAfter` bytes of its body (and resets the connection: the request is
// cut) or the whole body (and closes without a word: no verdict). Any other
// request is answered by closing.
class CuttingServer : public QTcpServer {
public:
    explicit CuttingServer(qint64 cutAfter) : cutAfter_(cutAfter) {
        EXPECT_TRUE(listen(QHostAddress::LocalHost));
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                auto* received = new QByteArray;
                connect(socket, &QObject::destroyed, [received] { delete received; });
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
                    *received += socket->readAll();
                    const qsizetype headEnd = received->indexOf("\r\n\r\n");
                    if (headEnd < 0)
                        return;
                    const QByteArray head = received->left(headEnd).toLower();
                    const qsizetype at = head.indexOf("content-length:");
                    const qint64 length =
                        at < 0 ? 0 : head.mid(at + 15).split('\r').first().trimmed().toLongLong();
                    const qint64 body = received->size() - headEnd - 4;
                    if (body >= cutAfter_ && body < length) {
                        socket->abort(); // a reset: the rest never arrives
                        socket->deleteLater();
                    } else if (body >= length) {
                        socket->disconnectFromHost();
                        socket->deleteLater();
                    }
                });
            }
        });
    }

private:
    qint64 cutAfter_;
};

} // namespace

// One rule for a request the network cuts: cut before its last byte left,
// the server cannot hold it ("Não enviado", the archive keeps no copy); left
// whole without a verdict, it may ("Sem resposta", never sent again by
// itself). The lists come before the network goes.
TEST_F(BatchQueueTest, ARequestCutBeforeItsLastByteIsNotSentAndAWholeOneWithoutReplyIsNoReply) {
    struct Case {
        const char* name;
        const Taxpayer& taxpayer;
        QByteArray bytes;
        BatchRowState state;
    };
    // Larger than what the system's buffers hold, so the cut falls mid-body.
    const Case cases[] = {
        {"cut mid-body", kTaxpayers[1], QByteArray("PK ") + QByteArray(48 << 20, 'c'),
         BatchRowState::NotSent},
        {"whole, no verdict", kTaxpayers[2], kGoodPdf, BatchRowState::NoReply},
    };
    QList<NewBatchRow> rows = {{QString::fromLatin1(kTaxpayers[0].ie), writeFile("a.zip", "PK a"),
                                SentArchive::kDeclaration, QStringLiteral("1_2025")}};
    for (const Case& c : cases)
        rows.append(
            {QString::fromLatin1(c.taxpayer.ie),
             writeFile(QString::fromLatin1(c.name).left(3) + (c.taxpayer.simples ? ".pdf" : ".zip"),
                       c.bytes),
             c.taxpayer.simples ? SentArchive::kSimples : SentArchive::kDeclaration,
             c.taxpayer.simples ? QString() : QStringLiteral("1_2025")});
    qint64 batchId = 0;
    {
        LocalDb db;
        batchId = createBatch(db, QStringLiteral("mesa-1"), clock_.now(), rows);
    }
    CuttingServer cutting(64 << 10);
    BatchQueue queue(batchId, setup());
    QObject::connect(&queue, &BatchQueue::rowFinished, [&] {
        fixture_.writeIni(QStringLiteral("127.0.0.1"), QString::number(cutting.serverPort()));
    });
    EXPECT_EQ(run(queue), QString());
    LocalDb db;
    const QList<BatchRow> stored = batchRows(db, batchId);
    ASSERT_EQ(stored.size(), 3);
    EXPECT_EQ(stored[0].state, BatchRowState::Accepted);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const BatchRow& row = stored[qsizetype(i) + 1];
        EXPECT_EQ(row.state, cases[i].state) << row.reply.toStdString();
        EXPECT_TRUE(row.requestStarted);
        for (const SentArchive::Record& r : SentArchive::list(row.ie))
            EXPECT_EQ(r.archivedFile.isEmpty(), cases[i].state == BatchRowState::NotSent);
    }
}

// The database stops answering while a row's reply is awaited: the queue
// stops and says so in Portuguese, the row stays "sending"; started again
// with the database back, the row is settled like any interrupted one, by
// the taxpayer's list, without a second upload or a second archive record.
TEST_F(BatchQueueTest, ARowLeftSendingByADatabaseFailureIsSettledWhenTheBatchStartsAgain) {
    qint64 batchId = 0;
    {
        LocalDb db;
        batchId = createBatch(db, QStringLiteral("mesa-1"), clock_.now(),
                              {{QString::fromLatin1(kTaxpayers[0].ie), writeFile("a.zip", "PK a"),
                                SentArchive::kDeclaration, QStringLiteral("1_2025,2_2025")}});
    }
    // Another connection holds the file's write lock from the last byte on.
    LocalDb locker;
    bool locked = false;
    BatchQueue queue(batchId, setup());
    QObject::connect(&queue, &BatchQueue::rowProgress, [&](qint64, int percent) {
        if (percent == 100 && !locked) {
            locked = true;
            run(locker, QStringLiteral("BEGIN EXCLUSIVE"));
        }
    });
    const QString problem = run(queue);
    ASSERT_TRUE(locked);
    EXPECT_TRUE(problem.contains(QStringLiteral("banco de dados"))) << problem.toStdString();
    run(locker, QStringLiteral("ROLLBACK"));
    EXPECT_EQ(statesOf(batchId), QList<BatchRowState>{BatchRowState::Sending});

    QObject::disconnect(&queue, &BatchQueue::rowProgress, nullptr, nullptr);
    EXPECT_EQ(run(queue), QString());
    LocalDb db;
    const BatchRow row = batchRows(db, batchId).first();
    EXPECT_EQ(row.state, BatchRowState::Accepted) << row.reply.toStdString();
    QStringList protocols;
    for (const valdoria::Transmission& t : fixture_.simulator().transmissions())
        protocols << QString::fromStdString(t.protocolo);
    EXPECT_EQ(row.protocol, protocols.join(QStringLiteral(", ")));
    EXPECT_EQ(uploadRequests().size(), 1u);
    EXPECT_EQ(SentArchive::list(row.ie).size(), 1);
}
