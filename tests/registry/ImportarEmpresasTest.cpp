// The company import window against the export fixtures, a temporary
// application folder and the in-process server simulator (whose built-in
// companies are those of the export fixture): choosing and loading a file,
// the import, and what the user sees and what is stored.
#include "registry/ImportarEmpresas.h"

#include "access/MdbChild.h"
#include "base/AppPaths.h"
#include "certificates/Certificate.h"
#include "net/NetworkError.h"
#include "net/SoapTransport.h"
#include "shell/AppContext.h"
#include "shell/WindowRegistry.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "support/AccessibilityCheck.h"
#include "support/FakeCertificatePicker.h"
#include "support/FakeFilePicker.h"
#include "support/FakePrompter.h"
#include "support/SimulatorFixture.h"
#include "support/TestCertificates.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const QString kTitle = QStringLiteral("VAV-UVOD - RJ");
const QString kCompleted = QStringLiteral("Importação Concluída");
const QString kExpired = QStringLiteral("Certificado expirado, contate seu fornecedor");

QString fixture(const char* name) {
    return QDir(QStringLiteral(DADAV_FIXTURES_DIR)).filePath(QString::fromLatin1(name));
}

// IE and name (trailing blank included) of the export fixture, in file order.
const std::pair<const char*, const char*> kExport[] = {
    {"78045302", "Padaria São João Ltda "},
    {"86123452", "D'Ávila Comércio de Roupas Ltda "},
    {"77310088", "Restaurante Açaí & Cia Ltda "},
    {"87206416", "Tecnologia Ômega Sistemas S.A. "},
    {"84902764", "Transportes Guanabara Ltda "},
    {"85340123", "Clínica Odontológica Sorriso Ltda "},
};

QString duplicateText(const QString& name, const QString& ie) {
    return QStringLiteral("Empresa já cadastrada anteriormente: \r\n\r\n") + name +
           QStringLiteral("\r\nInscrição Estadual: ") + ie +
           QStringLiteral("\r\n\r\nA empresa não será cadastrada, para não gerar duplicidade");
}

QString notAuthorisedText(const QString& name, const QString& ie) {
    return QStringLiteral("Não é possível cadastrar a empresa: \r\n\r\n") + name +
           QStringLiteral("\r\nInscrição Estadual: ") + ie +
           QStringLiteral("\r\n\r\nEmpresa não está cadastrada nos servidores da Prefeitura.\r\n"
                          "Se a empresa pertencer ao Muncípio, por favor, nos informe "
                          "imediatamente.");
}

Certificate certificate(int fromDays, int toDays,
                        dadav::test::CrlPoint crl = dadav::test::CrlPoint::None) {
    dadav::test::TestCertificateOptions options;
    options.commonName = QStringLiteral("SILVA CONTABILIDADE:11222333000181");
    options.notBefore = QDateTime::currentDateTimeUtc().addDays(fromDays);
    options.notAfter = QDateTime::currentDateTimeUtc().addDays(toDays);
    options.crl = crl;
    return parseCertificateDer(dadav::test::makeCertificateDer(options));
}

