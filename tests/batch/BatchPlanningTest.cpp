// What the batch window decides without a window: the taxpayer of each file
// from the IE in its names, the months of each declaration from its list
// answer (built by the simulator's own answer writer), each line's checks
// while and after its list comes, the texts of the rows' states, the run's
// total and the question when a batch was left unfinished.
#include "batch/BatchPlan.h"
#include "batch/FileMatching.h"
#include "batch/ReferenceProposal.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "support/AppFolderTest.h"

#include "simulator/Answers.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(FileMatching, ProposesOnlyOneRegisteredValidIe) {
    const QSet<QString> registered{QStringLiteral("86123452"), QStringLiteral("87206416")};
    struct Case {
        const char* path;
        const char* base; // the folder the user chose
        const char* ie;   // proposed, or "" with a reason
        const char* reasonHas;
    };
    const Case cases[] = {
        {"/b/86123452.zip", "/b", "86123452", ""},
        {"/b/BACKUP_86.123.45-2_jan.ZIP", "/b", "86123452", ""},
        {"/b/86123452-01.zip", "/b", "86123452", ""},
        {"/b/2026-11-30/86123452.zip", "/b", "86123452", ""},
        {"/b/87206416/2026/backup.zip", "/b", "87206416", ""},
        // The same IE in file and folder is one IE.
        {"/b/86123452/86123452-fev.zip", "/b", "86123452", ""},
        // Folders above the chosen one say nothing about the file.
        {"/86123452/b/backup.zip", "/86123452/b", "", "Nenhuma"},
        {"/86123452/b/backup.zip", "", "", "Nenhuma"},
        // A check digit that fails, a longer number (a CNPJ), too few digits.
        {"/b/86123453.zip", "/b", "", "Nenhuma"},
        {"/b/12345678000195.pdf", "/b", "", "Nenhuma"},
        {"/b/8612345.zip", "/b", "", "Nenhuma"},
        {"/b/86123452/87206416.zip", "/b", "", "Mais de uma"},
        {"/b/78045302.pdf", "/b", "", "78045302 não cadastrada"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const FileMatching::Match m =
            FileMatching::match(QString::fromUtf8(c.path), QString::fromUtf8(c.base), registered);
        EXPECT_EQ(m.ie, QString::fromUtf8(c.ie));
        EXPECT_EQ(m.reason.isEmpty(), m.ie.size() == 8) << m.reason.toStdString();
        EXPECT_TRUE(m.reason.contains(QString::fromUtf8(c.reasonHas))) << m.reason.toStdString();
    }
}

valdoria::Transmission sent(const std::string& ref, const std::string& status = "3") {
    valdoria::Transmission t;
    t.referencia = ref;
    t.protocolo = "P1";
    t.status = status;
    return t;
}

TEST(ReferenceProposal, MonthsOfTheWorkingYearsNotYetProcessed) {
    const ContribuinteRow taxpayer{
        QStringLiteral("86123452"), QStringLiteral("A"), {}, {}, QStringLiteral("K"), {}, false};
    const auto answered = [&](const std::vector<valdoria::Transmission>& list) {
        return Overview::withAnswer(
            Overview::initialRow(taxpayer, std::nullopt),
            QString::fromStdString(valdoria::soapResponse(
                "Transferencia.ver2",
                valdoria::listXml("2014-03-10 09:00:00", "2013/2014", "1.16.01", list))));
    };
    struct Case {
        const char* what;
        Overview::Row row;
        QString references;
        QString noteHas;
    };
    const Case cases[] = {
        {"nothing sent: every month of both years before March 2014",
         answered({}),
         QStringLiteral("1_2013,2_2013,3_2013,4_2013,5_2013,6_2013,7_2013,8_2013,9_2013,10_2013,"
                        "11_2013,12_2013,1_2014,2_2014"),
         {}},
        {"processed months left out",
         answered({sent("01/2013, 02/2013"), sent("03/2013")}),
         QStringLiteral("4_2013,5_2013,6_2013,7_2013,8_2013,9_2013,10_2013,11_2013,12_2013,1_"
                        "2014,2_2014"),
         {}},
        {"a pending sending hides its months",
         answered({sent("Verificando", "1")}),
         {},
         QStringLiteral("verificação")},
        {"no answer yet", Overview::initialRow(taxpayer, std::nullopt), {}, Overview::kWaiting},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ReferenceProposal::Proposal p = ReferenceProposal::propose(c.row, QDate(2014, 3, 15));
        EXPECT_EQ(p.references, c.references);
        EXPECT_TRUE(p.note.contains(c.noteHas)) << p.note.toStdString();
    }
}

