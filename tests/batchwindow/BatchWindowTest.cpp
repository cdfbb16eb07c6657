// The "Envio em lote" window against the simulator: files of a folder matched
// to their taxpayers with their checks (a mismatched kind refused in its
// row), a small batch sent with every row ending in its state and the summary
// counted, and the offer to resume a batch a stopped program left.
#include "batchwindow/BatchWindow.h"

#include "base/AppPaths.h"
#include "batch/BatchQueue.h"
#include "certificates/Certificate.h"
#include "shell/AppContext.h"
#include "shell/WindowRegistry.h"
#include "store/BatchRepository.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "support/AccessibilityCheck.h"
#include "support/FakeCertificatePicker.h"
#include "support/FakeFilePicker.h"
#include "support/FakePrompter.h"
#include "support/FixedClock.h"
#include "support/SimulatorFixture.h"
#include "support/TestCertificates.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using dadav::test::waitFor;

const QByteArray kExtract("%PDF-1.4\n1 0 obj << /Title (PGDAS-D Extrato) >> endobj\n%%EOF\n");

// The three companies with keys (two declarations, one Simples opter) and
// 87206416 with every month but January of each year processed.
const char kSeed[] = R"([servidor]
anos=2025/2026
[empresa]
ie=78045302
cnpj=11.222.333/0001-81
razao=Padaria São João Ltda
simples=S
chave=A7K2M9QX
[empresa]
ie=86123452
cnpj=04.567.891/0001-13
razao=D'Ávila Comércio de Roupas Ltda
chave=Z3P8W1RT
[empresa]
ie=87206416
cnpj=33.184.762/0001-44
razao=Tecnologia Ômega Sistemas S.A.
chave=H5N4C6DB
[transmissao]
ie=87206416
protocolo=2026000001
referencia=02/2025, 03/2025, 04/2025, 05/2025, 06/2025, 07/2025, 08/2025, 09/2025, 10/2025, 11/2025, 12/2025, 02/2026
data=01/03/2026 09:00:00
)";

valdoria::SimulatorOptions options(const QTemporaryDir& seedDir) {
    const QString seed = seedDir.filePath(QStringLiteral("seed.ini"));
    QFile f(seed);
    if (!f.open(QIODevice::WriteOnly) || f.write(kSeed) != qint64(sizeof kSeed - 1))
        throw std::runtime_error("seed file not written");
    f.close();
    valdoria::SimulatorOptions o;
    o.seedFile = seed.toStdString();
    o.clock = [] {
        return std::chrono::system_clock::time_point(std::chrono::milliseconds(
            QDateTime(QDate(2026, 3, 15), QTime(10, 0)).toMSecsSinceEpoch()));
    };
    return o;
}

class BatchWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.useAsApplicationFolder();
        context.prompter = &prompter;
        context.windows = &registry;
        context.certificates = &picker;
        context.files = &files;
        context.clock = &clock;
        registry.registerWindow<BatchWindow>();
        LocalDb db;
        // The simulator's companies with keys: two declarations, one Simples opter.
        for (const auto& [ie, name, key, simples] :
             {std::tuple{"86123452", "D'Ávila Comércio de Roupas Ltda", "Z3P8W1RT", false},
              std::tuple{"87206416", "Tecnologia Ômega Sistemas S.A.", "H5N4C6DB", false},
              std::tuple{"78045302", "Padaria São João Ltda", "A7K2M9QX", true}})
            insertContribuinte(db, {QString::fromLatin1(ie), QString::fromUtf8(name), QString(),
                                    QString(), QString::fromLatin1(key), QString(), simples});
        ContadorRow accountant;
        accountant.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
        accountant.cont_razao_nome = QStringLiteral("Fulano de Tal");
        replaceContador(db, accountant);
    }

    void TearDown() override {
        registry.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    static Certificate accountantCertificate() {
        dadav::test::TestCertificateOptions o;
        o.commonName = QStringLiteral("FULANO DE TAL:12345678909");
        o.notBefore = QDateTime(QDate(2025, 1, 1), QTime(0, 0));
        o.notAfter = QDateTime(QDate(2027, 12, 31), QTime(0, 0));
        return parseCertificateDer(dadav::test::makeCertificateDer(o));
    }

    QString write(const QString& relative, const QByteArray& bytes) {
        const QString path = folder.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
        f.write(bytes);
        return path;
    }

    BatchWindow* window() { return registry.window<BatchWindow>(); }

    // The grid's row for a file name.
    static QStringList rowOf(BatchWindow* w, const QString& fileName) {
        for (const QStringList& row : w->rowsShown())
            if (row[BatchWindow::ColArquivo] == fileName)
                return row;
        return {};
    }

    // Each text of these columns reads whole in its cell: on one line, or
    // wrapped (the checks and the states) within its row's height.
    static void expectReadWhole(BatchWindow* w, const QList<int>& columns) {
        const QFontMetrics fm = w->Grid->fontMetrics();
        const int margins =
            2 * (w->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w->Grid) + 1);
        for (int r = 0; r < w->Grid->rowCount(); ++r) {
            for (const int c : columns) {
                const QString text = w->Grid->item(r, c)->text();
                SCOPED_TRACE(text.toStdString());
                const bool wraps =
                    c == BatchWindow::ColVerificacao || c == BatchWindow::ColSituacao;
                const QRect needed =
                    fm.boundingRect(QRect(0, 0, w->Grid->columnWidth(c) - margins, 0),
                                    wraps ? int(Qt::TextWordWrap) : 0, text);
                EXPECT_LE(needed.width(), w->Grid->columnWidth(c) - margins);
                EXPECT_LE(needed.height(), w->Grid->rowHeight(r));
            }
        }
    }

    // Every proposal and check settled: no row still waits for its list.
    static bool listsAnswered(BatchWindow* w) {
        for (const QStringList& row : w->rowsShown())
            if (row[BatchWindow::ColVerificacao].contains(QStringLiteral("Aguardando")))
                return false;
        return true;
    }

    QTemporaryDir seedDir;
    dadav::test::SimulatorFixture sim{options(seedDir)};
    QTemporaryDir folder;
    FakePrompter prompter;
    FakeCertificatePicker picker;
    FakeFilePicker files;
    FixedClock clock{QDateTime(QDate(2026, 3, 15), QTime(10, 0))};
    AppContext context;
    WindowRegistry registry{context};
};

