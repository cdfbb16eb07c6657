// The main window's transmission list, receipt detail, receipt link and
// update notice, driven headless: against the in-process server simulator
// for the flows a user goes through, and against scripted answers for the
// answers the simulator never gives (texts that are no list, document type
// declarations, receipt items without their detail).
#include "FakePrompter.h"
#include "FakeUrlOpener.h"
#include "app/Principal.h"
#include "archive/ArchivedSending.h"
#include "archive/SentArchive.h"
#include "archivewindow/ArchiveWindow.h"
#include "base/AppPaths.h"
#include "net/NetworkError.h"
#include "net/SoapClient.h"
#include "net/SoapTransport.h"
#include "receipts/ReceiptKeeper.h"
#include "registry/frmtbl_SelecionaContribuinte.h"
#include "shell/AppContext.h"
#include "shell/WindowRegistry.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "support/SimulatorFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <memory>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const QString kTitle = QStringLiteral("VAV-UVOD - RJ");
const Message kListUnavailable{
    QStringLiteral("O Servidor está indisponivel, tente novamente mais tarde."), kTitle,
    MsgIcon::None, MsgButtons::Ok};
const Message kDetailUnavailable{
    QStringLiteral("O Servidor está indisponível, tente novamente mais tarde."), kTitle,
    MsgIcon::None, MsgButtons::Ok};
const Message kInvalidKey{QStringLiteral("Chave inválida"), kTitle, MsgIcon::Critical,
                          MsgButtons::Ok};
const Message kAccessDenied{QStringLiteral("Acesso não autorizado"), kTitle, MsgIcon::Information,
                            MsgButtons::Ok};
const Message kPending{QStringLiteral("Existe(m) envio(s) aguardando o processamento, verifique "
                                      "as transmissões em instantes (Aprox. 5 minutos)"),
                       QStringLiteral("VAV-UVOD"), MsgIcon::None, MsgButtons::Ok};
const Message kSelectDelivery{QStringLiteral("Selecione uma entrega específica"), kTitle,
                              MsgIcon::Information, MsgButtons::Ok};

const QString kIE = QStringLiteral("78045302");
const QString kKey = QStringLiteral("A7K2M9QX");
const QString kName = QStringLiteral("Padaria São João Ltda");

// Two processed transmissions of one company (the later one listed first) and
// two unprocessed ones of another.
const char* const kSeed = R"(
[servidor]
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
razao=Comercial Norte Ltda
simples=N
chave=Z3P8W1RT
[transmissao]
ie=78045302
protocolo=20140401000001
referencia=03/2014
data=01/04/2014 09:00:00
status=3
adicionado=12.345,67
[transmissao]
ie=78045302
protocolo=20140601000002
referencia=04/2014 , 05/2014
data=02/06/2014 10:30:00
status=3
adicionado=1.000,00
[transmissao]
ie=86123452
protocolo=P1
referencia=Verificando
status=1
[transmissao]
ie=86123452
protocolo=P2
referencia=Verificando
status=1
)";

// The server's clock in these tests.
const QDateTime kServerNow(QDate(2026, 12, 7), QTime(10, 15, 0), Qt::LocalTime);

std::string s(const QString& text) {
    return text.toStdString();
}

QStringList childTexts(const QTreeWidgetItem* item) {
    QStringList out;
    for (int i = 0; i < item->childCount(); ++i)
        out << item->child(i)->text(0);
    return out;
}

QStringList rowTexts(const QTableWidget* grid, int row) {
    QStringList out;
    for (int c = 0; c < grid->columnCount(); ++c) {
        const QTableWidgetItem* item = grid->item(row, c);
        out << (item ? item->text() : QString());
    }
    return out;
}