// A seed file with the built-in companies of the export except those named.
valdoria::SimulatorOptions seedWithout(QTemporaryDir& dir, const QStringList& missingIes) {
    const std::pair<const char*, const char*> companies[] = {
        {"78045302", "11.222.333/0001-81"}, {"86123452", "04.567.891/0001-13"},
        {"77310088", "27.891.543/0001-00"}, {"87206416", "33.184.762/0001-44"},
        {"84902764", "09.341.257/0002-62"}, {"85340123", "19.056.384/0001-92"},
    };
    QByteArray seed("[servidor]\nversao=1.16.01\n");
    for (const auto& [ie, cnpj] : companies) {
        if (missingIes.contains(QString::fromLatin1(ie)))
            continue;
        seed += QByteArray("\n[empresa]\nie=") + ie + "\ncnpj=" + cnpj + "\nrazao=Empresa\n";
    }
    const QString path = dir.filePath(QStringLiteral("seed.ini"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(seed);
    valdoria::SimulatorOptions options;
    options.seedFile = QFile::encodeName(path).toStdString();
    return options;
}

// Forwards the first calls to the real transport, then fails as a dropped
// connection would.
class FailingAfter : public SoapClient {
public:
    FailingAfter(SoapClient& inner, int calls) : m_inner(inner), m_left(calls) {}
    QString call(const QString& path, const QString& operation,
                 const QList<Soap::SoapParam>& params) override {
        if (m_left-- <= 0)
            throw NetworkError(2, QStringLiteral("Connection closed"));
        return m_inner.call(path, operation, params);
    }

private:
    SoapClient& m_inner;
    int m_left;
};

class ImportWindow : public ::testing::Test {
protected:
    explicit ImportWindow(valdoria::SimulatorOptions options = {})
        : sim(std::make_unique<dadav::test::SimulatorFixture>(std::move(options))) {}

    void SetUp() override {
        sim->useAsApplicationFolder();
        context.prompter = &prompter;
        context.soap = &soap;
        context.windows = &registry;
        context.files = &files;
        context.certificates = &certificates;
        registry.registerWindow<ImportarEmpresas>();
    }

    void TearDown() override {
        registry.unloadAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    ImportarEmpresas* open() { return qobject_cast<ImportarEmpresas*>(registry.show(kName)); }
    ImportarEmpresas* loaded() const {
        return qobject_cast<ImportarEmpresas*>(registry.loaded(kName));
    }

    // Chooses the file through the dialog and loads it.
    ImportarEmpresas* openAndLoad(const QString& path) {
        ImportarEmpresas* w = open();
        files.chooseNext(path);
        w->Command2->click();
        w->Command3->click();
        return w;
    }

    static QList<ContribuinteRow> stored() {
        LocalDb db;
        return listContribuintes(db);
    }

    std::string serverKey(const char* ie) const {
        const auto company = sim->simulator().company(ie);
        return company ? company->chave : std::string();
    }

    const QString kName = QStringLiteral("ImportarEmpresas");
    std::unique_ptr<dadav::test::SimulatorFixture> sim;
    FakePrompter prompter;
    FakeFilePicker files;
    FakeCertificatePicker certificates;
    SoapTransport soap;
    AppContext context;
    WindowRegistry registry{context};
};

TEST_F(ImportWindow, ChoosingAFileShowsItsPathAndTheLoadButton) {
    ImportarEmpresas* w = open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->Text1->text(), QStringLiteral("Selecione o arquivo a importar"));
    EXPECT_FALSE(w->Command3->isVisible());

    files.cancelNext();
    w->Command2->click();
    EXPECT_EQ(w->Text1->text(), QStringLiteral("Selecione o arquivo a importar"));
    EXPECT_FALSE(w->Command3->isVisible());

    files.chooseNext(fixture("novagia-export.mdb"));
    w->Command2->click();
    EXPECT_EQ(w->Text1->text(), fixture("novagia-export.mdb"));
    EXPECT_TRUE(w->Command3->isVisible());
    EXPECT_FALSE(w->MSFlexGrid1->isVisible());

    const OpenFileRequest asked{QStringLiteral("Escolha o arquivo"),
                                QStringLiteral("Arquivos exportados do NovaGIA (*.mdb)"),
                                QStringLiteral("mdb")};
    EXPECT_THAT(files.requests(), ElementsAre(asked, asked));
    prompter.expectNoMessages();
}

TEST_F(ImportWindow, LoadMarksInconsistentRowsRedAndRefusesTheImport) {
    ImportarEmpresas* w = openAndLoad(fixture("novagia-export-inconsistent.mdb"));
    prompter.expectNoMessages();
    QTableWidget* g = w->MSFlexGrid1;
    ASSERT_TRUE(g->isVisible());
    ASSERT_EQ(g->rowCount(), 3);
    const QStringList row1 = {g->item(1, 0)->text(), g->item(1, 1)->text(), g->item(1, 2)->text(),
                              g->item(1, 3)->text()};
    EXPECT_THAT(row1, ElementsAre("79220183", "36.720.915/0001-10", "4520-0/01",
                                  QStringLiteral("Oficina Mecânica Irmãos Peçanha Ltda ")));
    // Row 1 has a wrong check digit, row 2 a blank name; row 0 is sound.
    const bool red[] = {false, true, true};
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < 4; ++c) {
            SCOPED_TRACE(testing::Message() << "row " << row << " column " << c);
            EXPECT_EQ(g->item(row, c)->background().color() == QColor(255, 0, 0), red[row]);
        }
    EXPECT_FALSE(w->Command1->isVisible());
    EXPECT_TRUE(w->Label1->isVisible());
    EXPECT_TRUE(w->Label2->isVisible());
    EXPECT_EQ(w->Label1->text(), QStringLiteral("Atenção, a importação não será concluída, "
                                                "existe inconsistência nos cadastros."));
    EXPECT_EQ(w->Label2->text(),
              QStringLiteral("Para prosseguir, corrija as informações e tente novamente."));
    const QString shot = qEnvironmentVariable("DADAV_SCREENSHOT_DIR");
    if (!shot.isEmpty())
        w->grab().save(QDir(shot).filePath(QStringLiteral("ImportarEmpresas-inconsistente.png")));

    // A consistent file loaded next starts the grid afresh.
    files.chooseNext(fixture("novagia-export.mdb"));
    w->Command2->click();
    w->Command3->click();
    ASSERT_EQ(g->rowCount(), 6);
    for (int row = 0; row < 6; ++row) {
        EXPECT_EQ(g->item(row, 0)->text(), QString::fromLatin1(kExport[row].first));
        EXPECT_EQ(g->item(row, 3)->text(), QString::fromUtf8(kExport[row].second));
        EXPECT_NE(g->item(row, 0)->background().color(), QColor(255, 0, 0));
    }
    EXPECT_EQ(g->item(0, 1)->textAlignment(), Qt::AlignCenter);
    EXPECT_TRUE(w->Command1->isVisible());
    EXPECT_FALSE(w->Label1->isVisible());
    EXPECT_FALSE(w->Label2->isVisible());
    prompter.expectNoMessages();
}

TEST_F(ImportWindow, LoadFailuresLeaveTheWindowAsItWas) {
    QTemporaryDir dir;
    const QString textFile = dir.filePath(QStringLiteral("empresas.mdb"));
    {
        QFile f(textFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("IE;RazaoSocial\r\n78045302;Padaria\r\n").repeated(100));
    }
    struct Case {
        const char* what;
        QString path;
        Message shown;
    };
    const Message invalid{
        QStringLiteral("Erro: Arquivo inválido, você deve selecionar um arquivo conforme o "
                       "manual indicar"),
        kTitle, MsgIcon::None, MsgButtons::Ok};
    const Case cases[] = {
        {"empty export",
         fixture("novagia-export-empty.mdb"),
         {QStringLiteral("Erro: Arquivo está vazio"), QString(), MsgIcon::None, MsgButtons::Ok}},
        {"text file", textFile, invalid},
        {"missing file", dir.filePath(QStringLiteral("sumiu.mdb")), invalid},
        {"damaged export on which the Access library crashes", fixture("damaged-export.mdb"),
         invalid},
    };
    ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompter.clearMessages();
        files.chooseNext(c.path);
        w->Command2->click();
        w->Command3->click();
        EXPECT_THAT(prompter.messages(), ElementsAre(c.shown));
        EXPECT_EQ(w->Text1->text(), c.path);
        EXPECT_TRUE(w->Command3->isVisible()) << "the user may load again";
        EXPECT_FALSE(w->Command1->isVisible()) << "nothing loaded to import";
        EXPECT_FALSE(w->MSFlexGrid1->isVisible());
        EXPECT_EQ(w->MSFlexGrid1->rowCount(), 6) << "the earlier load is not disturbed";
    }
}

