// The follow-up of sendings: which outcome a list answer settles for each
// open sending (a table), the schedule's intervals, and rounds against the
// simulator after a batch sent through it, one file refused after
// processing, one taxpayer whose key the server refuses, one entry of
// another desk the server never received.
#include "followup/FollowUpDecision.h"
#include "followup/FollowUpSchedule.h"
#include "followup/SendingFollowUp.h"

#include "archive/SentArchive.h"
#include "batch/BatchQueue.h"
#include "store/BatchRepository.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "store/SendingRepository.h"
#include "support/FixedClock.h"
#include "support/SimulatorFixture.h"
#include "support/WaitFor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {

const QDateTime kNow{QDate(2026, 12, 7), QTime(10, 0)};

QStringList listRow(const QString& ref, const QString& at, const QString& protocol,
                    const QString& status) {
    return {ref, at, protocol, status, QStringLiteral("1,00")};
}

SendingEntry entry(qint64 id, const QString& refs, const QString& result,
                   const QString& outcome = {}, const QString& protocols = {}) {
    SendingEntry e;
    e.id = id;
    e.ie = QStringLiteral("86123452");
    e.references = refs;
    e.result = result;
    e.wholeRequestSent = result != SentArchive::kNoReply || outcome != QStringLiteral("-");
    e.outcome = outcome == QStringLiteral("-") ? QString() : outcome;
    e.outcomeProtocols = protocols;
    e.startedAt = kNow.addSecs(-600);
    return e;
}

TEST(FollowUpDecision, SettlesEachOpenSendingFromItsListEntries) {
    const QString at = QStringLiteral("07/12/2026 09:55:00");
    const QString before = QStringLiteral("07/12/2026 09:00:00");
    const QString refusedText = QStringLiteral("Declaração recusada: valor inconsistente");
    struct Case {
        const char* what;
        QList<QStringList> rows;
        QStringList messages;
        QList<SendingEntry> entries;
        // Expected outcome of entry 1: empty outcome = not settled.
        QString outcome, status, text, protocols;
    };
    const Case cases[] = {
        {"processed month",
         {listRow("01/2026", at, "P1", "3")},
         {{}},
         {entry(1, "1_2026", SentArchive::kAccepted)},
         kOutcomeProcessed,
         {},
         {},
         "P1"},
        {"refused after processing, with the server's text",
         {listRow("01/2026", at, "P1", "2")},
         {refusedText},
         {entry(1, "1_2026", SentArchive::kAccepted)},
         kOutcomeRefused,
         "2",
         refusedText,
         "P1"},
        {"one month refused of two: the sending is refused",
         {listRow("02/2026", at, "P2", "3"), listRow("01/2026", at, "P1", "4")},
         {{}, {}},
         {entry(1, "1_2026,2_2026", SentArchive::kAccepted)},
         kOutcomeRefused,
         "4",
         {},
         "P1, P2"},
        {"still being processed",
         {listRow("Verificando", at, "", "1")},
         {{}},
         {entry(1, "1_2026", SentArchive::kAccepted)},
         {},
         {},
         {},
         {}},
        {"an entry dated before the sending started is another sending's",
         {listRow("01/2026", before, "P0", "2")},
         {{}},
         {entry(1, "1_2026", SentArchive::kAccepted)},
         {},
         {},
         {},
         {}},
        {"no reply, whole request sent: its entry settles it",
         {listRow("01/2026", at, "P1", "3")},
         {{}},
         {entry(1, "1_2026", SentArchive::kNoReply)},
         kOutcomeProcessed,
         {},
         {},
         "P1"},
        {"no reply before the whole request left: never followed",
         {listRow("01/2026", at, "P1", "3")},
         {{}},
         {entry(1, "1_2026", SentArchive::kNoReply, "-")},
         {},
         {},
         {},
         {}},
        {"another sending of the month under way now: unsure, left open",
         {listRow("01/2026", at, "P1", "3")},
         {{}},
         {entry(1, "1_2026", SentArchive::kNoReply), entry(2, "1_2026", kSendingInProgress)},
         {},
         {},
         {},
         {}},
        {"a protocol an earlier settled sending owns is not taken again",
         {listRow("01/2026", at, "P2", "2"), listRow("01/2026", at, "P1", "3")},
         {QStringLiteral("recusado"), {}},
         {entry(1, "1_2026", SentArchive::kAccepted),
          entry(2, "1_2026", SentArchive::kAccepted, kOutcomeProcessed, "P1")},
         kOutcomeRefused,
         "2",
         "recusado",
         "P2"},
        {"a sending the server refused on receipt is not followed",
         {listRow("01/2026", at, "P1", "3")},
         {{}},
         {entry(1, "1_2026", SentArchive::kRefused)},
         {},
         {},
         {},
         {}},
    };
    for (const Case& c : cases) {
        TaxpayerList::Facts facts;
        facts.kind = History::ListAnswerKind::Transmissions;
        facts.dataServidor = kNow;
        facts.rows = c.rows;
        facts.messages = c.messages;
        const QHash<qint64, FollowUp::Outcome> got = FollowUp::decide(facts, c.entries, kNow);
        EXPECT_FALSE(got.contains(2)) << c.what << ": only open entries are settled";
        if (c.outcome.isEmpty()) {
            EXPECT_FALSE(got.contains(1)) << c.what;
            continue;
        }
        ASSERT_TRUE(got.contains(1)) << c.what;
        const FollowUp::Outcome& o = got[1];
        EXPECT_EQ(o.outcome, c.outcome) << c.what;
        EXPECT_EQ(o.status, c.status) << c.what;
        EXPECT_EQ(o.text, c.text) << c.what;
        EXPECT_EQ(o.protocols.join(QStringLiteral(", ")), c.protocols) << c.what;
    }
    TaxpayerList::Facts refusedKey;
    refusedKey.kind = History::ListAnswerKind::InvalidKey;
    EXPECT_TRUE(
        FollowUp::decide(refusedKey, {entry(1, "1_2026", SentArchive::kAccepted)}, kNow).isEmpty());
}

