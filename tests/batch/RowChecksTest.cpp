// The checks of a batch row before sending: one table of rows, each with the
// problems it must show (codes and the texts a user reads), on a temporary
// application folder with its SQLite file and archive.
#include "batch/RowChecks.h"
#include "archive/SentArchive.h"
#include "sendings/SendingRule.h"
#include "store/BatchRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "store/SendingRepository.h"
#include "support/AppFolderTest.h"

#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <optional>

namespace {

using RowChecks::Problem;

const QByteArray kZip("PK\3\4 janeiro");

class RowChecksTest : public AppFolderTest {
protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        LocalDb db;
        const auto add = [&](const char* ie, const char* key, std::optional<bool> simples) {
            insertContribuinte(db, {QString::fromLatin1(ie), QStringLiteral("Empresa"), QString(),
                                    QString(), QString::fromLatin1(key), QString(), simples});
        };
        add("86123452", "Z3P8W1RT", false);
        add("78045302", "A7K2M9QX", true);
        add("87206416", "", false);
        add("11111111", "H5N4C6DB", std::nullopt);
    }

    QString file(const QString& name, const QByteArray& bytes = kZip) {
        const QString path = QDir(dir.path()).filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    // A list answered on 7 December 2026 for the working years 2025/2026.
    static TaxpayerList::Facts list(History::ListAnswerKind kind) {
        TaxpayerList::Facts facts;
        facts.kind = kind;
        if (kind == History::ListAnswerKind::Transmissions) {
            facts.anoTrabalho = QStringLiteral("2025/2026");
            facts.dataServidor = QDateTime(QDate(2026, 12, 7), QTime(10, 0));
        }
        return facts;
    }
};

TEST_F(RowChecksTest, EachRowShowsItsProblemsWithTheirReasons) {
    // In the memory every desk shares: another desk's accepted sending of the
    // same bytes for 03/2026; a row of another desk's batch queued for
    // 05/2026 (another file); and its row sending the same bytes for 06/2026.
    const QString other = QStringLiteral("contabil@estacao2");
    const QString sent = file(QStringLiteral("enviado.zip"), "PK\3\4 ja enviado");
    SendingEntry earlier;
    earlier.ie = QStringLiteral("86123452");
    earlier.kind = SentArchive::kDeclaration;
    earlier.references = QStringLiteral("3_2026");
    earlier.sha256 = SentArchive::digestFile(sent)->sha256;
    earlier.result = SentArchive::kAccepted;
    earlier.startedAt = QDateTime(QDate(2026, 4, 2), QTime(9, 29));
    earlier.endedAt = QDateTime(QDate(2026, 4, 2), QTime(9, 30));
    earlier.desk = other;
    {
        LocalDb db;
        insertSending(db, earlier);
        const QDateTime made(QDate(2026, 12, 7), QTime(8, 15));
        const QString elsewhere = QStringLiteral("/outra/estacao/");
        const qint64 batch = createBatch(db, other, made,
                                         {{earlier.ie, elsewhere + QStringLiteral("sendo.zip"),
                                           earlier.kind, QStringLiteral("6_2026")},
                                          {earlier.ie, elsewhere + QStringLiteral("fila.zip"),
                                           earlier.kind, QStringLiteral("5_2026")}});
        const std::optional<BatchRow> claimed = claimNextRow(db, batch, other + " #7", made);
        ASSERT_TRUE(claimed);
        SendingEntry sending = earlier;
        sending.references = claimed->references;
        sending.result = kSendingInProgress;
        sending.endedAt = {};
        sending.batchRowId = claimed->id;
        insertSending(db, sending);
    }

    using K = History::ListAnswerKind;
    struct Case {
        const char* name;
        const char* ie;
        QString path;
        const char* references;
        std::optional<K> list;
        bool sendAgain;
        QList<Problem> problems;
        const char* kind;     // expected kind
        const char* sentRefs; // months as sent
        const char* textPart; // a piece of the texts, when problems
    };
    const QString zip = file(QStringLiteral("BACKUP.ZIP"));
    const QString pdf = file(QStringLiteral("extrato.pdf"), "%PDF-1.4");
    // Names that are not regular files: opening the first two would block
    // or never end.
    const QString fifo = QDir(dir.path()).filePath(QStringLiteral("fila.zip"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = QDir(dir.path()).filePath(QStringLiteral("zero.zip"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    const QString folder = QDir(dir.path()).filePath(QStringLiteral("pasta.zip"));
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QString& path : {fifo, zero, folder}) {
        QString why;
        EXPECT_FALSE(SentArchive::digestFile(path, &why)) << path.toStdString();
        EXPECT_EQ(why, SentArchive::notRegularText());
    }
    const auto notRegular = [](const char* name, const QString& path) {
        return Case{name,
                    "86123452",
                    path,
                    "01/2026",
                    std::nullopt,
                    false,
                    {Problem::FileUnreadable},
                    "declaracao",
                    "1_2026",
                    "não é um arquivo comum"};
    };
    const Case cases[] = {
        notRegular("a FIFO", fifo),
        notRegular("a device", zero),
        notRegular("a folder", folder),
        {"declaration ready",
         "86123452",
         zip,
         "02/2026 01/2026 1_2026",
         K::Transmissions,
         false,
         {},
         "declaracao",
         "1_2026,2_2026",
         ""},
        {"extract ready", "78045302", pdf, "", K::Transmissions, false, {}, "simples", "", ""},
        {"ready without asking the list",
         "86123452",
         zip,
         "11/2026",
         std::nullopt,
         false,
         {},
         "declaracao",
         "11_2026",
         ""},
        {"zip to a Simples opter",
         "78045302",
         zip,
         "",
         K::Transmissions,
         false,
         {Problem::WrongKind},
         "simples",
         "",
         "é optante do Simples Nacional: envie o extrato"},
        {"pdf to a taxpayer outside the Simples",
         "86123452",
         pdf,
         "01/2026",
         K::Transmissions,
         false,
         {Problem::WrongKind},
         "declaracao",
         "1_2026",
         "não é optante"},
        {"option unknown goes as the Simples window",
         "11111111",
         zip,
         "",
         std::nullopt,
         false,
         {Problem::WrongKind},
         "simples",
         "",
         "envie o extrato em arquivo .PDF"},
        {"missing file",
         "86123452",
         QStringLiteral("/nao/existe.zip"),
         "01/2026",
         std::nullopt,
         false,
         {Problem::FileUnreadable},
         "declaracao",
         "1_2026",
         "Arquivo não encontrado"},
        {"not registered",
         "99999999",
         zip,
         "01/2026",
         std::nullopt,
         false,
         {Problem::NotRegistered},
         "",
         "",
         "não cadastrado"},
        {"without key",
         "87206416",
         zip,
         "01/2026",
         std::nullopt,
         false,
         {Problem::NoKey},
         "declaracao",
         "1_2026",
         "sem chave de acesso"},
        {"invalid key",
         "86123452",
         zip,
         "01/2026",
         K::InvalidKey,
         false,
         {Problem::InvalidKey},
         "declaracao",
         "1_2026",
         "Chave inválida"},
        {"blocked",
         "86123452",
         zip,
         "01/2026",
         K::AccessDenied,
         false,
         {Problem::AccessDenied},
         "declaracao",
         "1_2026",
         "Acesso não autorizado"},
        {"current month and a year outside",
         "86123452",
         zip,
         "12/2026 05/2024 11/2026",
         K::Transmissions,
         false,
         {Problem::OutsideWorkingYears},
         "declaracao",
         "5_2024,11_2026,12_2026",
         "(2025/2026): 05/2024, 12/2026."},
        {"unreadable month",
         "86123452",
         zip,
         "13/2026",
         K::Transmissions,
         false,
         {Problem::BadReference},
         "declaracao",
         "",
         "\"13/2026\""},
        {"no months",
         "86123452",
         zip,
         " ",
         K::Transmissions,
         false,
         {Problem::NoReferences},
         "declaracao",
         "",
         "Nenhuma referência"},
        {"months for an extract",
         "78045302",
         pdf,
         "01/2026",
         K::Transmissions,
         false,
         {Problem::ReferencesForSimples},
         "simples",
         "",
         "sem referências"},
        {"already sent by another desk",
         "86123452",
         sent,
         "03/2026",
         K::Transmissions,
         false,
         {Problem::AlreadySent},
         "declaracao",
         "3_2026",
         "Este arquivo já foi enviado pela estação contabil@estacao2 em 02/04/2026 09:30. "
         "Marque a linha"},
        {"another file queued by another desk",
         "86123452",
         zip,
         "05/2026",
         K::Transmissions,
         false,
         {Problem::AnotherSending},
         "declaracao",
         "5_2026",
         "na fila da estação contabil@estacao2 (lote de 07/12/2026 08:15)"},
        {"another file queued by another desk, ticked",
         "86123452",
         zip,
         "05/2026",
         K::Transmissions,
         true,
         {},
         "declaracao",
         "5_2026",
         ""},
        {"another file while another desk sends its own",
         "86123452",
         zip,
         "06/2026",
         K::Transmissions,
         false,
         {Problem::AnotherSending},
         "declaracao",
         "6_2026",
         "sendo enviado pela estação contabil@estacao2"},
        {"the same bytes another desk is sending, even ticked",
         "86123452",
         sent,
         "06/2026",
         K::Transmissions,
         true,
         {Problem::AlreadySent},
         "declaracao",
         "6_2026",
         "está sendo enviado pela estação contabil@estacao2 desde 02/04/2026 09:29"},
        {"already sent, other months",
         "86123452",
         sent,
         "04/2026",
         K::Transmissions,
         false,
         {},
         "declaracao",
         "4_2026",
         ""},
        {"already sent, ticked again",
         "86123452",
         sent,
         "03/2026",
         K::Transmissions,
         true,
         {},
         "declaracao",
         "3_2026",
         ""},
        {"several at once, in a fixed order",
         "78045302",
         QStringLiteral("/nao/existe.zip"),
         "01/2026",
         K::InvalidKey,
         false,
         {Problem::FileUnreadable, Problem::WrongKind, Problem::InvalidKey,
          Problem::ReferencesForSimples},
         "simples",
         "",
         "Arquivo não encontrado"},
    };
    LocalDb db;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<TaxpayerList::Facts> facts =
            c.list ? std::optional(list(*c.list)) : std::nullopt;
        const RowChecks::Result r = RowChecks::check(
            db, {QString::fromLatin1(c.ie), c.path, QString::fromUtf8(c.references), c.sendAgain},
            facts);
        QList<Problem> got;
        for (const RowChecks::Finding& f : r.problems)
            got << f.problem;
        EXPECT_EQ(got, c.problems) << r.text().toStdString();
        EXPECT_EQ(r.ready(), c.problems.isEmpty());
        EXPECT_EQ(r.kind, QString::fromLatin1(c.kind));
        EXPECT_EQ(r.references, QString::fromLatin1(c.sentRefs));
        EXPECT_TRUE(r.text().contains(QString::fromUtf8(c.textPart))) << r.text().toStdString();
    }
}

// The batch made from checked rows holds the ready ones, as the checks
// settled them, with the tick that lets a duplicate go.
TEST_F(RowChecksTest, ABatchIsMadeOfTheReadyRows) {
    const QList<RowChecks::Input> inputs = {
        {QStringLiteral("86123452"), file(QStringLiteral("a.zip")), QStringLiteral("01/2026"),
         true},
        {QStringLiteral("99999999"), file(QStringLiteral("b.zip")), QStringLiteral("01/2026")},
        {QStringLiteral("78045302"), file(QStringLiteral("c.pdf"), "%PDF"), QString()},
    };
    LocalDb db;
    QList<RowChecks::Result> results;
    for (const RowChecks::Input& input : inputs)
        results << RowChecks::check(db, input, std::nullopt);
    const qint64 id =
        createBatch(db, QStringLiteral("mesa"), QDateTime(QDate(2026, 12, 7), QTime(10, 0)),
                    RowChecks::batchRows(inputs, results));
    const QList<BatchRow> rows = batchRows(db, id);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].ie, QStringLiteral("86123452"));
    EXPECT_EQ(rows[0].references, QStringLiteral("1_2026"));
    EXPECT_TRUE(rows[0].sendAgain);
    EXPECT_EQ(rows[1].kind, SentArchive::kSimples);
    EXPECT_FALSE(rows[1].sendAgain);
}

// Two desks that checked the same extract at once (both ready: the memory
// was empty) decide it one after the other just before the upload: the
// first goes, the second is held back while the first is being sent and
// after it was accepted.
TEST_F(RowChecksTest, TwoDesksDecidingTheSameFileNeverBothSendIt) {
    LocalDb db;
    const QString pdf = file(QStringLiteral("extrato.pdf"), "%PDF-1.4 maio");
    const QDateTime at(QDate(2026, 12, 7), QTime(10, 0));
    QList<RowChecks::Input> inputs;
    QList<RowChecks::Result> results;
    const QString desks[] = {QStringLiteral("mesa1@a"), QStringLiteral("mesa2@b")};
    for (const QString& desk : desks) {
        RowChecks::Input input{QStringLiteral("78045302"), pdf, QString()};
        const qint64 batch =
            createBatch(db, desk, at, {{input.ie, pdf, SentArchive::kSimples, QString()}});
        input.batchId = batch;
        input.batchRowId = claimNextRow(db, batch, desk, at)->id;
        inputs << input;
        results << RowChecks::check(db, input, std::nullopt);
        ASSERT_TRUE(results.last().ready()) << results.last().text().toStdString();
    }
    EXPECT_EQ(RowChecks::beginSending(db, inputs[0], results[0], desks[0], desks[0] + " #1", at),
              QString());
    EXPECT_TRUE(RowChecks::beginSending(db, inputs[1], results[1], desks[1], desks[1] + " #2", at)
                    .startsWith(QStringLiteral("Este arquivo está sendo enviado pela estação "
                                               "mesa1@a desde 07/12/2026 10:00.")));
    SentArchive::ArchivedSending sent = *results[0].sending;
    sent.requestStarted();
    sent.wholeRequestSent();
    SendingRule::finishRow(db, inputs[0].batchRowId, sent, SentArchive::kAccepted,
                           QStringLiteral("ok"), at.addSecs(90));
    EXPECT_TRUE(RowChecks::beginSending(db, inputs[1], results[1], desks[1], desks[1] + " #2", at)
                    .startsWith(QStringLiteral("Este arquivo já foi enviado pela estação mesa1@a "
                                               "em 07/12/2026 10:01.")));
}

// A window's sending still under way holds the same bytes back as being
// sent; one left so for hours was cut off by the end of its program and
// counts as sent without a reply. Both are judged by the program's clock.
TEST_F(RowChecksTest, AWindowsSendingLeftUnderWayIsJudgedByTheProgramsClock) {
    LocalDb db;
    const QString zip = file(QStringLiteral("janela.zip"), "PK\3\4 da janela");
    SendingEntry window;
    window.ie = QStringLiteral("86123452");
    window.kind = SentArchive::kDeclaration;
    window.references = QStringLiteral("7_2026");
    window.sha256 = SentArchive::digestFile(zip)->sha256;
    window.result = kSendingInProgress;
    window.startedAt = QDateTime(QDate(2014, 3, 15), QTime(9, 0));
    window.desk = QStringLiteral("mesa1@a");
    insertSending(db, window);
    const struct {
        int hoursLater;
        const char* textPart;
    } cases[] = {{1, "está sendo enviado pela estação mesa1@a desde 15/03/2014 09:00"},
                 {3, "foi enviado pela estação mesa1@a em 15/03/2014 09:00, mas o servidor"}};
    for (const auto& c : cases) {
        RowChecks::Input input{window.ie, zip, QStringLiteral("07/2026")};
        input.now = window.startedAt.addSecs(c.hoursLater * 3600);
        const RowChecks::Result r = RowChecks::check(db, input, std::nullopt);
        EXPECT_TRUE(r.has(Problem::AlreadySent)) << c.hoursLater;
        EXPECT_TRUE(r.text().contains(QString::fromUtf8(c.textPart))) << r.text().toStdString();
    }
}

// A desk's archive made before the memory of sendings is read into it when
// the database is first opened, once: a second reading adds nothing, even
// with its mark taken away; the rule then holds the archived file back.
TEST_F(RowChecksTest, TheArchiveIsReadIntoTheMemoryOnce) {
    QTemporaryDir older;
    ASSERT_TRUE(older.isValid());
    AppPaths::setApplicationFolder(older.path());
    const QString sent = file(QStringLiteral("arquivado.zip"), "PK\3\4 arquivado");
    SentArchive::Record record;
    record.ie = QStringLiteral("86123452");
    record.kind = SentArchive::kDeclaration;
    record.fileName = QStringLiteral("arquivado.zip");
    record.sha256 = SentArchive::digestFile(sent)->sha256;
    record.sentAt = QDateTime(QDate(2026, 5, 4), QTime(14, 5));
    record.wholeRequestSent = true;
    for (const char* refs : {"1_2026", "2_2026"}) {
        record.references = QString::fromLatin1(refs);
        record.result = refs[0] == '1' ? SentArchive::kAccepted : SentArchive::kRefused;
        ASSERT_EQ(SentArchive::store(record, sent), QString());
    }
    LocalDb db; // a new database file: made with the memory, the archive read into it
    EXPECT_EQ(sendingsFor(db, record.ie, QStringLiteral("1_2026")).size(), 1);
    EXPECT_EQ(sendingsFor(db, record.ie, QStringLiteral("2_2026")).size(), 1);
    EXPECT_EQ(importArchive(db, thisDesk()), 0);
    QSqlQuery unmark(db.database());
    ASSERT_TRUE(unmark.exec(QStringLiteral("DELETE FROM sending_import")));
    EXPECT_EQ(importArchive(db, thisDesk()), 0);
    insertContribuinte(db, {record.ie, QStringLiteral("Empresa"), QString(), QString(),
                            QStringLiteral("Z3P8W1RT"), QString(), false});
    const RowChecks::Result accepted =
        RowChecks::check(db, {record.ie, sent, QStringLiteral("01/2026")}, std::nullopt);
    EXPECT_EQ(accepted.text(), QStringLiteral("Este arquivo já foi enviado pela estação %1 em "
                                              "04/05/2026 14:05. Marque a linha para enviar de "
                                              "novo.")
                                   .arg(thisDesk()));
    // A refused sending holds nothing back.
    EXPECT_TRUE(
        RowChecks::check(db, {record.ie, sent, QStringLiteral("02/2026")}, std::nullopt).ready());
}

} // namespace