quint16 closedPort() {
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

void processDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// ---- against the simulator --------------------------------------------------

class HistoryWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(seedDir.isValid());
        context.prompter = &prompter;
        context.urlOpener = &browser;
        context.soap = &soap;
        context.windows = &registry;
        registry.registerWindow<Principal>();
    }
    void TearDown() override {
        registry.unloadAll();
        processDeferredDeletes();
    }

    // Starts a simulator announcing `version` and points the client at it,
    // with the installed version text `infoDip`.
    void start(const std::string& version = "1.16.01",
               const QByteArray& infoDip = QByteArray("1.16.01")) {
        sim.reset();
        const QString seedPath = QDir(seedDir.path()).filePath(QStringLiteral("seed.ini"));
        QFile seed(seedPath);
        ASSERT_TRUE(seed.open(QIODevice::WriteOnly | QIODevice::Truncate));
        seed.write(kSeed);
        seed.close();
        valdoria::SimulatorOptions options;
        options.seedFile = seedPath.toStdString();
        options.version = version;
        const auto now = std::chrono::system_clock::from_time_t(kServerNow.toSecsSinceEpoch());
        options.clock = [now] {
            return now;
        };
        sim = std::make_unique<dadav::test::SimulatorFixture>(options);
        sim->useAsApplicationFolder();
        sim->writeFile(QStringLiteral("info.dip"), infoDip);
    }

    Principal* principal() { return registry.window<Principal>(); }

    // What the selection window does with the chosen taxpayer.
    Principal* select(const QString& ie, const QString& name, const QString& key) {
        Principal* p = principal();
        p->show();
        p->state().setTaxpayer(ie, name, key);
        p->Command1->show();
        p->frmImportacao->show();
        p->RecebeDadosServer();
        return p;
    }

    void clickRow(Principal* p, int row) {
        QTableWidget* g = p->GridTransmissoes;
        const QPoint at = g->visualRect(g->model()->index(row, 0)).center();
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, at);
    }

    std::string lastRequest() { return sim->simulator().rawRequests().back(); }
    std::size_t requestCount() { return sim->simulator().rawRequests().size(); }

    QTemporaryDir seedDir;
    std::unique_ptr<dadav::test::SimulatorFixture> sim;
    FakePrompter prompter;
    FakeUrlOpener browser;
    SoapTransport soap;
    AppContext context;
    WindowRegistry registry{context};
};

TEST_F(HistoryWindow, SelectingATaxpayerListsItsTransmissionsAndReadsTheHeader) {
    start();
    Principal* p = principal();
    p->tvwPessoa->show();
    p->detApuracao->show();

    select(kIE, kName, kKey);

    prompter.expectNoMessages();
    QTableWidget* g = p->GridTransmissoes;
    ASSERT_EQ(g->rowCount(), 2);
    EXPECT_THAT(rowTexts(g, 0),
                ElementsAre(QStringLiteral("04/2014 , 05/2014"),
                            QStringLiteral("02/06/2014 10:30:00"), QStringLiteral("20140601000002"),
                            QStringLiteral("3"), QStringLiteral("1.000,00")));
    EXPECT_THAT(rowTexts(g, 1),
                ElementsAre(QStringLiteral("03/2014"), QStringLiteral("01/04/2014 09:00:00"),
                            QStringLiteral("20140401000001"), QStringLiteral("3"),
                            QStringLiteral("12.345,67")));
    EXPECT_EQ(g->currentRow(), -1) << "no delivery is selected after a refresh";
    EXPECT_TRUE(p->Command1->isEnabled());
    EXPECT_EQ(p->state().DataServidor(), kServerNow);
    EXPECT_EQ(s(p->state().anoTrabalho()), "2025/2026");
    EXPECT_FALSE(p->lblAtualizado->isHidden());
    EXPECT_TRUE(p->lblnovaatualizacao->isHidden());
    EXPECT_TRUE(p->tvwPessoa->isHidden());
    EXPECT_TRUE(p->detApuracao->isHidden());
    EXPECT_TRUE(p->Text1->toPlainText().startsWith(QStringLiteral("<listaTransferencias ")));
    EXPECT_EQ(p->IESel->text(), kIE);

    const std::string request = lastRequest();
    EXPECT_THAT(request, HasSubstr("POST /orn/server/index.php?wsdl"));
    EXPECT_THAT(request, HasSubstr("<Transferencia.ver2 xmlns=\"\"><strNome>78045302</strNome>"
                                   "<strDiretorioDestino>vbs</strDiretorioDestino>"
                                   "<Chave>A7K2M9QX</Chave></Transferencia.ver2>"));
}