TEST(FollowUpSchedule, IntervalsGrowToHourly) {
    const int expected[] = {2, 5, 15, 30, 60, 60, 60};
    for (int round = 1; round <= 7; ++round)
        EXPECT_EQ(FollowUpSchedule::intervalBefore(round).count(), expected[round - 1]) << round;
    // The timer follows the schedule through its minute: a test's minute
    // is a millisecond.
    FollowUpTimer timer(std::chrono::milliseconds(1));
    int due = 0;
    QObject::connect(&timer, &FollowUpTimer::due, [&] { ++due; });
    timer.start();
    EXPECT_EQ(due, 0) << "due() comes from the event loop";
    EXPECT_TRUE(dadav::test::waitFor([&] { return due >= 3; }, 60000));
    timer.stop();
    EXPECT_EQ(timer.rounds(), due);
}

class SendingFollowUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        fixture_.useAsApplicationFolder();
        LocalDb db;
        ContadorRow accountant;
        accountant.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
        replaceContador(db, accountant);
        for (const auto& [ie, key] :
             {std::pair{"86123452", "Z3P8W1RT"}, std::pair{"87206416", "H5N4C6DB"},
              std::pair{"11111111", "ERRADA00"}})
            insertContribuinte(db, {QString::fromLatin1(ie), QStringLiteral("Empresa"), QString(),
                                    QString(), QString::fromLatin1(key), QString(), false});
    }

    static valdoria::SimulatorOptions serverOptions() {
        valdoria::SimulatorOptions options;
        options.years = "2025/2026";
        options.clock = [] {
            return std::chrono::system_clock::from_time_t(kNow.toSecsSinceEpoch());
        };
        return options;
    }

    QString writeFile(const QString& name) {
        const QString path = QDir(files_.path()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("declaracao " + name.toUtf8());
        return path;
    }

    struct Round {
        int asked = -1, failed = -1;
        QString problem;
        QList<SendingEntry> refused;
    };
    Round runRound(SendingFollowUp& followUp) {
        Round round;
        bool done = false;
        const auto a = QObject::connect(&followUp, &SendingFollowUp::outcomesWritten,
                                        [&](const QList<SendingEntry>& r) { round.refused << r; });
        const auto b = QObject::connect(&followUp, &SendingFollowUp::finished,
                                        [&](int asked, int failed, const QString& problem) {
                                            round = {asked, failed, problem, round.refused};
                                            done = true;
                                        });
        followUp.run();
        EXPECT_FALSE(done) << "finished comes from the event loop";
        EXPECT_TRUE(dadav::test::waitFor([&] { return done; }, 120000));
        QObject::disconnect(a);
        QObject::disconnect(b);
        return round;
    }

    dadav::test::SimulatorFixture fixture_{serverOptions()};
    FixedClock clock_{kNow};
    QTemporaryDir files_;
};