TEST_F(ImportWindow, WithoutItsReaderNothingIsReadAndTheUserIsToldWhy) {
    ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
    QTemporaryDir dir;
    struct Restore {
        QString program = MdbChild::program();
        ~Restore() { MdbChild::setProgram(program); }
    } restore;
    MdbChild::setProgram(dir.filePath(QStringLiteral("dadav-leitor-mdb")));
    const Message missing{
        QStringLiteral("Erro: o leitor de arquivos Access (dadav-leitor-mdb) não foi encontrado "
                       "junto ao programa. Reinstale o programa e tente novamente."),
        kTitle, MsgIcon::Critical, MsgButtons::Ok};

    w->Command1->click(); // the import reads the file again
    w->Command3->click();
    EXPECT_THAT(prompter.messages(), ElementsAre(missing, missing));
    EXPECT_THAT(certificates.requests(), IsEmpty());
    EXPECT_THAT(stored(), IsEmpty());
    EXPECT_EQ(loaded(), w) << "the window stays open";
}

TEST_F(ImportWindow, ImportStoresEveryCompanyWithItsKeyAndCloses) {
    ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
    certificates.pickNext(certificate(-30, 300));
    w->Command1->click();

    EXPECT_THAT(prompter.messages(),
                ElementsAre(Message{kCompleted, kTitle, MsgIcon::Information, MsgButtons::Ok}));
    EXPECT_EQ(loaded(), nullptr) << "the window closes after the import";
    ASSERT_EQ(certificates.requests().size(), 1);
    EXPECT_EQ(certificates.requests()[0].title,
              QStringLiteral("Selecione o Certificado Digital (e-CNPJ)"));

    const QList<ContribuinteRow> rows = stored();
    ASSERT_EQ(rows.size(), 6);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(kExport[i].first);
        EXPECT_EQ(rows[i].IE, QString::fromLatin1(kExport[i].first));
        EXPECT_EQ(rows[i].RazaoSocial, QString::fromUtf8(kExport[i].second));
        EXPECT_EQ(rows[i].Chave.size(), 8);
        EXPECT_EQ(rows[i].Chave.toStdString(), serverKey(kExport[i].first));
        EXPECT_EQ(rows[i].CCM, QString());
        EXPECT_EQ(rows[i].OptanteSimples, std::nullopt);
    }
    EXPECT_EQ(rows[0].Chave, QStringLiteral("A7K2M9QX")) << "a key already issued is kept";
    EXPECT_EQ(rows[0].Cnpj, QStringLiteral("11.222.333/0001-81"));
    EXPECT_EQ(rows[0].Cnae, QStringLiteral("4721-1/02"));

    // CCM and OptanteSimples are NULL in the file, not merely empty.
    LocalDb db;
    QSqlQuery q = db.exec(QStringLiteral("SELECT count(*) FROM tblContribuinte WHERE CCM IS NULL "
                                         "AND OptanteSimples IS NULL"),
                          QStringLiteral("t"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 6);
}

