// The overview window filled by a scripted loopback server: one answer per
// taxpayer (processed, pending, invalid key, a reply cut short, or none at
// all), what each row then says, the bound on connections, cancelling half
// way, the CSV written, and the double-click that selects a taxpayer.
#include "overview/OverviewWindow.h"

#include "base/AppPaths.h"
#include "base/SupportLog.h"
#include "certificates/CertificateSources.h"
#include "certificates/CertificateStore.h"
#include "certificates/FolderSource.h"
#include "overview/OverviewFiller.h"
#include "shell/AppContext.h"
#include "shell/ProgramState.h"
#include "shell/WindowRegistry.h"
#include "simulator/Answers.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "store/SendingRepository.h"
#include "support/FakeFilePicker.h"
#include "support/FakePrompter.h"
#include "support/FixedClock.h"
#include "support/TestCertificates.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

namespace {

using namespace Overview;
using dadav::test::waitFor;

// An HTTP server on 127.0.0.1 that answers each SOAP call by the taxpayer it
// names ("strNome"), on this thread's event loop.
class ScriptedServer : public QObject {
public:
    enum class Action { Answer, CutShort, Hold };
    struct Reply {
        Action action = Action::Answer;
        std::string returnText;
    };
    std::map<QString, Reply> script;
    int open = 0;
    int mostOpen = 0;
    int holding = 0; // connections holding a call that is never answered
    int requests = 0;

    ScriptedServer() {
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost, 0)) << "cannot listen on loopback";
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                mostOpen = std::max(mostOpen, ++open);
                connect(s, &QTcpSocket::disconnected, this, [this, s] {
                    --open;
                    holding -= m_held.erase(s) ? 1 : 0;
                    s->deleteLater();
                });
                connect(s, &QTcpSocket::readyRead, this, [this, s] { read(s); });
            }
        });
    }
    // The connections still open are the listener's children and close as
    // it goes, after this object's own members: their handlers must not run then.
    ~ScriptedServer() override {
        for (QTcpSocket* s : m_server.findChildren<QTcpSocket*>())
            s->disconnect(this);
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    void read(QTcpSocket* s) {
        QByteArray& buffer = m_buffers[s];
        buffer += s->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        static const QRegularExpression kLength(QStringLiteral("Content-Length: *(\\d+)"),
                                                QRegularExpression::CaseInsensitiveOption);
        const qsizetype length =
            kLength.match(QString::fromLatin1(buffer.left(end))).captured(1).toLongLong();
        if (buffer.size() < end + 4 + length)
            return;
        const QString body = QString::fromUtf8(buffer.mid(end + 4, length));
        buffer.remove(0, end + 4 + length);
        ++requests;
        static const QRegularExpression kIe(QStringLiteral("<strNome>([^<]*)</strNome>"));
        const Reply reply = script[kIe.match(body).captured(1)];
        if (reply.action == Action::Hold) {
            holding += m_held.insert(s).second ? 1 : 0;
            return;
        }
        const QByteArray answer = QByteArray::fromStdString(
            valdoria::soapResponse("Transferencia.ver2", reply.returnText));
        QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\n"
                          "Content-Length: " +
                          QByteArray::number(answer.size() + 100) + "\r\n\r\n";
        if (reply.action == Action::CutShort) {
            s->write(head + answer.left(20));
            s->flush();
            s->disconnectFromHost();
            return;
        }
        head.replace(QByteArray::number(answer.size() + 100), QByteArray::number(answer.size()));
        s->write(head + answer);
    }

    QTcpServer m_server;
    std::map<QTcpSocket*, QByteArray> m_buffers;
    std::set<QTcpSocket*> m_held;
};

std::string listOf(const std::vector<valdoria::Transmission>& rows) {
    return valdoria::listXml("2014-03-10 09:00:00", "2013/2014", "1.16.01", rows);
}

valdoria::Transmission transmission(const std::string& ref, const std::string& status,
                                    const std::string& protocolo) {
    valdoria::Transmission t;
    t.referencia = ref;
    t.status = status;
    t.protocolo = protocolo;
    return t;
}

class OverviewWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(appDir.isValid());
        AppPaths::setApplicationFolder(appDir.path());
        QFile ini(AppPaths::IniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[servidor]\r\nhost=127.0.0.1\r\nport=" + QByteArray::number(server.port()) +
                  "\r\n[proxy]\r\nmodo=nenhum\r\n");
        ini.close();
        context.prompter = &prompter;
        context.files = &files;
        context.windows = &registry;
        context.state = &state;
        registry.registerWindow<OverviewWindow>();
    }
    void TearDown() override {
        registry.unloadAll();
        SupportLog::open(QString());
    }

    void addTaxpayer(const QString& ie, const QString& name, const QString& key,
                     ScriptedServer::Reply reply) {
        LocalDb db;
        insertContribuinte(
            db, {ie, name, QStringLiteral("00.000.000/0001-91"), QString(), key, QString(), false});
        server.script[ie] = std::move(reply);
    }

    // Situação of every row, by IE.
    static std::map<QString, QString> situations(const OverviewWindow* w) {
        std::map<QString, QString> out;
        for (const Row& r : w->filler().rows())
            out[r.ie()] = r.cells[ColSituacao];
        return out;
    }

    QTemporaryDir appDir;
    ScriptedServer server;
    FakePrompter prompter;
    FakeFilePicker files;
    ProgramState state;
    AppContext context;
    WindowRegistry registry{context};
};