TEST_F(BatchWindowTest, FilesOfAFolderAreMatchedAndAMismatchIsRefusedInItsRow) {
    struct Case {
        const char* file;
        const char* ie;         // proposed
        const char* references; // shown
        const char* checkHas;
    };
    const Case cases[] = {
        {"86123452/backup-jan.zip", "86123452",
         "01/2025, 02/2025, 03/2025, 04/2025, 05/2025, 06/2025, 07/2025, 08/2025, 09/2025, "
         "10/2025, 11/2025, 12/2025, 01/2026, 02/2026",
         "Pronto para envio"},
        {"87206416_backup.ZIP", "87206416", "01/2025, 01/2026", "Pronto para envio"},
        {"78045302-extrato.pdf", "78045302", "", "Pronto para envio"},
        {"78045302 backup.zip", "78045302", "", "é optante do Simples Nacional"},
        {"outros/backup.zip", "", "", "Nenhuma inscrição estadual"},
        {"77310088.zip", "", "", "77310088 não cadastrada"},
        // No key, so no list to wait for: the row says so at once, once.
        {"84902764.zip", "84902764", "",
         "Contribuinte 84902764 sem chave de acesso. Nenhuma referência escolhida."},
    };
    {
        LocalDb db;
        insertContribuinte(db, {QStringLiteral("84902764"), QStringLiteral("Transportes Ltda"),
                                QString(), QString(), QString(), QString(), false});
    }
    for (const Case& c : cases)
        write(QString::fromLatin1(c.file), c.ie[0] == '7' ? kExtract : QByteArray("PK\3\4 x"));
    BatchWindow* w = window();
    files.chooseNext(folder.path());
    w->addFolder();
    ASSERT_TRUE(waitFor([&] { return listsAnswered(w); }, 60000));
    ASSERT_EQ(w->rowsShown().size(), qsizetype(std::size(cases)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QStringList row = rowOf(w, QFileInfo(QString::fromLatin1(c.file)).fileName());
        ASSERT_FALSE(row.isEmpty());
        EXPECT_EQ(row[BatchWindow::ColIE], QString::fromLatin1(c.ie));
        EXPECT_EQ(row[BatchWindow::ColReferencias], QString::fromLatin1(c.references));
        EXPECT_TRUE(row[BatchWindow::ColVerificacao].contains(QString::fromUtf8(c.checkHas)))
            << row[BatchWindow::ColVerificacao].toStdString();
    }
    // A file without an IE given to a taxpayer whose list came gets its months.
    for (int r = 0; r < w->Grid->rowCount(); ++r)
        if (w->rowsShown()[r][BatchWindow::ColArquivo] == QStringLiteral("backup.zip"))
            w->Grid->selectRow(r);
    w->cboContribuinte->setCurrentIndex(w->cboContribuinte->findData(QStringLiteral("87206416")));
    w->assignTaxpayer();
    EXPECT_EQ(rowOf(w, QStringLiteral("backup.zip")).value(BatchWindow::ColReferencias),
              QStringLiteral("01/2025, 01/2026"));
    EXPECT_EQ(rowOf(w, QStringLiteral("backup.zip")).value(BatchWindow::ColVerificacao),
              QStringLiteral("Pronto para envio"));

    // A file dropped on the window is matched the same way.
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(
        write(QStringLiteral("solto/86.123.45-2 fev.zip"), QByteArray("PK\3\4 y")))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(rowOf(w, QStringLiteral("86.123.45-2 fev.zip")).value(BatchWindow::ColIE),
              QStringLiteral("86123452"));

    EXPECT_THAT(AccessibilityCheck::unnamedControls(w), ::testing::IsEmpty());
    EXPECT_THAT(AccessibilityCheck::unreachableControls(w), ::testing::IsEmpty());
    // Tab leaves the grid for the next control; F2 still edits the months.
    w->show();
    w->activateWindow();
    w->Grid->setFocus(Qt::TabFocusReason);
    w->Grid->setCurrentCell(0, BatchWindow::ColIE);
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QCoreApplication::sendEvent(w->Grid, &tab);
    EXPECT_EQ(w->focusWidget(), w->txtReferencias);
    QCoreApplication::processEvents();
    if (!qEnvironmentVariableIsEmpty("DADAV_GRAB"))
        w->grab().save(qEnvironmentVariable("DADAV_GRAB") + QStringLiteral("/envio-lote-novo.png"));
    expectReadWhole(w, {BatchWindow::ColVerificacao});
    prompter.expectNoMessages();
}

TEST_F(BatchWindowTest, ASmallBatchEndsEveryRowInItsStateWithTheSummaryCounted) {
    struct Case {
        const char* file;
        QByteArray bytes;
        const char* stateHas;
    };
    const Case cases[] = {
        {"86123452-jan.zip", QByteArray("PK\3\4 janeiro"), "Aceito"},
        {"78045302-extrato.pdf", kExtract, "Aceito"},
        // Not an extract: the server's Simples check refuses it.
        {"78045302-outro.pdf", QByteArray("%PDF-1.4\nnada\n%%EOF\n"), "Recusado"},
        {"87206416-jan.zip", QByteArray("PK\3\4 fevereiro"), "Aceito"},
    };
    QStringList paths;
    for (const Case& c : cases)
        paths << write(QString::fromLatin1(c.file), c.bytes);

    BatchWindow* w = window();
    w->addPaths(paths);
    ASSERT_TRUE(waitFor([&] { return listsAnswered(w); }, 60000));
    // One month per declaration, for all the selected rows at once.
    w->Grid->selectAll();
    w->txtReferencias->setText(QStringLiteral("01/2026"));
    w->applyReferences();
    picker.pickNext(accountantCertificate()); // once for the whole batch
    w->send();
    ASSERT_TRUE(waitFor([&] { return !w->summary().isEmpty(); }, 60000));

    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const QStringList row = rowOf(w, QString::fromLatin1(c.file));
        EXPECT_TRUE(row[BatchWindow::ColSituacao].startsWith(QString::fromUtf8(c.stateHas)))
            << row[BatchWindow::ColSituacao].toStdString();
        EXPECT_FALSE(row[BatchWindow::ColHora].isEmpty());
        // The list after sending gives each accepted row its protocol (or
        // "Verificando" while the server processes it).
        EXPECT_EQ(row[BatchWindow::ColProtocolo].isEmpty(),
                  QString::fromUtf8(c.stateHas) != "Aceito");
    }
    EXPECT_EQ(w->summary(), QStringLiteral("3 aceitos, 1 recusado, 0 sem resposta"));
    EXPECT_TRUE(w->lblTotal->text().startsWith(QStringLiteral("4 de 4")))
        << w->lblTotal->text().toStdString();
    EXPECT_EQ(sim.simulator().uploads().size(), std::size_t(4));
    EXPECT_EQ(picker.requests().size(), 1);

    const QString csv = folder.filePath(QStringLiteral("lote.csv"));
    files.chooseNext(csv);
    w->exportCsv();
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count("\r\n"), 1 + qsizetype(std::size(cases)));

    // A second batch from the same grid: its summary counts its own row only.
    w->addPaths({write(QStringLiteral("86123452-fev.zip"), QByteArray("PK\3\4 fev"))});
    ASSERT_TRUE(waitFor([&] { return listsAnswered(w); }, 60000));
    w->Grid->selectRow(w->Grid->rowCount() - 1);
    w->txtReferencias->setText(QStringLiteral("02/2026"));
    w->applyReferences();
    w->send();
    ASSERT_TRUE(waitFor([&] { return !w->summary().isEmpty(); }, 60000));
    EXPECT_EQ(w->summary(), QStringLiteral("1 aceito, 0 recusados, 0 sem resposta"));
    prompter.expectNoMessages();
}