// The review grid through real input, with boxes that run event loops as real
// ones do: double-clicks (20 in a row) change nothing; Enter on a row, like a
// real click on "Impo&rtar", imports, and the window goes away under its own
// handler.
TEST_F(ImportWindow, GridDoubleClickChangesNothingEnterAndClickImport) {
    prompter.spinEventLoop(true);
    // Before a file is loaded Enter does nothing (no file dialog, no import).
    QTest::keyClick(open()->Text1, Qt::Key_Return);
    EXPECT_TRUE(files.requests().isEmpty());
    for (const bool byEnter : {true, false}) {
        SCOPED_TRACE(byEnter ? "Enter" : "click");
        {
            LocalDb db;
            db.exec(QStringLiteral("DELETE FROM tblContribuinte"), QStringLiteral("t"));
        }
        prompter.clearMessages();
        ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
        QTableWidget* grid = w->MSFlexGrid1;
        QWidget* viewport = grid->viewport();
        for (int round = 0; round < 20; ++round) {
            const QPoint at = grid->visualItemRect(grid->item(round % 6, 3)).center();
            QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
            QTest::mousePress(viewport, Qt::LeftButton, {}, at);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
        }
        EXPECT_EQ(loaded(), w);
        EXPECT_THAT(stored(), IsEmpty());
        prompter.expectNoMessages();

        certificates.pickNext(certificate(-30, 300));
        if (byEnter)
            QTest::keyClick(grid, Qt::Key_Return);
        else
            QTest::mouseClick(w->Command1, Qt::LeftButton);
        EXPECT_THAT(prompter.messages(),
                    ElementsAre(Message{kCompleted, kTitle, MsgIcon::Information, MsgButtons::Ok}));
        EXPECT_EQ(loaded(), nullptr);
        EXPECT_EQ(stored().size(), 6);
    }
}

