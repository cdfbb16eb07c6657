// The batch tables on both engines: tables an earlier version made gain the
// new columns and keep their rows, each move of a row's state is allowed
// only from the states it names, and a command line's unfinished batch is
// found by its desk and origin.
#include "store/BatchRepository.h"
#include "StoreTestSupport.h"
#include "store/LocalSchema.h"
#include "store/SendingRepository.h"

namespace {

const QDateTime kAt(QDate(2026, 12, 7), QTime(10, 0));

using BatchRepositoryTest = EngineStoreTest;

} // namespace

TEST_P(BatchRepositoryTest, TablesOfTheEarlierVersionGainTheNewColumnsAndKeepTheirRows) {
    {
        LocalDb& db = openDb();
        const bool pg = GetParam() == LocalDb::Engine::Postgresql;
        const QString key = pg ? QStringLiteral("BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY")
                               : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
        run(db, QStringLiteral("DROP TABLE batch_row"));
        run(db, QStringLiteral("DROP TABLE batch_queue"));
        // The tables as the earlier version made them.
        run(db, QStringLiteral("CREATE TABLE batch_queue (id %1, created_at TEXT NOT NULL, "
                               "desk TEXT NOT NULL)")
                    .arg(key));
        run(db, QStringLiteral("CREATE TABLE batch_row (id %1, batch_id BIGINT NOT NULL "
                               "REFERENCES batch_queue (id), seq INTEGER NOT NULL, ie TEXT NOT "
                               "NULL, file_path TEXT NOT NULL, kind TEXT NOT NULL, refs TEXT NOT "
                               "NULL, state TEXT NOT NULL, reply TEXT NOT NULL DEFAULT '', "
                               "request_started INTEGER NOT NULL DEFAULT 0, whole_request_sent "
                               "INTEGER NOT NULL DEFAULT 0, started_at TEXT, ended_at TEXT, "
                               "claimed_by TEXT)")
                    .arg(key));
        run(db, QStringLiteral("INSERT INTO batch_queue (created_at, desk) VALUES ('x', 'mesa')"));
        run(db, QStringLiteral("INSERT INTO batch_row (batch_id, seq, ie, file_path, kind, refs, "
                               "state) SELECT id, 0, '86123452', '/a.zip', 'declaracao', "
                               "'1_2026', 'accepted' FROM batch_queue"));
        // The memory of sendings as it was first made, before its outcome.
        run(db, QStringLiteral("DROP TABLE sending"));
        for (const QString& statement :
             pg ? LocalSchema::serverMigration(4) : LocalSchema::createSendingSql())
            run(db, statement);
        run(db, QStringLiteral("INSERT INTO sending (ie, kind, refs, sha256, result, started_at, "
                               "desk) VALUES ('86123452', 'declaracao', '1_2026', 'ab', 'aceito', "
                               "'2026-12-07T10:00:00.000', 'mesa')"));
        if (pg)
            run(db, QStringLiteral("UPDATE dadav_esquema SET versao = 2"));
        connections.clear();
    }
    LocalDb& db = openDb();
    // The sending kept its row, its outcome unknown until one is written.
    const QList<SendingEntry> open = openSendings(db, QDateTime());
    ASSERT_EQ(open.size(), 1);
    EXPECT_EQ(open[0].outcome, QString());
    setSendingOutcome(db, open[0].id, kOutcomeRefused, QStringLiteral("2"), QStringLiteral("texto"),
                      QStringLiteral("P1"), kAt);
    const QList<SendingEntry> refused = refusedAfterProcessing(db);
    ASSERT_EQ(refused.size(), 1);
    EXPECT_EQ(refused[0].outcomeText, QStringLiteral("texto"));
    EXPECT_EQ(refused[0].outcomeAt, kAt);
    EXPECT_TRUE(openSendings(db, QDateTime()).isEmpty());
    const QList<qint64> batches = batchesOf(db, QStringLiteral("mesa"));
    ASSERT_EQ(batches.size(), 1);
    const QList<BatchRow> rows = batchRows(db, batches[0]);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].state, BatchRowState::Accepted);
    EXPECT_FALSE(rows[0].sendAgain);
    EXPECT_EQ(rows[0].protocol, QString());
    // A window's batch (no origin) whose list was not asked is still open.
    EXPECT_EQ(unfinishedBatch(db, QStringLiteral("mesa"), QString()), batches[0]);
    EXPECT_TRUE(setProtocol(db, rows[0].id, QStringLiteral("20261207000001")));
    EXPECT_EQ(batchRows(db, batches[0])[0].protocol, QStringLiteral("20261207000001"));
    EXPECT_EQ(unfinishedBatch(db, QStringLiteral("mesa"), QString()), std::nullopt);
}