// A taxpayer's overview row once its list answered `returnText`.
Overview::Row listed(const QString& ie, const std::string& returnText) {
    const ContribuinteRow taxpayer{ie, QStringLiteral("A"), {}, {}, QStringLiteral("K"), {}, false};
    return Overview::withAnswer(
        Overview::initialRow(taxpayer, std::nullopt),
        QString::fromStdString(valdoria::soapResponse("Transferencia.ver2", returnText)));
}

class BatchPlanTest : public AppFolderTest {
protected:
    void SetUp() override {
        AppFolderTest::SetUp();
        LocalDb db;
        insertContribuinte(db, {QStringLiteral("86123452"),
                                QStringLiteral("D'Ávila"),
                                {},
                                {},
                                QStringLiteral("Z3P8W1RT"),
                                {},
                                false});
        insertContribuinte(db, {QStringLiteral("78045302"),
                                QStringLiteral("Padaria"),
                                {},
                                {},
                                QStringLiteral("A7K2M9QX"),
                                {},
                                true});
    }

    QString file(const QString& name, qint64 size = 100) {
        const QString path = QDir(dir.path()).filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
        return path;
    }

    const QDate today{2014, 3, 15};
    const std::string answered =
        valdoria::listXml("2014-03-10 09:00:00", "2013/2014", "1.16.01", {});
};

TEST_F(BatchPlanTest, ALineIsReadyOnlyOnceItsListCameAndSaysEachReasonOnce) {
    struct Case {
        const char* what;
        const char* file;
        const char* ie;
        const char* months;              // given by the user; nullptr: proposed
        std::optional<std::string> list; // the list's answer; nullopt: not come yet
        bool ready;
        QString checks;
    };
    const Case cases[] = {
        {"an extract before its list", "78045302.pdf", "78045302", nullptr, std::nullopt, false,
         QStringLiteral("Aguardando a lista do servidor...")},
        {"months given before the list", "86123452.zip", "86123452", "01/2014", std::nullopt, false,
         QStringLiteral("Aguardando a lista do servidor...")},
        {"months proposed before the list", "86123452.zip", "86123452", nullptr, std::nullopt,
         false, QStringLiteral("Aguardando a lista do servidor...")},
        {"an extract after its list", "78045302.pdf", "78045302", nullptr, answered, true,
         QStringLiteral("Pronto para envio")},
        {"months proposed from the list", "86123452.zip", "86123452", nullptr, answered, true,
         QStringLiteral("Pronto para envio")},
        {"a key the server refuses, said once", "86123452.zip", "86123452", nullptr,
         "CHAVE_INVALIDA", false, QStringLiteral("Chave inválida. Nenhuma referência escolhida.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BatchPlan plan;
        const QString ie = QString::fromLatin1(c.ie);
        const QList<int> added =
            plan.addFiles({file(QString::fromLatin1(c.file))}, QString(), {ie});
        ASSERT_EQ(added, QList<int>{0});
        plan.listsAsked({ie}, {ie});
        if (c.list)
            plan.listAnswered(ie, listed(ie, *c.list));
        LocalDb db;
        plan.recheck(db, 0, QDateTime(today, QTime(10, 0)));
        if (c.months && plan.setReferences(0, QString::fromLatin1(c.months)))
            plan.recheck(db, 0, QDateTime(today, QTime(10, 0)));
        EXPECT_EQ(plan.lines()[0].ready, c.ready);
        EXPECT_EQ(plan.lines()[0].checks, c.checks);
        EXPECT_EQ(plan.readyLines().size(), c.ready ? 1 : 0);
    }
}

TEST_F(BatchPlanTest, ATaxpayerAssignedAfterItsListCameGetsItsMonthsAndRowsMeetLinesByFile) {
    BatchPlan plan;
    const QString ie = QStringLiteral("86123452");
    // The first file names its taxpayer; the second is assigned to it by hand.
    plan.addFiles({file(QStringLiteral("86123452.zip")), file(QStringLiteral("sem-ie.zip"))},
                  QString(), {ie});
    plan.listsAsked({ie}, {ie});
    plan.listAnswered(ie, listed(ie, answered));
    LocalDb db;
    for (int i = 0; i < plan.size(); ++i)
        plan.recheck(db, i, QDateTime(today, QTime(10, 0)));
    ASSERT_FALSE(plan.lines()[0].references.isEmpty());
    EXPECT_TRUE(plan.lines()[1].checks.contains(QStringLiteral("Escolha o contribuinte.")));
    EXPECT_TRUE(plan.listsWanted().isEmpty()); // nothing to ask again
    ASSERT_TRUE(plan.assign(1, ie));
    plan.recheck(db, 1, QDateTime(today, QTime(10, 0)));
    EXPECT_EQ(plan.lines()[1].references, plan.lines()[0].references);
    EXPECT_TRUE(plan.lines()[1].ready) << plan.lines()[1].checks.toStdString();

    const qint64 batch = plan.createBatch(db, QStringLiteral("mesa"), QDateTime::currentDateTime());
    ASSERT_NE(batch, 0);
    for (const BatchRow& row : batchRows(db, batch)) {
        const int line = plan.lineOf(row.id);
        ASSERT_GE(line, 0);
        EXPECT_EQ(plan.lines()[line].filePath, row.filePath);
        EXPECT_EQ(plan.lines()[line].state, BatchRowState::Queued);
    }
    EXPECT_EQ(plan.queuedBatches(), QList<qint64>{batch});
}

TEST_F(BatchPlanTest, StatesTotalAndRequeueSayWhatReachedTheServer) {
    struct Case {
        BatchRowState state;
        bool interrupted;
        bool queueRuns;
        QString situation;
        bool sent; // counts in "n de N enviados"
        bool requeue;
    };
    const Case cases[] = {
        {BatchRowState::Sending, false, true, QStringLiteral("Enviando 40 %"), false, false},
        {BatchRowState::Sending, false, false,
         QStringLiteral("Interrompido — será verificado ao retomar o lote"), false, false},
        {BatchRowState::Sending, true, true,
         QStringLiteral("Interrompido — será verificado ao retomar o lote"), false, false},
        {BatchRowState::Queued, true, false, QStringLiteral("Na fila — envio interrompido"), false,
         false},
        {BatchRowState::Queued, false, false, QStringLiteral("Na fila"), false, false},
        {BatchRowState::Accepted, false, false, QStringLiteral("Aceito"), true, false},
        {BatchRowState::Refused, false, false, QStringLiteral("Recusado: por quê"), true, false},
        {BatchRowState::NoReply, false, false, QStringLiteral("Sem resposta — verificar"), true,
         false},
        {BatchRowState::NotSent, false, false, QStringLiteral("Não enviado: por quê"), false, true},
        {BatchRowState::Cancelled, false, false, QStringLiteral("Cancelado"), false, true},
        {BatchRowState::NotListed, false, false,
         QStringLiteral("Não consta na lista — pode ser enviado de novo"), false, true},
    };
    BatchPlan plan;
    for (int i = 0; i < int(std::size(cases)); ++i) {
        BatchRow row;
        row.id = i + 1;
        row.filePath = file(QStringLiteral("%1.zip").arg(i)); // 100 bytes each
        plan.take(row);                                       // queued when the run begins
    }
    plan.beginRun();
    int sent = 0;
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.situation.toStdString());
        BatchRow row;
        row.id = i + 1;
        row.filePath = plan.lines()[i].filePath;
        row.state = c.state;
        row.reply = QStringLiteral("por quê");
        plan.take(row);
        plan.at(i).percent = 40;
        plan.at(i).interrupted = c.interrupted;
        EXPECT_EQ(BatchPlan::situation(plan.lines()[i], c.queueRuns), c.situation);
        EXPECT_EQ(plan.canRequeue(i), c.requeue);
        sent += c.sent;
    }
    // Cancelled, not sent and interrupted rows are not counted as sent; the
    // two rows under way (not interrupted) count 40 of their 100 bytes.
    const BatchPlan::Total total = plan.total();
    EXPECT_EQ(total.sent, sent);
    EXPECT_EQ(total.rows, int(std::size(cases)));
    EXPECT_EQ(total.bytesSent, sent * 100 + 2 * 40);
    EXPECT_EQ(total.bytes, qint64(std::size(cases)) * 100);
}