TEST_F(ImportWindow, SecondImportReportsEveryCompanyAsDuplicate) {
    openAndLoad(fixture("novagia-export.mdb"));
    certificates.pickNext(certificate(-30, 300));
    loaded()->Command1->click();
    ASSERT_EQ(stored().size(), 6);
    const QList<ContribuinteRow> first = stored();
    prompter.clearMessages();

    ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
    certificates.pickNext(certificate(-30, 300));
    w->Command1->click();

    QList<Message> expected;
    for (const auto& [ie, name] : kExport)
        expected << Message{duplicateText(QString::fromUtf8(name), QString::fromLatin1(ie)), kTitle,
                            MsgIcon::Critical, MsgButtons::Ok};
    expected << Message{kCompleted, kTitle, MsgIcon::Information, MsgButtons::Ok};
    EXPECT_EQ(prompter.messages(), expected);
    EXPECT_EQ(stored(), first);
}

TEST_F(ImportWindow, CompanyRegisteredByHandIsReportedAndTheOthersImported) {
    {
        LocalDb db;
        insertContribuinte(db, {QStringLiteral("87206416"), QStringLiteral("Ômega"),
                                QStringLiteral("33.184.762/0001-44"), QStringLiteral("6201-5/01"),
                                QStringLiteral("H5N4C6DB"), QStringLiteral("123"), true});
    }
    ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
    certificates.pickNext(certificate(-30, 300));
    w->Command1->click();

    EXPECT_EQ(prompter.texts(),
              (QStringList{duplicateText(QString::fromUtf8("Tecnologia Ômega Sistemas S.A. "),
                                         QStringLiteral("87206416")),
                           kCompleted}));
    const QList<ContribuinteRow> rows = stored();
    ASSERT_EQ(rows.size(), 6);
    EXPECT_EQ(rows[0].RazaoSocial, QStringLiteral("Ômega")) << "the registered row is untouched";
    EXPECT_EQ(rows[0].OptanteSimples, std::optional<bool>(true));
}

TEST_F(ImportWindow, CancellingTheCertificateImportsNothing) {
    ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
    certificates.cancelNext();
    w->Command1->click();
    prompter.expectNoMessages();
    EXPECT_THAT(stored(), IsEmpty());
    EXPECT_EQ(loaded(), w);

    certificates.failNext();
    w->Command1->click();
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_TRUE(prompter.texts()[0].startsWith(
        QStringLiteral("O programa não pode inicializar os componentes necessários.\r\n")));
    EXPECT_EQ(prompter.messages()[0].title, QString());
    EXPECT_THAT(stored(), IsEmpty());
    EXPECT_THAT(sim->simulator().rawRequests(), IsEmpty()) << "the server was never asked";
}

TEST_F(ImportWindow, BrokenConnectionStopsWithTheCommunicationMessageAndKeepsWhatWasStored) {
    FailingAfter failing(soap, 2);
    context.soap = &failing;
    ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
    certificates.pickNext(certificate(-30, 300));
    w->Command1->click();

    EXPECT_THAT(
        prompter.messages(),
        ElementsAre(Message{
            QStringLiteral("Detectamos que há um problema de comunicação com a URL "
                           "http://127.0.0.1. \r\n\r\nVerifique sua conectividade de Internet. "
                           "\r\n\r\nObs: Recomendamos solicitar assistência ao responsável pela "
                           "manutenção da rede"),
            QString(), MsgIcon::None, MsgButtons::Ok}));
    const QList<ContribuinteRow> rows = stored();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1].IE, QStringLiteral("86123452"));
    EXPECT_EQ(loaded(), w) << "the window stays open for another try";
    EXPECT_TRUE(w->Command1->isEnabled());
    EXPECT_FALSE(w->prgImportacao->isVisible());
}