TEST_F(HistoryWindow, UpdateNoticeComparesTheAnswerWithInfoDip) {
    struct Case {
        const char* what;
        std::string serverVersion;
        QByteArray infoDip;
        bool upToDate;
    } cases[] = {
        {"newer version", "1.17.00", QByteArray("1.16.01"), false},
        {"same version", "1.16.01", QByteArray("1.16.01"), true},
        {"info.dip ends with a line break", "1.16.01", QByteArray("1.16.01\r\n"), false},
        {"empty info.dip", "9.99", QByteArray(), true},
        {"installed text elsewhere in the answer", "2.0", QByteArray("listaTransferencias"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        start(c.serverVersion, c.infoDip);
        Principal* p = select(kIE, kName, kKey);
        prompter.expectNoMessages();
        EXPECT_EQ(p->lblAtualizado->isHidden(), !c.upToDate);
        EXPECT_EQ(p->lblnovaatualizacao->isHidden(), c.upToDate);
        if (!c.upToDate) {
            EXPECT_EQ(s(p->lblnovaatualizacao->text()),
                      "Nova atualização disponível para download - versão " +
                          s(QString::fromStdString(c.serverVersion).leftJustified(20)));
        }
    }
}

TEST_F(HistoryWindow, MissingInfoDipAsksTheServerNothing) {
    start();
    ASSERT_TRUE(QFile::remove(AppPaths::infoPath()));
    Principal* p = select(kIE, kName, kKey);
    EXPECT_THAT(prompter.messages(), ElementsAre(kListUnavailable));
    EXPECT_EQ(requestCount(), 0u);
    EXPECT_EQ(p->GridTransmissoes->rowCount(), 0);
    EXPECT_FALSE(p->state().DataServidor().isValid());
    EXPECT_EQ(p->IESel->text(), kIE) << "the taxpayer stays in use";
}

TEST_F(HistoryWindow, PendingTransmissionsBringOneNotice) {
    start();
    Principal* p = select(QStringLiteral("86123452"), QStringLiteral("Comercial Norte Ltda"),
                          QStringLiteral("Z3P8W1RT"));
    EXPECT_THAT(prompter.messages(), ElementsAre(kPending));
    ASSERT_EQ(p->GridTransmissoes->rowCount(), 2);
    EXPECT_EQ(p->GridTransmissoes->item(0, 0)->text(), QStringLiteral("Verificando"));
    EXPECT_EQ(p->GridTransmissoes->item(1, 0)->text(), QStringLiteral("Verificando"));
}

// Chosen by a double-click in the selection window, a taxpayer with deliveries
// waiting: the list comes, then the notice, whose box (an event loop, as a
// real box runs) is closed while the double-click is still being handled.
// The selection window goes only once that handler is over.
TEST_F(HistoryWindow, DoubleClickSelectionThenPendingNotice) {
    start();
    registry.registerWindow<frmtbl_SelecionaContribuinte>();
    {
        LocalDb db;
        insertContribuinte(db, {QStringLiteral("86123452"), QStringLiteral("Comercial Norte Ltda"),
                                QStringLiteral("04.567.891/0001-13"), QStringLiteral("1091-1/02"),
                                QStringLiteral("Z3P8W1RT"), QString(), false});
    }
    prompter.spinEventLoop(true);
    Principal* p = principal();
    p->show();
    p->mnContribuinteSelecionar_Click();
    QPointer<frmtbl_SelecionaContribuinte> w(registry.window<frmtbl_SelecionaContribuinte>());
    ASSERT_TRUE(w);
    QWidget* viewport = w->GridSelContribuinte->viewport();
    const QPoint at =
        w->GridSelContribuinte->visualItemRect(w->GridSelContribuinte->item(0, 1)).center();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);

    EXPECT_THAT(prompter.messages(), ElementsAre(kPending));
    EXPECT_EQ(p->GridTransmissoes->rowCount(), 2);
    EXPECT_TRUE(p->isEnabled());
    processDeferredDeletes();
    EXPECT_TRUE(w.isNull());
}

TEST_F(HistoryWindow, RejectedKeyDropsTheTaxpayerUntilSelectedAgain) {
    start();
    Principal* p = select(kIE, kName, kKey);
    ASSERT_EQ(p->GridTransmissoes->rowCount(), 2);
    p->state().setDataServidor({});

    select(kIE, kName, QStringLiteral("ERRADA00"));

    EXPECT_THAT(prompter.messages(), ElementsAre(kInvalidKey));
    EXPECT_FALSE(p->state().hasTaxpayer());
    EXPECT_EQ(p->IESel->text(), QString());
    EXPECT_EQ(p->RSSel->text(), QString());
    EXPECT_EQ(p->lblChave->text(), QString());
    EXPECT_TRUE(p->frmImportacao->isHidden());
    EXPECT_TRUE(p->Command1->isHidden());
    EXPECT_FALSE(p->Command1->isEnabled());
    EXPECT_EQ(p->GridTransmissoes->rowCount(), 2) << "the previous rows stay";
    EXPECT_FALSE(p->state().DataServidor().isValid()) << "no header is read from a rejection";

    prompter.clearMessages();
    select(kIE, kName, kKey);
    prompter.expectNoMessages();
    EXPECT_FALSE(p->Command1->isHidden());
    EXPECT_TRUE(p->Command1->isEnabled());
    EXPECT_EQ(p->IESel->text(), kIE);
}

TEST_F(HistoryWindow, ClickOnAProcessedRowShowsItsReceiptTree) {
    start();
    Principal* p = select(kIE, kName, kKey);
    p->labelOK->show();
    p->detApuracao->show();

    clickRow(p, 1);

    prompter.expectNoMessages();
    EXPECT_THAT(lastRequest(), HasSubstr("<Transferencia.ver xmlns=\"\"><strNome>20140401000001"
                                         "</strNome><strDiretorioDestino>vbs"
                                         "</strDiretorioDestino><Chave>A7K2M9QX</Chave>"));
    QTreeWidget* t = p->tvwPessoa;
    EXPECT_FALSE(t->isHidden());
    EXPECT_TRUE(p->labelOK->isHidden());
    EXPECT_FALSE(p->detApuracao->isHidden()) << "a receipt leaves the heading as it was";
    ASSERT_EQ(t->topLevelItemCount(), 1);
    QTreeWidgetItem* root = t->topLevelItem(0);
    EXPECT_EQ(s(root->text(0)), "recibo");
    EXPECT_TRUE(root->isExpanded());
    EXPECT_THAT(childTexts(root),
                ElementsAre(QStringLiteral("entrega: Declaração recebida e processada"),
                            QStringLiteral("contribuinte: Padaria São João Ltda"),
                            QStringLiteral("contador: Não informado"),
                            QStringLiteral("apuracao: Valor adicionado")));
    EXPECT_THAT(childTexts(root->child(0)),
                ElementsAre(QStringLiteral("Declaração recebida e processada"),
                            QStringLiteral("20140401000001"), QStringLiteral("03/2014"),
                            QStringLiteral("01/04/2014 09:00:00")));
    EXPECT_THAT(childTexts(root->child(3)),
                ElementsAre(QStringLiteral("Valor adicionado"), QStringLiteral("12.345,67")));
    // Opened to be read: every item shows its lines, none of them cut.
    for (int i = 0; i < root->childCount(); ++i)
        EXPECT_TRUE(root->child(i)->isExpanded()) << s(root->child(i)->text(0));
    QApplication::processEvents(); // the view lays its items out
    EXPECT_GE(t->columnWidth(0), static_cast<QAbstractItemView*>(t)->sizeHintForColumn(0));
    EXPECT_TRUE(p->Text1->toPlainText().startsWith(QStringLiteral("<recibo>")));
    EXPECT_EQ(p->Text2->text(), QString::number(p->Text1->toPlainText().size()));

    // The next receipt replaces the whole tree.
    clickRow(p, 0);
    ASSERT_EQ(t->topLevelItemCount(), 1);
    EXPECT_THAT(childTexts(t->topLevelItem(0)->child(0)),
                ElementsAre(QStringLiteral("Declaração recebida e processada"),
                            QStringLiteral("20140601000002"), QStringLiteral("04/2014 , 05/2014"),
                            QStringLiteral("02/06/2014 10:30:00")));
}

// A receipt once opened stays with the office: its XML and a printable PDF
// in the local archive, listed by the archive window, which opens the PDF.
TEST_F(HistoryWindow, OpenedReceiptIsKeptAsXmlAndPdfAndTheArchiveWindowOpensIt) {
    start();
    Principal* p = select(kIE, kName, kKey);
    clickRow(p, 1);
    prompter.expectNoMessages();

    const QList<SentArchive::ReceiptFile> kept = SentArchive::receipts(kIE);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0].protocolo, QStringLiteral("20140401000001"));
    QFile xml(kept[0].xmlFile);
    ASSERT_TRUE(xml.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(xml.readAll()), p->Text1->toPlainText());
    QFile pdf(kept[0].pdfFile);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly)) << kept[0].pdfFile.toStdString();
    EXPECT_TRUE(pdf.read(5) == "%PDF-");

    // Two sendings, one after the receipt and one before: one list, newest first.
    const QString sent = QDir(AppPaths::applicationFolder()).filePath(QStringLiteral("gia.zip"));
    QFile zip(sent);
    ASSERT_TRUE(zip.open(QIODevice::WriteOnly));
    zip.write(QByteArray(2048, 'z'));
    zip.close();
    const QDateTime receiptAt = kept[0].savedAt;
    for (const auto& [result, when] :
         {std::pair{SentArchive::kRefused, receiptAt.addDays(-1)},
          std::pair{SentArchive::kAccepted, receiptAt.addSecs(3600)}}) {
        auto sending = SentArchive::ArchivedSending::prepare(kIE, SentArchive::kDeclaration,
                                                             QStringLiteral("1_2026,2_2026"), sent);
        ASSERT_TRUE(sending);
        sending->requestStarted();
        sending->wholeRequestSent();
        ASSERT_EQ(sending->finish(result, QStringLiteral("resposta"), when), QString());
    }

    registry.registerWindow<ArchiveWindow>();
    auto* w = qobject_cast<ArchiveWindow*>(registry.show(QStringLiteral("ArchiveWindow")));
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->Grid->rowCount(), 3);
    const auto column = [w](int c) {
        QStringList out;
        for (int r = 0; r < w->Grid->rowCount(); ++r)
            out << w->Grid->item(r, c)->text();
        return out;
    };
    EXPECT_THAT(column(5), ElementsAre(SentArchive::kAccepted, QString(), SentArchive::kRefused));
    EXPECT_EQ(w->Grid->item(0, 2)->text(), QStringLiteral("01/2026, 02/2026"));
    EXPECT_EQ(w->Grid->item(0, 4)->text(), QStringLiteral("2,00 KiB"));
    // Every column, the digest's included, in sight at the window's first size.
    QApplication::processEvents();
    const int last = w->Grid->columnCount() - 1;
    EXPECT_LE(w->Grid->columnViewportPosition(last) +
                  static_cast<QAbstractItemView*>(w->Grid)->sizeHintForColumn(last),
              w->Grid->viewport()->width());
    EXPECT_EQ(w->Grid->item(0, 6)->toolTip().size(), 64);
    EXPECT_EQ(w->Grid->item(1, 1)->text(), QStringLiteral("Recibo"));
    w->Grid->setCurrentCell(1, 0);
    w->openCopy();
    w->openXml();
    EXPECT_THAT(browser.opened(), ElementsAre(kept[0].pdfFile, kept[0].xmlFile));
    prompter.expectNoMessages();

    // A receipt kept for the accepted sending's first month: a row of its
    // own, and the sending names it. Its page is not to be had (nothing
    // listens at the link's address), so its XML and the PDF are kept.
    Receipts::Keeper keeper(
        soap, soap,
        [](const Receipts::Sending&, const History::ReceiptDocument& receipt, QString*) {
            return receipt.wellFormed ? QByteArray("%PDF-1.4 recibo") : QByteArray();
        },
        QStringLiteral("127.0.0.1:1"));
    const Receipts::Outcome outcome =
        keeper.keep({kIE, kName, kKey, QStringLiteral("01/2026"), QStringLiteral("20140401000001"),
                     QStringLiteral("01/02/2026 10:00:00")});
    EXPECT_EQ(outcome.state, Receipts::Outcome::State::Failed);
    w->cmdAtualizar->click();
    ASSERT_EQ(w->Grid->rowCount(), 4);
    EXPECT_THAT(column(7), testing::Contains(QStringLiteral("protocolo 20140401000001 (01/2026)")));
    const int row = int(column(2).indexOf(QStringLiteral("01/2026")));
    ASSERT_GE(row, 0);
    EXPECT_EQ(w->Grid->item(row, 7)->text(), QStringLiteral("sem a página, PDF do programa, XML"));
    w->Grid->setCurrentCell(row, 0);
    w->openCopy();
    EXPECT_EQ(browser.opened().last(), outcome.files.pdf);
}