TEST_P(BatchRepositoryTest, EachMoveIsMadeOnlyFromTheStatesItNames) {
    using S = BatchRowState;
    const S all[] = {S::Queued,  S::Sending, S::Accepted,  S::Refused,
                     S::NoReply, S::NotSent, S::Cancelled, S::NotListed};
    struct Move {
        const char* name;
        std::function<bool(LocalDb&, qint64)> apply;
        QList<S> from;
        S to;
    };
    const Move moves[] = {
        {"requeue",
         [](LocalDb& db, qint64 id) { return requeueRow(db, id, true); },
         {S::NotListed, S::NotSent, S::Cancelled},
         S::Queued},
        {"settle as accepted",
         [](LocalDb& db, qint64 id) {
             return settleNoReply(db, id, S::Accepted, QStringLiteral("consta"),
                                  QStringLiteral("123"), kAt);
         },
         {S::NoReply},
         S::Accepted},
        {"settle as not listed",
         [](LocalDb& db, qint64 id) {
             return settleNoReply(db, id, S::NotListed, QStringLiteral("não consta"), {}, kAt);
         },
         {S::NoReply},
         S::NotListed},
        {"settle as sent again",
         [](LocalDb& db, qint64 id) { return settleNoReply(db, id, S::Queued, {}, {}, kAt); },
         {},
         S::Queued},
        {"protocol",
         [](LocalDb& db, qint64 id) { return setProtocol(db, id, QStringLiteral("1")); },
         {S::Accepted},
         S::Accepted},
    };
    LocalDb& db = openDb();
    for (const Move& move : moves) {
        for (const S state : all) {
            SCOPED_TRACE(std::string(move.name) + " from " +
                         batchRowStateCode(state).toStdString());
            const qint64 batch =
                createBatch(db, QStringLiteral("mesa"), kAt,
                            {{QStringLiteral("1"), QStringLiteral("/a.zip"),
                              QStringLiteral("declaracao"), QStringLiteral("1_2026")}});
            const qint64 id = batchRows(db, batch)[0].id;
            run(db, QStringLiteral("UPDATE batch_row SET state = '%1', request_started = 1 "
                                   "WHERE id = %2")
                        .arg(batchRowStateCode(state))
                        .arg(id));
            const bool allowed = move.from.contains(state);
            EXPECT_EQ(move.apply(db, id), allowed);
            const BatchRow row = batchRows(db, batch)[0];
            EXPECT_EQ(row.state, allowed ? move.to : state);
            if (allowed && move.to == S::Queued) {
                EXPECT_TRUE(row.sendAgain);
                EXPECT_FALSE(row.requestStarted) << "a queued row starts afresh";
            }
        }
    }
}

TEST_P(BatchRepositoryTest, AnUnfinishedBatchIsFoundByItsDeskAndOrigin) {
    LocalDb& db = openDb();
    const QList<NewBatchRow> rows = {{QStringLiteral("1"), QStringLiteral("/a.zip"),
                                      QStringLiteral("declaracao"), QStringLiteral("1_2026")}};
    const QString csv = QStringLiteral("/lotes/dezembro.csv abc");
    const qint64 older = createBatch(db, QStringLiteral("mesa-1"), kAt, rows, csv);
    const qint64 newer = createBatch(db, QStringLiteral("mesa-1"), kAt, rows, csv);
    createBatch(db, QStringLiteral("mesa-2"), kAt, rows, csv);
    createBatch(db, QStringLiteral("mesa-1"), kAt, rows, QStringLiteral("outro.csv"));
    EXPECT_EQ(unfinishedBatch(db, QStringLiteral("mesa-1"), csv), newer);
    // Sent whole: the older one, still queued, is the one left.
    const std::optional<BatchRow> claimed = claimNextRow(db, newer, QStringLiteral("mesa-1"), kAt);
    ASSERT_TRUE(claimed);
    EXPECT_EQ(unfinishedBatch(db, QStringLiteral("mesa-1"), csv), newer) << "a row is sending";
    ASSERT_TRUE(finishRow(db, claimed->id, BatchRowState::Accepted, {}, kAt));
    EXPECT_EQ(unfinishedBatch(db, QStringLiteral("mesa-1"), csv), newer) << "its list not asked";
    ASSERT_TRUE(setProtocol(db, claimed->id, QStringLiteral("Verificando")));
    EXPECT_EQ(unfinishedBatch(db, QStringLiteral("mesa-1"), csv), older);
    EXPECT_EQ(unfinishedBatch(db, QStringLiteral("mesa-3"), csv), std::nullopt);
}

DADAV_ON_BOTH_ENGINES(BatchRepositoryTest);