TEST_F(BatchWindowTest, AnUnfinishedBatchIsOfferedAtStartAndResumedWithoutSendingTwice) {
    const QString first = write(QStringLiteral("86123452.zip"), QByteArray("PK\3\4 a"));
    const QString second = write(QStringLiteral("87206416.zip"), QByteArray("PK\3\4 b"));
    qint64 batch = 0;
    {
        LocalDb db;
        batch = createBatch(db, BatchQueue::thisDesk(), clock.now(),
                            {{QStringLiteral("86123452"), first, SentArchive::kDeclaration,
                              QStringLiteral("1_2026")},
                             {QStringLiteral("87206416"), second, SentArchive::kDeclaration,
                              QStringLiteral("1_2026")}});
        // The program stopped while the first row's request was going out.
        const std::optional<BatchRow> claimed =
            claimNextRow(db, batch, BatchQueue::thisDesk(), clock.now());
        ASSERT_TRUE(claimed);
        markRequestStarted(db, claimed->id, QString());
    }
    ASSERT_EQ(BatchWindow::unfinishedBatch(), batch);

    prompter.answerNext(MsgAnswer::Yes);
    picker.pickNext(accountantCertificate());
    BatchWindow::offerResume(context);
    ASSERT_EQ(prompter.messages().size(), 1);
    // The row that may have reached the server is not counted as unsent.
    EXPECT_EQ(prompter.messages()[0].text,
              QStringLiteral("O último envio em lote não terminou: de 2 arquivos, 1 ainda não foi "
                             "enviado e 1 aguarda a confirmação do servidor.\n\nDeseja retomá-lo "
                             "agora?"));
    BatchWindow* w = qobject_cast<BatchWindow*>(registry.loaded(QStringLiteral("BatchWindow")));
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    ASSERT_TRUE(waitFor([&] { return !w->summary().isEmpty(); }, 60000));

    // The row that may have reached the server is not sent again by itself:
    // the list after sending shows it absent, and only then is it offered.
    EXPECT_EQ(rowOf(w, QStringLiteral("86123452.zip"))[BatchWindow::ColSituacao],
              BatchQueue::stateText(BatchRowState::NotListed));
    EXPECT_TRUE(rowOf(w, QStringLiteral("87206416.zip"))[BatchWindow::ColSituacao].startsWith(
        QStringLiteral("Aceito")));
    EXPECT_EQ(w->summary(),
              QStringLiteral("1 aceito, 0 recusados, 0 sem resposta, 1 não consta na lista"));
    ASSERT_EQ(sim.simulator().uploads().size(), std::size_t(1));
    EXPECT_EQ(sim.simulator().uploads()[0].ie, "87206416");

    w->Grid->selectRow(0);
    prompter.answerNext(MsgAnswer::Yes);
    w->toggleSendAgain();
    w->send(); // the certificate chosen once serves the whole batch
    ASSERT_TRUE(waitFor([&] { return !w->isSending(); }, 60000));
    EXPECT_EQ(w->summary(), QStringLiteral("2 aceitos, 0 recusados, 0 sem resposta"));
    EXPECT_EQ(sim.simulator().uploads().size(), std::size_t(2));
    EXPECT_EQ(BatchWindow::unfinishedBatch(), std::nullopt);
}