TEST_F(HistoryWindow, EnterOnARowShowsItsReceiptLikeAClick) {
    start();
    Principal* p = select(kIE, kName, kKey);
    QApplication::setActiveWindow(p);
    p->GridTransmissoes->setFocus();
    p->GridTransmissoes->setCurrentCell(1, 0);
    QTest::keyClick(p->GridTransmissoes, Qt::Key_Return);
    prompter.expectNoMessages();
    EXPECT_FALSE(p->tvwPessoa->isHidden());
    ASSERT_EQ(p->tvwPessoa->topLevelItemCount(), 1);
    EXPECT_THAT(lastRequest(), HasSubstr("<strNome>20140401000001</strNome>"));
}

TEST_F(HistoryWindow, UnprocessedRowsHideTheDetailWithoutAskingTheServer) {
    start();
    Principal* p = select(kIE, kName, kKey);
    struct Case {
        const char* status;
        bool labelOKHidden;
        bool treeHidden;
        bool headingHidden;
        bool unavailable;
    } cases[] = {
        {"1", true, true, false, false}, {" 1", true, true, false, false},
        {"2", true, true, true, false},  {"03", true, true, true, false},
        {"", false, false, false, true}, {"Processando", false, false, false, true},
    };
    const std::size_t before = requestCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        prompter.clearMessages();
        p->labelOK->show();
        p->tvwPessoa->show();
        p->detApuracao->show();
        p->setGridCell(1, Principal::ColStatus, QString::fromLatin1(c.status));
        clickRow(p, 1);
        EXPECT_EQ(p->labelOK->isHidden(), c.labelOKHidden);
        EXPECT_EQ(p->tvwPessoa->isHidden(), c.treeHidden);
        EXPECT_EQ(p->detApuracao->isHidden(), c.headingHidden);
        if (c.unavailable) {
            EXPECT_THAT(prompter.messages(), ElementsAre(kDetailUnavailable));
        } else {
            prompter.expectNoMessages();
        }
    }
    EXPECT_EQ(requestCount(), before);
}