namespace {

// Sendings of one taxpayer looked for in its list, one entry per month:
// entries in, each sending's verdict out. The sendings start at 10:00 by
// this program's clock; the answer comes at 11:00.
TEST(TaxpayerListTest, EachSendingIsSettledOnlyByEntriesOfItsOwn) {
    using Kind = TaxpayerList::Found::Kind;
    using Role = TaxpayerList::Sending::Role;
    struct Listed {
        const char* referencia;
        const char* time; // server time, 07/12/2026
        const char* protocol;
    };
    struct Sent {
        const char* references;
        int startSecs; // after 10:00
        Role role;
        Kind kind;
        const char* protocols;
        const char* seen = ""; // a piece of what an unsure one shows
    };
    struct Case {
        const char* name;
        QList<Listed> list;
        QList<Sent> sendings;
        int serverAheadSecs = 0;
        QStringList taken = {};
    };
    const Case cases[] = {
        {"a two-month declaration, one entry per month",
         {{"11/2026", "10:05:00", "P11"}, {"10/2026", "10:05:00", "P10"}},
         {{"10_2026,11_2026", 0, Role::Maybe, Kind::Processed, "P10, P11"}}},
        {"both months in one entry",
         {{"10/2026, 11/2026", "10:05:00", "P"}},
         {{"10_2026,11_2026", 0, Role::Maybe, Kind::Processed, "P"}}},
        {"one of its two months listed",
         {{"10/2026", "10:05:00", "P10"}},
         {{"10_2026,11_2026", 0, Role::Maybe, Kind::Unsure, "", "11/2026 sem envio"}}},
        {"an earlier sending of its months is another",
         {{"11/2026", "09:59:59", "P11"}, {"10/2026", "09:30:00", "P10"}},
         {{"10_2026,11_2026", 0, Role::Maybe, Kind::Absent, ""}}},
        {"the server's clock five minutes behind",
         {{"10/2026", "09:56:00", "P10"}},
         {{"10_2026", 0, Role::Maybe, Kind::Processed, "P10"}},
         -300},
        {"the server's clock five minutes ahead: minutes before in its time is another",
         {{"10/2026", "10:03:00", "P10"}},
         {{"10_2026", 0, Role::Maybe, Kind::Absent, ""}},
         300},
        {"its own entry still processed, an earlier corrected one processed",
         {{"Verificando", "10:10:30", ""}, {"10/2026", "10:05:00", "P-OLD"}},
         {{"10_2026", 600, Role::Accepted, Kind::Pending, ""}}},
        {"two extracts, one entry after both: neither owns it",
         {{"12/2026", "10:02:00", "PX"}},
         {{"", 0, Role::Maybe, Kind::Unsure, "", "outra linha"},
          {"", 60, Role::Maybe, Kind::Unsure, "", "outra linha"}}},
        {"two extracts, the accepted one owns the only entry",
         {{"12/2026", "10:02:00", "PX"}},
         {{"", 0, Role::Maybe, Kind::Absent, ""}, {"", 60, Role::Accepted, Kind::Processed, "PX"}}},
        {"a row another process sends could own the entry",
         {{"10/2026", "10:02:00", "P10"}},
         {{"10_2026", 0, Role::Maybe, Kind::Unsure, ""},
          {"10_2026", 60, Role::Rival, Kind::Unsure, ""}}},
        {"the same month twice, each accepted, each its own entry",
         {{"10/2026", "10:03:00", "P2"}, {"10/2026", "10:01:00", "P1"}},
         {{"10_2026", 0, Role::Accepted, Kind::Processed, "P1"},
          {"10_2026", 120, Role::Accepted, Kind::Processed, "P2"}}},
        {"an entry another row owns",
         {{"10/2026", "10:02:00", "P10"}},
         {{"10_2026", 0, Role::Maybe, Kind::Absent, ""}},
         0,
         {QStringLiteral("P10")}},
    };
    const QDateTime start(QDate(2026, 12, 7), QTime(10, 0));
    const QDateTime answeredAt = start.addSecs(3600);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TaxpayerList::Facts facts;
        facts.kind = History::ListAnswerKind::Transmissions;
        facts.dataServidor = answeredAt.addSecs(c.serverAheadSecs);
        for (const Listed& l : c.list)
            facts.rows.append({QString::fromLatin1(l.referencia),
                               QStringLiteral("07/12/2026 ") + QString::fromLatin1(l.time),
                               QString::fromLatin1(l.protocol), QStringLiteral("3"), QString()});
        QList<TaxpayerList::Sending> sendings;
        for (const Sent& s : c.sendings)
            sendings.append(
                {QString::fromLatin1(s.references), start.addSecs(s.startSecs), s.role});
        const QList<TaxpayerList::Found> found =
            TaxpayerList::settle(facts, sendings, answeredAt, c.taken);
        ASSERT_EQ(found.size(), c.sendings.size());
        for (qsizetype i = 0; i < found.size(); ++i) {
            if (c.sendings[i].role == Role::Rival)
                continue;
            EXPECT_EQ(found[i].kind, c.sendings[i].kind) << "sending " << i;
            EXPECT_EQ(found[i].protocolText(), QString::fromLatin1(c.sendings[i].protocols));
            EXPECT_TRUE(found[i].seen.contains(QString::fromUtf8(c.sendings[i].seen)))
                << found[i].seen.toStdString();
        }
    }
}

} // namespace