TEST_F(BatchWindowTest, APausedWindowClosesAndCancelledRowsAreSentAgain) {
    const QStringList paths{write(QStringLiteral("86123452-jan.zip"), "PK\3\4 janeiro"),
                            write(QStringLiteral("87206416-jan.zip"), "PK\3\4 fevereiro")};
    BatchWindow* w = window();
    w->show();
    w->addPaths(paths);
    ASSERT_TRUE(waitFor([&] { return listsAnswered(w); }, 60000));
    w->Grid->selectAll();
    w->txtReferencias->setText(QStringLiteral("01/2026"));
    w->applyReferences();
    picker.pickNext(accountantCertificate());
    w->send();

    // Sending, the window stays and says how to close it; paused, it closes.
    EXPECT_FALSE(w->close());
    w->pause();
    EXPECT_FALSE(w->close());
    ASSERT_TRUE(
        waitFor([&] { return w->cmdPausar->text() == QStringLiteral("Contin&uar"); }, 60000));
    EXPECT_EQ(prompter.texts(),
              QStringList({QStringLiteral("O lote está sendo enviado. Para fechar a janela, "
                                          "clique em Pausar e aguarde o fim do arquivo em "
                                          "andamento, ou clique em Cancelar."),
                           QStringLiteral("O envio pausa ao fim do arquivo em andamento. A janela "
                                          "pode ser fechada depois disso.")}));
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->isVisible());
    // The batch waits in the database: the next start offers it.
    prompter.answerNext(MsgAnswer::No,
                        QStringLiteral("O último envio em lote não terminou: de 2 arquivos, 2 "
                                       "ainda não foram enviados.\n\nDeseja retomá-lo agora?"));
    BatchWindow::offerResume(context);

    // Cancelled, nothing reached the server: the total does not say otherwise.
    registry.show(QStringLiteral("BatchWindow"));
    w->cancel();
    ASSERT_TRUE(waitFor([&] { return !w->isSending(); }, 60000));
    for (const QStringList& row : w->rowsShown())
        EXPECT_EQ(row[BatchWindow::ColSituacao], QStringLiteral("Cancelado"));
    EXPECT_TRUE(w->lblTotal->text().startsWith(QStringLiteral("0 de 2 enviados")))
        << w->lblTotal->text().toStdString();

    // "Enviar de novo" puts them back in the queue, "Enviar" sends them.
    w->Grid->selectAll();
    w->toggleSendAgain();
    for (const QStringList& row : w->rowsShown())
        EXPECT_EQ(row[BatchWindow::ColSituacao], QStringLiteral("Na fila"));
    w->send();
    ASSERT_TRUE(waitFor([&] { return !w->isSending(); }, 60000));
    for (const QStringList& row : w->rowsShown())
        EXPECT_EQ(row[BatchWindow::ColSituacao], QStringLiteral("Aceito"));
    EXPECT_EQ(sim.simulator().uploads().size(), std::size_t(2));
    EXPECT_TRUE(w->lblTotal->text().startsWith(QStringLiteral("2 de 2 enviados")))
        << w->lblTotal->text().toStdString();
    EXPECT_EQ(prompter.messages().size(), 3);
}

TEST_F(BatchWindowTest, ADatabaseLostInMidBatchGivesOneMessageAndTheNextStartSettlesIt) {
    const QStringList paths{write(QStringLiteral("86123452-jan.zip"), "PK\3\4 janeiro"),
                            write(QStringLiteral("87206416-jan.zip"), "PK\3\4 fevereiro")};
    BatchWindow* w = window();
    w->addPaths(paths);
    ASSERT_TRUE(waitFor([&] { return listsAnswered(w); }, 60000));
    w->Grid->selectAll();
    w->txtReferencias->setText(QStringLiteral("01/2026"));
    w->applyReferences();
    // The database file stops being one as the first row starts.
    QFile database(AppPaths::databasePath());
    QByteArray header;
    QObject::connect(w->Grid, &QTableWidget::itemChanged, w, [&](QTableWidgetItem* item) {
        if (!header.isEmpty() || item->column() != BatchWindow::ColSituacao ||
            !item->text().startsWith(QStringLiteral("Enviando")))
            return;
        ASSERT_TRUE(database.open(QIODevice::ReadWrite));
        header = database.read(100);
        database.seek(0);
        database.write(QByteArray(100, '\x7f'));
        database.close();
    });
    picker.pickNext(accountantCertificate());
    w->send();
    ASSERT_TRUE(waitFor([&] { return !w->isSending(); }, 60000));
    ASSERT_FALSE(header.isEmpty());

    // One message, and nothing reads "Enviando" once nothing is sent.
    ASSERT_EQ(prompter.messages().size(), 1);
    const QString text = prompter.messages()[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral(
        "O envio em lote parou porque o banco de dados deixou de responder.\n\nO arquivo que "
        "estava sendo enviado será verificado na lista do servidor quando o lote for "
        "retomado.\n\nQuando o banco de dados voltar, clique em Enviar (ou abra o programa de "
        "novo) para retomar o lote.\n\nDetalhe técnico: ")))
        << text.toStdString();
    EXPECT_EQ(rowOf(w, QStringLiteral("86123452-jan.zip"))[BatchWindow::ColSituacao],
              QStringLiteral("Interrompido — será verificado ao retomar o lote"));
    EXPECT_EQ(rowOf(w, QStringLiteral("87206416-jan.zip"))[BatchWindow::ColSituacao],
              QStringLiteral("Na fila — envio interrompido"));

    // The database is back; the next start offers the batch and settles the
    // row whose request never started: each file reaches the server once.
    ASSERT_TRUE(database.open(QIODevice::ReadWrite));
    database.write(header);
    database.close();
    registry.unloadAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    prompter.answerNext(MsgAnswer::Yes);
    picker.pickNext(accountantCertificate());
    BatchWindow::offerResume(context);
    w = qobject_cast<BatchWindow*>(registry.loaded(QStringLiteral("BatchWindow")));
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(waitFor([&] { return !w->summary().isEmpty(); }, 60000));
    for (const QStringList& row : w->rowsShown())
        EXPECT_TRUE(row[BatchWindow::ColSituacao].startsWith(QStringLiteral("Aceito")))
            << row[BatchWindow::ColSituacao].toStdString();
    EXPECT_EQ(sim.simulator().uploads().size(), std::size_t(2));
    EXPECT_EQ(prompter.messages().size(), 2);
}