TEST_F(HistoryWindow, ReceiptAnswerThatIsNoXmlShowsTheParsersReason) {
    start();
    Principal* p = select(kIE, kName, kKey);
    clickRow(p, 1);
    ASSERT_EQ(p->tvwPessoa->topLevelItemCount(), 1);
    const QStringList before = childTexts(p->tvwPessoa->topLevelItem(0));
    p->labelOK->show();

    p->setGridCell(1, Principal::ColProtocolo, QStringLiteral("20990101999999"));
    clickRow(p, 1);

    ASSERT_EQ(prompter.messages().size(), 1);
    const Message& m = prompter.messages().front();
    EXPECT_THAT(s(m.text), Not(IsEmpty()));
    EXPECT_NE(m, kDetailUnavailable);
    EXPECT_EQ(m.title, QString()) << "the box has no title of its own";
    EXPECT_EQ(m.icon, MsgIcon::None);
    EXPECT_EQ(p->Text1->toPlainText(), QStringLiteral("PROTOCOLO_INEXISTENTE"));
    EXPECT_EQ(p->Text2->text(), QStringLiteral("21"));
    EXPECT_EQ(childTexts(p->tvwPessoa->topLevelItem(0)), before) << "the tree keeps its content";
    EXPECT_TRUE(p->labelOK->isHidden());
}