TEST(BatchPlan, TheResumeQuestionTellsUnsentRowsFromRowsAwaitingTheServer) {
    const auto row = [](BatchRowState state, bool started = false, const char* protocol = "") {
        BatchRow r;
        r.state = state;
        r.requestStarted = started;
        r.protocol = QString::fromLatin1(protocol);
        return r;
    };
    using S = BatchRowState;
    struct Case {
        QList<BatchRow> rows;
        QString what;
    };
    const Case cases[] = {
        {{row(S::Queued), row(S::Queued), row(S::Sending), row(S::Sending, true), row(S::NoReply),
          row(S::Accepted), row(S::Accepted, true, "2026000001"), row(S::Cancelled)},
         QStringLiteral("de 8 arquivos, 3 ainda não foram enviados, 2 aguardam a confirmação do "
                        "servidor e 1 foi aceito e aguarda o protocolo")},
        {{row(S::Accepted), row(S::Accepted), row(S::Refused)},
         QStringLiteral("de 3 arquivos, 2 foram aceitos e aguardam o protocolo")},
        {{row(S::NoReply)}, QStringLiteral("de 1 arquivo, 1 aguarda a confirmação do servidor")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BatchPlan::resumeQuestion(c.rows),
                  QStringLiteral("O último envio em lote não terminou: ") + c.what +
                      QStringLiteral(".\n\nDeseja retomá-lo agora?"));
}

} // namespace