TEST_F(SendingFollowUpTest, OutcomesOfEveryDeskAreStoredAndNothingIsSent) {
    qint64 batchId = 0;
    {
        LocalDb db;
        batchId =
            createBatch(db, QStringLiteral("mesa-1"), kNow,
                        {{QStringLiteral("86123452"), writeFile(QStringLiteral("a.zip")),
                          SentArchive::kDeclaration, QStringLiteral("1_2026")},
                         {QStringLiteral("87206416"), writeFile(QStringLiteral("Recusar-b.zip")),
                          SentArchive::kDeclaration, QStringLiteral("2_2026,3_2026")}});
        // Another desk's sendings: one the server never received, one of a
        // taxpayer whose key the server does not know.
        for (const char* ie : {"86123452", "11111111"}) {
            SendingEntry e;
            e.ie = QString::fromLatin1(ie);
            e.kind = SentArchive::kDeclaration;
            e.references = QStringLiteral("5_2026");
            e.sha256 = QStringLiteral("00");
            e.result = SentArchive::kAccepted;
            e.wholeRequestSent = true;
            e.startedAt = e.endedAt = kNow;
            e.desk = QStringLiteral("mesa-2");
            insertSending(db, e);
        }
    }
    {
        BatchQueue::Setup setup;
        setup.desk = QStringLiteral("mesa-1");
        setup.clock = &clock_;
        setup.retryDelay = std::chrono::milliseconds(0);
        BatchQueue queue(batchId, setup);
        std::optional<QString> problem;
        QObject::connect(&queue, &BatchQueue::finished, [&](const QString& p) { problem = p; });
        queue.start();
        ASSERT_TRUE(dadav::test::waitFor([&] { return problem.has_value(); }, 120000));
        ASSERT_EQ(*problem, QString());
    }
    const std::size_t uploads = fixture_.simulator().uploads().size();
    ASSERT_EQ(uploads, 2u) << [&] {
        LocalDb db;
        QString replies;
        for (const BatchRow& r : batchRows(db, batchId))
            replies += r.reply + QLatin1Char('|');
        return replies.toStdString();
    }();

    SendingFollowUp followUp({&clock_, nullptr, {}, SoapBatch::kDefaultDeadline});
    const Round first = runRound(followUp);
    EXPECT_EQ(first.asked, 3) << "one call per taxpayer with open sendings";
    EXPECT_EQ(first.failed, 1) << "the key the server refuses";
    EXPECT_EQ(first.problem, QString());
    ASSERT_EQ(first.refused.size(), 1);
    EXPECT_EQ(first.refused[0].ie, QStringLiteral("87206416"));

    std::map<std::string, QStringList> protocols;
    for (const valdoria::Transmission& t : fixture_.simulator().transmissions())
        protocols[t.ie].prepend(QString::fromStdString(t.protocolo));
    LocalDb db;
    const QList<SendingEntry> a =
        sendingsFor(db, QStringLiteral("86123452"), QStringLiteral("1_2026"));
    ASSERT_EQ(a.size(), 1);
    EXPECT_EQ(a[0].outcome, kOutcomeProcessed);
    EXPECT_EQ(a[0].outcomeProtocols, protocols["86123452"].join(QStringLiteral(", ")));
    EXPECT_EQ(a[0].outcomeAt, kNow);
    const QList<SendingEntry> refused = refusedAfterProcessing(db);
    ASSERT_EQ(refused.size(), 1);
    EXPECT_EQ(refused[0].references, QStringLiteral("2_2026,3_2026"));
    EXPECT_EQ(refused[0].outcomeStatus, QStringLiteral("2"));
    EXPECT_EQ(
        refused[0].outcomeText,
        QStringLiteral("Declaração recusada no processamento: valor adicionado inconsistente"));
    EXPECT_EQ(refused[0].outcomeProtocols.split(QStringLiteral(", ")).size(), 2);
    // What stays open: the other desk's two entries.
    EXPECT_EQ(openSendings(db, kNow.addDays(-1)).size(), 2);

    // The next round asks only for what is still open, and sends nothing.
    const Round second = runRound(followUp);
    EXPECT_EQ(second.asked, 2);
    EXPECT_TRUE(second.refused.isEmpty()) << "a refusal is told once";
    EXPECT_EQ(fixture_.simulator().uploads().size(), uploads);
}

} // namespace