TEST_F(HistoryWindow, ReceiptCommandOpensThePrintableReceiptWithoutPort) {
    start();
    Principal* p = select(kIE, kName, kKey);

    p->cmd_Impressao->click(); // nothing selected after the refresh
    EXPECT_THAT(prompter.messages(), ElementsAre(kSelectDelivery));
    EXPECT_THAT(browser.opened(), IsEmpty());

    prompter.clearMessages();
    p->GridTransmissoes->setCurrentCell(0, 0);
    p->cmd_Impressao->click();
    prompter.expectNoMessages();
    EXPECT_THAT(browser.opened(),
                ElementsAre(QStringLiteral("http://127.0.0.1/protocoloDown.php?IE=78045302&key="
                                           "A7K2M9QX&ref=04/2014,05/2014")));

    // A browser that cannot be started says nothing.
    browser.setResult(false);
    p->GridTransmissoes->setCurrentCell(1, 2);
    p->cmd_Impressao->click();
    prompter.expectNoMessages();
    EXPECT_EQ(browser.opened().size(), 2);
    EXPECT_THAT(s(browser.opened().back()), HasSubstr("&ref=03/2014"));
}

TEST_F(HistoryWindow, ReceiptCommandRefusesAnUnprocessedRow) {
    start();
    Principal* p = select(QStringLiteral("86123452"), QStringLiteral("Comercial Norte Ltda"),
                          QStringLiteral("Z3P8W1RT"));
    prompter.clearMessages();
    p->GridTransmissoes->setCurrentCell(0, 0);
    p->cmd_Impressao->click();
    EXPECT_THAT(prompter.messages(), ElementsAre(kSelectDelivery));
    EXPECT_THAT(browser.opened(), IsEmpty());
}

TEST_F(HistoryWindow, UnreachableServerGivesEachCallsOwnMessage) {
    start();
    Principal* p = select(kIE, kName, kKey);
    sim->writeIni(QStringLiteral("127.0.0.1"), QString::number(closedPort()));

    p->RecebeDadosServer();
    EXPECT_THAT(prompter.messages(), ElementsAre(kListUnavailable));
    EXPECT_EQ(p->GridTransmissoes->rowCount(), 2) << "nothing was changed";

    prompter.clearMessages();
    clickRow(p, 1);
    EXPECT_THAT(prompter.messages(), ElementsAre(kDetailUnavailable));
}

// ---- scripted answers -------------------------------------------------------