// Records what the window shows at each key request.
class WatchingClient : public SoapClient {
public:
    WatchingClient(SoapClient& inner, std::function<void()> watch)
        : m_inner(inner), m_watch(std::move(watch)) {}
    QString call(const QString& path, const QString& operation,
                 const QList<Soap::SoapParam>& params) override {
        m_watch();
        return m_inner.call(path, operation, params);
    }

private:
    SoapClient& m_inner;
    std::function<void()> m_watch;
};

TEST_F(ImportWindow, ProgressNamesTheCompanyBeingProcessed) {
    ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
    QStringList seen;
    bool stayedOpen = false;
    WatchingClient watching(soap, [&] {
        seen << QStringLiteral("%1|%2/%3|%4")
                    .arg(w->lblImportacao->text())
                    .arg(w->prgImportacao->value())
                    .arg(w->prgImportacao->maximum())
                    .arg(w->prgImportacao->isVisible() && !w->Command1->isEnabled() &&
                                 !w->Command2->isEnabled()
                             ? QStringLiteral("true")
                             : QStringLiteral("false"));
        if (seen.size() == 2) {
            w->close(); // the close box in the middle of the import
            stayedOpen = w->isVisible() && loaded() == w;
        }
        const QString shot = qEnvironmentVariable("DADAV_SCREENSHOT_DIR");
        if (seen.size() == 3 && !shot.isEmpty())
            w->grab().save(QDir(shot).filePath(QStringLiteral("ImportarEmpresas-progresso.png")));
    });
    context.soap = &watching;
    certificates.pickNext(certificate(-30, 300));
    w->Command1->click();

    ASSERT_EQ(seen.size(), 6);
    EXPECT_TRUE(stayedOpen) << "the window does not close half-way through the import";
    EXPECT_EQ(loaded(), nullptr) << "it closes once the import is done";
    EXPECT_EQ(seen[0].toStdString(),
              QStringLiteral("Empresa 1 de 6: Padaria São João Ltda (Inscrição Estadual "
                             "78045302)|0/6|true")
                  .toStdString());
    EXPECT_EQ(seen[5].toStdString(),
              QStringLiteral("Empresa 6 de 6: Clínica Odontológica Sorriso Ltda "
                             "(Inscrição Estadual 85340123)|5/6|true")
                  .toStdString());
}

TEST_F(ImportWindow, OnlyTheReviewedFileCanBeImported) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("exportacao.mdb"));
    ASSERT_TRUE(QFile::copy(fixture("novagia-export.mdb"), path));
    ImportarEmpresas* w = openAndLoad(path);
    ASSERT_TRUE(w->Command1->isVisible());

    // Another file chosen: nothing can be imported until it is loaded.
    files.chooseNext(fixture("novagia-export-inconsistent.mdb"));
    w->Command2->click();
    EXPECT_FALSE(w->Command1->isVisible());
    EXPECT_FALSE(w->MSFlexGrid1->isVisible());
    EXPECT_TRUE(w->Command3->isVisible());

    // The reviewed file changed on disk before the import: the import shows
    // it again, red rows and all, and asks for no certificate.
    files.chooseNext(path);
    w->Command2->click();
    w->Command3->click();
    ASSERT_TRUE(w->Command1->isVisible());
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::copy(fixture("novagia-export-inconsistent.mdb"), path));
    w->Command1->click();

    EXPECT_EQ(w->MSFlexGrid1->rowCount(), 3);
    EXPECT_FALSE(w->Command1->isVisible());
    EXPECT_TRUE(w->Label1->isVisible());
    EXPECT_TRUE(certificates.requests().isEmpty());
    EXPECT_THAT(stored(), IsEmpty());
    prompter.expectNoMessages();
}

