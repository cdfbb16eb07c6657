// The batch queue against the simulator: every row ends in its state, each
// upload is the request the single-company windows send for the same file,
// and a queue resumed after a crash sends nothing twice.
#include "batch/BatchQueue.h"

#include "archive/SentArchive.h"
#include "net/UploadRequest.h"
#include "net/url_helper.h"
#include "store/BatchRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "support/FixedClock.h"
#include "support/SimulatorFixture.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>

namespace {

const QString kAccountant = QStringLiteral("12345678909");

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
        s.accountantDocument = kAccountant;
        s.desk = QStringLiteral("mesa-1");
        s.clock = &clock_;
        return s;
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

    dadav::test::SimulatorFixture fixture_;
    // Every date of the batch, its rows and its archive records.
    mutable FixedClock clock_{QDateTime(QDate(2026, 12, 7), QTime(10, 0))};
    QTemporaryDir files_;
};

TEST_F(BatchQueueTest, EveryRowEndsInItsStateAndEachUploadIsTheSingleCompanyRequest) {
    struct Case {
        Taxpayer taxpayer;
        QString file; // empty: a file that does not exist
        QByteArray bytes;
        QString refs;
        BatchRowState state;
        QString archived; // the archive's result, empty when nothing is recorded
    };
    const Case cases[] = {
        {kTaxpayers[0], QStringLiteral("BACKUP JAN.zip"), QByteArray("PK\3\4 janeiro\r\n\0x", 16),
         QStringLiteral("1_2026,2_2026"), BatchRowState::Accepted, SentArchive::kAccepted},
        {kTaxpayers[2], QStringLiteral("PGDAS-1.pdf"), kGoodPdf, QString(), BatchRowState::Accepted,
         SentArchive::kAccepted},
        {kTaxpayers[1], QStringLiteral("backup.ZIP"), QByteArray("PK\3\4 fevereiro"),
         QStringLiteral("2_2026"), BatchRowState::Accepted, SentArchive::kAccepted},
        // Not an extract: the server's Simples marker refuses it.
        {kTaxpayers[2], QStringLiteral("outro.pdf"), QByteArray("%PDF-1.4\nnada\n%%EOF\n"),
         QString(), BatchRowState::Refused, SentArchive::kRefused},
        {kTaxpayers[1], QString(), {}, QStringLiteral("3_2026"), BatchRowState::NotSent, {}},
    };
    QList<NewBatchRow> rows;
    for (const Case& c : cases) {
        const QString path = c.file.isEmpty() ? QDir(files_.path()).filePath("sumiu.zip")
                                              : writeFile(c.file, c.bytes);
        rows.append({QString::fromLatin1(c.taxpayer.ie), path,
                     c.taxpayer.simples ? SentArchive::kSimples : SentArchive::kDeclaration,
                     c.refs});
    }
    qint64 batchId = 0;
    {
        LocalDb db;
        batchId = createBatch(db, QStringLiteral("mesa-1"), clock_.now(), rows);
    }

    BatchQueue queue(batchId, setup());
    EXPECT_EQ(run(queue), QString());

    LocalDb db;
    const QList<BatchRow> stored = batchRows(db, batchId);
    ASSERT_EQ(stored.size(), std::size(cases));
    const std::vector<std::string> raw = fixture_.simulator().rawRequests();
    ASSERT_EQ(raw.size(), 4u) << "one upload per row with a file, nothing else";
    size_t sent = 0;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.file.toStdString());
        EXPECT_EQ(stored[i].state, c.state) << stored[i].reply.toStdString();
        if (c.file.isEmpty()) {
            EXPECT_TRUE(stored[i].reply.contains(QStringLiteral("não encontrado")));
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
        const bool recorded =
            std::any_of(records.begin(), records.end(), [&](const SentArchive::Record& r) {
                return r.fileName == c.file && r.result == c.archived;
            });
        EXPECT_TRUE(recorded) << "no archive record " << c.archived.toStdString();
    }
    EXPECT_TRUE(stored[3].reply.contains(QStringLiteral("Recibo")))
        << stored[3].reply.toStdString();
}

// A sender stopped while rows were "sending": the row whose request had
// started (and reached the server) is left for the user to verify, the row
// whose request never started goes back to the queue, and the resumed queue
// sends every other row once.
TEST_F(BatchQueueTest, ResumeAfterACrashSendsNothingTwice) {
    const QList<NewBatchRow> rows = {
        {QString::fromLatin1(kTaxpayers[0].ie), writeFile("a.zip", "PK a"),
         SentArchive::kDeclaration, QStringLiteral("1_2026")},
        {QString::fromLatin1(kTaxpayers[1].ie), writeFile("b.zip", "PK b"),
         SentArchive::kDeclaration, QStringLiteral("1_2026")},
        {QString::fromLatin1(kTaxpayers[2].ie), writeFile("PGDAS.pdf", kGoodPdf),
         SentArchive::kSimples, QString()},
    };
    qint64 batchId = 0;
    {
        LocalDb db;
        batchId = createBatch(db, QStringLiteral("mesa-1"), clock_.now(), rows);
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
        ASSERT_TRUE(upload.start(url_helper::ExtractUrl(address(kTaxpayers[0], "1_2026")),
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
    ASSERT_EQ(stored.size(), 3);
    EXPECT_EQ(stored[0].state, BatchRowState::NoReply);
    EXPECT_EQ(stored[0].reply, BatchQueue::noReplyText());
    EXPECT_EQ(stored[1].state, BatchRowState::Accepted);
    EXPECT_EQ(stored[2].state, BatchRowState::Accepted);
}

} // namespace