// Answers each call with the next scripted SOAP envelope and records what
// was asked. With no answer left it fails like an unreachable server.
class ScriptedSoap : public SoapClient {
public:
    struct Call {
        QString path;
        QString operation;
        QList<Soap::SoapParam> params;
    };
    void answerWith(const QString& returnText, const QString& header = {}) {
        QString escaped = returnText;
        escaped.replace(QLatin1Char('&'), QLatin1String("&amp;"))
            .replace(QLatin1Char('<'), QLatin1String("&lt;"))
            .replace(QLatin1Char('>'), QLatin1String("&gt;"));
        m_answers.push_back(
            QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
                           "xmlns:soap=\"http://www.w3.org/2003/05/soap-envelope\">") +
            header + QStringLiteral("<soap:Body><ns:r xmlns:ns=\"urn:v\"><return>") + escaped +
            QStringLiteral("</return></ns:r></soap:Body></soap:Envelope>"));
    }
    QString call(const QString& path, const QString& operation,
                 const QList<Soap::SoapParam>& params) override {
        m_calls.push_back({path, operation, params});
        if (m_answers.empty())
            throw NetworkError(1, QStringLiteral("sem resposta"));
        const QString answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    const QList<Call>& calls() const { return m_calls; }

private:
    std::deque<QString> m_answers;
    QList<Call> m_calls;
};

// A list the server could send: header at its fixed positions, then rows.
QString listWith(const QString& rows) {
    return QStringLiteral("<listaTransferencias servidor=\"2026-12-07 10:15:00\" "
                          "anos=\"2025/2026\" versao=\"1.16.01             \">") +
           rows + QStringLiteral("</listaTransferencias>");
}

class ScriptedHistoryWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(appDir.isValid());
        AppPaths::setApplicationFolder(appDir.path());
        QFile info(AppPaths::infoPath());
        ASSERT_TRUE(info.open(QIODevice::WriteOnly));
        info.write("1.16.01");
        info.close();
        context.prompter = &prompter;
        context.urlOpener = &browser;
        context.soap = &soap;
        context.windows = &registry;
        registry.registerWindow<Principal>();
        p = registry.window<Principal>();
        p->show();
        p->state().setTaxpayer(kIE, kName, kKey);
        p->Command1->show();
        p->frmImportacao->show();
    }
    void TearDown() override {
        registry.unloadAll();
        processDeferredDeletes();
    }

    // A grid with one processed row and one other.
    void fillGrid() {
        for (int c = 0; c < Principal::kGridColumns; ++c)
            p->setGridCell(0, c, QStringLiteral("antiga"));
        p->setGridCell(1, Principal::ColReferencia, QStringLiteral("03/2014"));
        p->setGridCell(1, Principal::ColProtocolo, QStringLiteral("20140401000001"));
        p->setGridCell(1, Principal::ColStatus, QStringLiteral("3"));
    }

    QTemporaryDir appDir;
    FakePrompter prompter;
    FakeUrlOpener browser;
    ScriptedSoap soap;
    AppContext context;
    WindowRegistry registry{context};
    Principal* p = nullptr;
};

TEST_F(ScriptedHistoryWindow, ListAnswersThatAreNoListLeaveOnlyTheHeader) {
    const QString doctype =
        QStringLiteral("<!DOCTYPE l [<!ENTITY a \"03/2014\">]>") +
        listWith(QStringLiteral("<transferencia><referencia>&a;</referencia></transferencia>"));
    for (const QString& answer : {QStringLiteral("isto não é uma lista"), QString(), doctype}) {
        SCOPED_TRACE(s(answer));
        prompter.clearMessages();
        fillGrid();
        p->Command1->setEnabled(false);
        soap.answerWith(answer);
        p->RecebeDadosServer();
        EXPECT_THAT(prompter.messages(), ElementsAre(kListUnavailable));
        EXPECT_EQ(p->GridTransmissoes->rowCount(), 0);
        EXPECT_TRUE(p->Command1->isEnabled());
        EXPECT_EQ(p->IESel->text(), kIE);
    }
}

TEST_F(ScriptedHistoryWindow, ListShorterThanTheDateFailsAfterFillingTheGrid) {
    p->state().setAnoTrabalho(QStringLiteral("2024/2025"));
    soap.answerWith(QStringLiteral("<listaTransferencias><transferencia><referencia>03/2014"
                                   "</referencia></transferencia></listaTransferencias>"));
    p->RecebeDadosServer();
    EXPECT_THAT(prompter.messages(), ElementsAre(kListUnavailable));
    EXPECT_EQ(p->GridTransmissoes->rowCount(), 1);
    EXPECT_EQ(s(p->state().anoTrabalho()), "2024/2025");
    EXPECT_FALSE(p->state().DataServidor().isValid());
}