TEST_F(OverviewWindowTest, EachRowSaysWhatItsOwnAnswerSaid) {
    addTaxpayer(QStringLiteral("100"), QStringLiteral("Processada"), QStringLiteral("K1"),
                {ScriptedServer::Action::Answer,
                 listOf({transmission("01/2014, 02/2014", "3", "2014000123")})});
    addTaxpayer(QStringLiteral("200"), QStringLiteral("Pendente"), QStringLiteral("K2"),
                {ScriptedServer::Action::Answer, listOf({transmission("Verificando", "1", "")})});
    addTaxpayer(QStringLiteral("300"), QStringLiteral("Chave errada"), QStringLiteral("K3"),
                {ScriptedServer::Action::Answer, "CHAVE_INVALIDA"});
    addTaxpayer(QStringLiteral("400"), QStringLiteral("Falha"), QStringLiteral("K4"),
                {ScriptedServer::Action::CutShort, {}});
    addTaxpayer(QStringLiteral("500"), QStringLiteral("Sem chave"), QString(), {});
    // Every taxpayer here has CNPJ 00.000.000/0001-91; one certificate carries it.
    CertificateStore store(appDir.filePath(QStringLiteral("certificados")));
    dadav::test::TestCertificateOptions holder;
    holder.commonName = QStringLiteral("EMPRESA:00000000000191");
    // 31 days from the context's today: not yet near its end.
    FixedClock clock(QDateTime(QDate(2026, 3, 10), QTime(9, 0)));
    context.clock = &clock;
    holder.notBefore = clock.now().addDays(-300).toUTC();
    holder.notAfter = QDateTime(clock.today().addDays(31), QTime(12, 0), Qt::UTC);
    const QString cer = appDir.filePath(QStringLiteral("empresa.cer"));
    QFile cerFile(cer);
    ASSERT_TRUE(cerFile.open(QIODevice::WriteOnly));
    cerFile.write(dadav::test::makeCertificateDer(holder));
    cerFile.close();
    store.importFile(cer);
    const CertificateSearch search({std::make_shared<FolderSource>(store.folder())},
                                   std::chrono::seconds(10));
    context.certificateSearch = &search;

    const QString logFolder = appDir.filePath(QStringLiteral("registros"));
    SupportLog::open(logFolder);
    // The follow-up found a sending of the processed taxpayer refused after
    // processing; each refresh asks it to look again.
    {
        LocalDb db;
        SendingEntry e;
        e.ie = QStringLiteral("100");
        e.kind = QStringLiteral("declaracao");
        e.references = QStringLiteral("1_2014");
        e.sha256 = QStringLiteral("ab");
        e.result = QStringLiteral("aceito");
        e.startedAt = clock.now();
        e.desk = QStringLiteral("mesa-2");
        setSendingOutcome(db, insertSending(db, e), kOutcomeRefused, QStringLiteral("2"),
                          QStringLiteral("texto"), QStringLiteral("P1"), clock.now());
    }
    int followUps = 0;
    QObject::connect(&state, &ProgramState::followUpRequested, [&] { ++followUps; });

    auto* w = qobject_cast<OverviewWindow*>(registry.show(QStringLiteral("OverviewWindow")));
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(waitFor([w] {
        return !w->filler().running() &&
               w->filler().rows().value(4).cells.value(ColCertificado) == QStringLiteral("31");
    })) << "the certificate column was never filled";

    const QList<Row>& rows = w->filler().rows();
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0].cells[ColUltimaReferencia], QStringLiteral("01/2014, 02/2014"));
    EXPECT_EQ(rows[0].cells[ColProtocolo], QStringLiteral("2014000123"));
    EXPECT_EQ(rows[0].cells[ColSituacao], kDone);
    EXPECT_EQ(rows[1].cells[ColPendentes], QStringLiteral("Verificando"));
    EXPECT_EQ(rows[1].cells[ColMesesSemEnvio], QStringLiteral("01, 02 (2014)"));
    EXPECT_EQ(rows[2].cells[ColSituacao], kInvalidKey);
    EXPECT_TRUE(rows[3].cells[ColSituacao].startsWith(QStringLiteral("Falha: ")))
        << rows[3].cells[ColSituacao].toStdString();
    EXPECT_EQ(rows[4].cells[ColSituacao], kNoKey);
    EXPECT_EQ(server.requests, 4); // none for the taxpayer without a key
    // Each call leaves its line in the support log, as the main window's do;
    // the cut answer says it failed.
    QFile log(QDir(logFolder).filePath(QStringLiteral("dadav.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList logged =
        QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(logged.size(), 4);
    EXPECT_EQ(logged.filter(QStringLiteral(": resposta HTTP 200, ")).size(), 3);
    EXPECT_EQ(logged.filter(QStringLiteral(": falhou (")).size(), 1);
    EXPECT_EQ(w->lblContagem->text(), QStringLiteral("5 de 5"));
    EXPECT_FALSE(w->cmdCancelar->isEnabled());
    prompter.expectNoMessages();

    // What the table shows is what the rows say.
    const QAbstractItemModel* view = w->Grid->model();
    ASSERT_EQ(view->rowCount(), 5);
    EXPECT_EQ(view->index(3, ColSituacao).data().toString(), rows[3].cells[ColSituacao]);
    EXPECT_EQ(view->index(0, ColSituacao).data().toString(), kRefusedAfterProcessing);
    EXPECT_EQ(view->index(1, ColSituacao).data().toString(), kDone);
    EXPECT_EQ(followUps, 1);
    // What to do about each company is in sight at the window's first size.
    EXPECT_LE(w->Grid->columnViewportPosition(ColSituacao) + w->Grid->columnWidth(ColSituacao),
              w->Grid->viewport()->width());

    // The CSV holds the table as filtered.
    w->txtFiltro->setText(QStringLiteral("pendente"));
    const QString csv = appDir.filePath(QStringLiteral("visao.csv"));
    files.chooseNext(csv);
    w->exportCsv();
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3); // header, one row, nothing after the last line break
    EXPECT_TRUE(
        lines[0].startsWith("\xEF\xBB\xBFIE;Raz\xC3\xA3o social;Situa\xC3\xA7\xC3\xA3o;Chave;"));
    EXPECT_EQ(lines[1], "200;Pendente;OK;Sim;N\xC3\xA3o;;;;Verificando;01, 02 (2014);31\r");

    // The certificate's cell is marked from 30 days before the end on.
    const auto certificateCell = [w] {
        const QModelIndex cell = w->Grid->model()->index(0, ColCertificado);
        return cell.data().toString() + QLatin1Char('|') + cell.data(Qt::ToolTipRole).toString() +
               QLatin1Char('|') +
               QString::number(cell.data(Qt::ForegroundRole).canConvert<QBrush>());
    };
    EXPECT_EQ(certificateCell(), QStringLiteral("31||0"));
    clock.set(clock.now().addDays(1));
    w->cmdAtualizar->click();
    ASSERT_TRUE(waitFor([w] {
        return !w->filler().running() &&
               w->filler().rows().value(1).cells.value(ColCertificado) == QStringLiteral("30");
    }));
    EXPECT_EQ(certificateCell(), QStringLiteral("30|30 dias, vence em breve|1"));
    EXPECT_EQ(followUps, 2);
}

TEST_F(OverviewWindowTest, AtMostSixConnectionsAndCancelLeavesEveryRowFinal) {
    for (int i = 0; i < 12; ++i) {
        const QString ie = QString::number(1000 + i);
        // The first eight are answered; the others never are.
        addTaxpayer(ie, QStringLiteral("Empresa %1").arg(i), QStringLiteral("K"),
                    {i < 8 ? ScriptedServer::Action::Answer : ScriptedServer::Action::Hold,
                     listOf({transmission("01/2014", "3", "P")})});
    }
    auto* w = qobject_cast<OverviewWindow*>(registry.show(QStringLiteral("OverviewWindow")));
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(waitFor([w] { return w->filler().done() == 8; }));
    EXPECT_TRUE(w->filler().running());
    EXPECT_TRUE(w->cmdCancelar->isEnabled());
    EXPECT_LE(server.mostOpen, 6);
    EXPECT_LE(w->filler().mostInFlight(), 6);

    w->cancelFilling();
    EXPECT_FALSE(w->filler().running());
    EXPECT_TRUE(w->cmdAtualizar->isEnabled());
    int done = 0;
    int cancelled = 0;
    for (const auto& [ie, situacao] : situations(w)) {
        done += situacao == kDone;
        cancelled += situacao == kCancelled;
    }
    EXPECT_EQ(done, 8);
    EXPECT_EQ(cancelled, 4);
    EXPECT_EQ(w->Grid->model()->index(11, ColSituacao).data().toString(), kCancelled);
    // Nothing can arrive for a cancelled row afterwards: its connection is
    // gone (those of answered calls may stay open for the next calls).
    EXPECT_TRUE(waitFor([this] { return server.holding == 0; }))
        << server.holding << " held calls' connections still open after the cancel";
    QCoreApplication::processEvents();
    EXPECT_EQ(situations(w)[QStringLiteral("1011")], kCancelled);
}

TEST_F(OverviewWindowTest, AHeldCallEndsItsRowAtTheDeadline) {
    server.script[QStringLiteral("100")] = {ScriptedServer::Action::Hold, {}};
    OverviewFiller filler(4, nullptr, nullptr, std::chrono::milliseconds(300));
    filler.start(
        {{QStringLiteral("100"), QStringLiteral("Retida"), QStringLiteral("00.000.000/0001-91"),
          QString(), QStringLiteral("K1"), QString(), false}},
        QDate(2014, 3, 10));
    ASSERT_TRUE(waitFor([&] { return !filler.running(); })) << "the held call never ended";
    const QString situacao = filler.rows().value(0).cells.value(ColSituacao);
    EXPECT_TRUE(situacao.startsWith(QStringLiteral("Falha: "))) << situacao.toStdString();
    EXPECT_TRUE(situacao.contains(QStringLiteral("0,3 s"))) << situacao.toStdString();
}

TEST_F(OverviewWindowTest, DoubleClickMakesTheTaxpayerTheOneInUse) {
    addTaxpayer(QStringLiteral("100"), QStringLiteral("Alfa"), QStringLiteral("K1"),
                {ScriptedServer::Action::Answer, listOf({})});
    addTaxpayer(QStringLiteral("200"), QStringLiteral("Beta"), QStringLiteral("K2"),
                {ScriptedServer::Action::Answer, listOf({})});
    // The main window: any window loaded under its name.
    registry.registerWindow(QStringLiteral("Principal"),
                            [](AppContext&) -> QWidget* { return new QWidget; });
    QWidget* main = registry.window(QStringLiteral("Principal"));
    int refreshes = 0;
    QObject::connect(&state, &ProgramState::listRefreshRequested, [&] { ++refreshes; });
    auto* w = qobject_cast<OverviewWindow*>(registry.show(QStringLiteral("OverviewWindow")));
    ASSERT_TRUE(waitFor([w] { return !w->filler().running(); }));

    w->Grid->sortByColumn(ColRazaoSocial, Qt::DescendingOrder); // Beta first
    w->useTaxpayerAt(0);
    EXPECT_EQ(state.IE(), QStringLiteral("200"));
    EXPECT_EQ(state.Chave(), QStringLiteral("K2"));
    EXPECT_EQ(refreshes, 1);

    // While a transmission window holds the main window, the taxpayer stays.
    main->setEnabled(false);
    w->useTaxpayerAt(1);
    EXPECT_EQ(state.IE(), QStringLiteral("200"));
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(refreshes, 1);

    // "Enviar em lote": the selected rows' taxpayers, as the view shows them.
    QStringList batch;
    QObject::connect(&state, &ProgramState::batchRequested,
                     [&](const QStringList& ies) { batch = ies; });
    w->Grid->selectAll();
    w->cmdLote->click();
    EXPECT_EQ(batch, (QStringList{QStringLiteral("200"), QStringLiteral("100")}));
}

} // namespace