TEST_F(BatchWindowTest, EndedRowsReadWholeAtTheDefaultSize) {
    // Rows as a day's batch leaves them, read back into the window.
    struct Case {
        const char* file;
        const char* ie;
        BatchRowState state;
        const char* reply;
        const char* protocol;
    };
    const Case cases[] = {
        {"86123452/backup-2026-01.zip", "86123452", BatchRowState::Accepted, "", "20261208000123"},
        {"87206416/backup-2026-01.zip", "87206416", BatchRowState::Refused,
         "Arquivo inválido: a declaração não pertence ao contribuinte informado.", ""},
        {"78045302/extrato-PGDAS-D-2026-11.pdf", "78045302", BatchRowState::NoReply, "", ""},
        {"86123452/backup-2026-02.zip", "86123452", BatchRowState::NotSent,
         "Falha de rede: Conexão recusada", ""},
        {"87206416/backup-2026-02.zip", "87206416", BatchRowState::Cancelled, "", ""},
        {"86123452/backup-2026-03.zip", "86123452", BatchRowState::Queued, "", ""},
    };
    QList<NewBatchRow> rows;
    for (const Case& c : cases)
        rows.append({QString::fromLatin1(c.ie), write(QString::fromLatin1(c.file), "PK\3\4 x"),
                     c.ie[0] == '7' ? SentArchive::kSimples : SentArchive::kDeclaration,
                     c.ie[0] == '7' ? QString() : QStringLiteral("1_2026,2_2026")});
    qint64 batch = 0;
    {
        LocalDb db;
        batch = createBatch(db, BatchQueue::thisDesk(), clock.now(), rows);
        for (const Case& c : cases) {
            if (c.state == BatchRowState::Queued)
                break;
            const std::optional<BatchRow> row =
                claimNextRow(db, batch, QStringLiteral("outra mesa"), clock.now().addSecs(-300));
            ASSERT_TRUE(row);
            finishRow(db, row->id, c.state, QString::fromUtf8(c.reply), clock.now().addSecs(-299));
            if (*c.protocol)
                setProtocol(db, row->id, QString::fromLatin1(c.protocol));
        }
    }
    BatchWindow* w = window();
    w->show();
    picker.cancelNext();
    w->resume(batch);
    QCoreApplication::processEvents();
    ASSERT_EQ(w->rowsShown().size(), qsizetype(std::size(cases)));
    if (!qEnvironmentVariableIsEmpty("DADAV_GRAB"))
        w->grab().save(qEnvironmentVariable("DADAV_GRAB") + QStringLiteral("/envio-lote.png"));

    // Each text reads whole in its cell (a long state on more lines).
    expectReadWhole(w, {BatchWindow::ColArquivo, BatchWindow::ColReferencias,
                        BatchWindow::ColSituacao, BatchWindow::ColHora, BatchWindow::ColProtocolo});
}

} // namespace