TEST_F(ScriptedHistoryWindow, UnauthorisedAccessEmptiesTheGridAndDropsTheTaxpayer) {
    fillGrid();
    soap.answerWith(QStringLiteral("<erro>CHAVE_INEXISTENTE</erro>"));
    p->RecebeDadosServer();
    EXPECT_THAT(prompter.messages(), ElementsAre(kAccessDenied));
    EXPECT_EQ(p->GridTransmissoes->rowCount(), 0);
    EXPECT_TRUE(p->Command1->isEnabled());
    EXPECT_TRUE(p->Command1->isHidden());
    EXPECT_FALSE(p->state().hasTaxpayer());
}

TEST_F(ScriptedHistoryWindow, RejectionAnywhereInTheAnswerDropsTheTaxpayer) {
    soap.answerWith(listWith(QStringLiteral("<transferencia><referencia>03/2014</referencia>"
                                            "</transferencia>")),
                    QStringLiteral("<soap:Header><aviso>CHAVE_IGNORADA</aviso></soap:Header>"));
    p->RecebeDadosServer();
    prompter.expectNoMessages();
    EXPECT_EQ(p->GridTransmissoes->rowCount(), 1) << "the list itself is shown";
    EXPECT_FALSE(p->state().hasTaxpayer());
    EXPECT_TRUE(p->frmImportacao->isHidden());
    EXPECT_TRUE(p->Command1->isHidden());
    EXPECT_FALSE(p->state().DataServidor().isValid());
}

TEST_F(ScriptedHistoryWindow, ReceiptItemWithoutDetailStopsTheTreeThere) {
    fillGrid();
    p->labelOK->show();
    soap.answerWith(QStringLiteral("<recibo><a><DETALHE>Primeiro item</DETALHE><x>1</x></a>"
                                   "<b><x>2</x></b><c><DETALHE>nunca</DETALHE></c></recibo>"));
    p->RecebeDadosProtocolo(1);
    EXPECT_THAT(prompter.messages(), ElementsAre(kDetailUnavailable));
    ASSERT_EQ(soap.calls().size(), 1);
    EXPECT_EQ(soap.calls()[0].operation, QStringLiteral("Transferencia.ver"));
    EXPECT_EQ(soap.calls()[0].params[0].value, QStringLiteral("20140401000001"));
    ASSERT_EQ(p->tvwPessoa->topLevelItemCount(), 1);
    QTreeWidgetItem* root = p->tvwPessoa->topLevelItem(0);
    EXPECT_THAT(childTexts(root), ElementsAre(QStringLiteral("a: Primeiro item")));
    EXPECT_THAT(childTexts(root->child(0)),
                ElementsAre(QStringLiteral("Primeiro item"), QStringLiteral("1")));
    EXPECT_FALSE(p->labelOK->isHidden()) << "the failure comes before the last step";
}

TEST_F(ScriptedHistoryWindow, ShortDetailsAreShownAsDadav) {
    fillGrid();
    soap.answerWith(QStringLiteral("<ns:recibo xmlns:ns=\"urn:v\"><item><DETALHE>abc</DETALHE>"
                                   "</item><item><DETALHE>abcd</DETALHE></item></ns:recibo>"));
    p->RecebeDadosProtocolo(1);
    prompter.expectNoMessages();
    QTreeWidgetItem* root = p->tvwPessoa->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(s(root->text(0)), "recibo");
    EXPECT_THAT(childTexts(root),
                ElementsAre(QStringLiteral("DADAV : abc"), QStringLiteral("item: abcd")));
}

TEST_F(ScriptedHistoryWindow, ReceiptWithExternalReferenceIsRefusedUnread) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString secretPath = QDir(dir.path()).filePath(QStringLiteral("segredo.txt"));
    QFile secret(secretPath);
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("SEGREDO-LOCAL");
    secret.close();

    fillGrid();
    soap.answerWith(QStringLiteral("<recibo><a><DETALHE>Anterior</DETALHE></a></recibo>"));
    p->RecebeDadosProtocolo(1);
    soap.answerWith(QStringLiteral("<!DOCTYPE recibo [<!ENTITY x SYSTEM \"file://") + secretPath +
                    QStringLiteral("\">]><recibo><a><DETALHE>&x;</DETALHE></a></recibo>"));
    p->RecebeDadosProtocolo(1);

    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_THAT(s(prompter.messages()[0].text), HasSubstr("DOCTYPE"));
    EXPECT_EQ(prompter.messages()[0].title, QString());
    EXPECT_THAT(childTexts(p->tvwPessoa->topLevelItem(0)),
                ElementsAre(QStringLiteral("a: Anterior")));
}

} // namespace