TEST_F(ImportWindow, EscapeClosesAndTheNextOpeningStartsIdle) {
    ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
    w->reject();
    EXPECT_EQ(loaded(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    ImportarEmpresas* again = open();
    EXPECT_EQ(again->Text1->text(), QStringLiteral("Selecione o arquivo a importar"));
    EXPECT_FALSE(again->MSFlexGrid1->isVisible());
    EXPECT_FALSE(again->Command1->isVisible());
}

TEST_F(ImportWindow, CaptionsAndAccessibility) {
    ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
    EXPECT_EQ(w->windowTitle(),
              QStringLiteral("Cadastro de Empresas - Através do Arquivo NovaGIA - Importação"));
    EXPECT_EQ(w->Command2->text(), QStringLiteral("Selecionar Arquivo"));
    EXPECT_EQ(w->Command3->text(), QStringLiteral("Carregar Dados"));
    EXPECT_EQ(w->Command1->text(), QStringLiteral("Impo&rtar"));
    QStringList headers;
    for (int c = 0; c < 4; ++c)
        headers << w->MSFlexGrid1->horizontalHeaderItem(c)->text();
    EXPECT_THAT(headers, ElementsAre("IE", "CNPJ", "CNAE", QStringLiteral("Razão Social")));
    EXPECT_EQ(w->MSFlexGrid1->columnWidth(ImportarEmpresas::ColRazaoSocial),
              qRound(5000 / 15.0 * w->logicalDpiX() / 96.0));

    EXPECT_THAT(AccessibilityCheck::unnamedControls(w), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::unreachableControls(w), IsEmpty());
    EXPECT_THAT(AccessibilityCheck::tabOrder(w),
                ElementsAre("Text1", "Command2", "Command3", "MSFlexGrid1", "Command1"));

    const QString shot = qEnvironmentVariable("DADAV_SCREENSHOT_DIR");
    if (!shot.isEmpty())
        w->grab().save(QDir(shot).filePath(QStringLiteral("ImportarEmpresas.png")));
}

// Simulators that do not know some of the export's companies.
class ImportWithUnknownCompanies : public ImportWindow {
protected:
    static QTemporaryDir& seedDir() {
        static QTemporaryDir dir;
        return dir;
    }
    explicit ImportWithUnknownCompanies(const QStringList& missing)
        : ImportWindow(seedWithout(seedDir(), missing)) {}
};

class ImportWithoutRestaurant : public ImportWithUnknownCompanies {
protected:
    ImportWithoutRestaurant() : ImportWithUnknownCompanies({QStringLiteral("77310088")}) {}
};

TEST_F(ImportWithoutRestaurant, UnknownCompanyIsReportedAndTheOthersStored) {
    ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
    certificates.pickNext(certificate(-30, 300));
    w->Command1->click();

    EXPECT_THAT(
        prompter.messages(),
        ElementsAre(Message{notAuthorisedText(QString::fromUtf8("Restaurante Açaí & Cia Ltda "),
                                              QStringLiteral("77310088")),
                            kTitle, MsgIcon::Critical, MsgButtons::Ok},
                    Message{kCompleted, kTitle, MsgIcon::Information, MsgButtons::Ok}));
    QStringList ies;
    for (const ContribuinteRow& r : stored())
        ies << r.IE;
    EXPECT_THAT(ies, ElementsAre("78045302", "86123452", "87206416", "84902764", "85340123"));
}

class ImportWithoutBakery : public ImportWithUnknownCompanies {
protected:
    ImportWithoutBakery() : ImportWithUnknownCompanies({QStringLiteral("78045302")}) {}
};

TEST_F(ImportWithoutBakery, ExpiredCertificateStopsAtTheFirstCompanyTheServerAccepts) {
    ImportarEmpresas* w = openAndLoad(fixture("novagia-export.mdb"));
    certificates.pickNext(certificate(-400, -1));
    w->Command1->click();

    EXPECT_EQ(prompter.texts(),
              (QStringList{notAuthorisedText(QString::fromUtf8("Padaria São João Ltda "),
                                             QStringLiteral("78045302")),
                           kExpired}));
    EXPECT_EQ(prompter.messages().last().title, QString());
    EXPECT_THAT(stored(), IsEmpty());
    EXPECT_EQ(sim->simulator().rawRequests().size(), 2u) << "no company after the stop is asked";
    EXPECT_EQ(loaded(), w);
}

} // namespace
