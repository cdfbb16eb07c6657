// The opening, main and About windows, driven headless: what the user sees,
// which window each command opens, the messages shown (exact texts, titles,
// icons, buttons), and keyboard and screen-reader access. Windows that other
// parts of the program provide are stood in for by plain windows registered
// under their class names.
#include "FakeFolderOpener.h"
#include "FakePrompter.h"
#include "FakeUrlOpener.h"
#include "about/frmSobre.h"
#include "app/Abertura.h"
#include "app/AllWindows.h"
#include "app/Principal.h"
#include "app/PrincipalLogic.h"
#include "base/AppPaths.h"
#include "base/SupportLog.h"
#include "followup/RefusedSendingsWindow.h"
#include "shell/AppContext.h"
#include "shell/WindowRegistry.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "store/SendingRepository.h"
#include "support/AccessibilityCheck.h"
#include "support/WaitFor.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QTreeWidget>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

const QString kContador = QStringLiteral("frmContador");
const QString kCria = QStringLiteral("frmtbl_CriaContribuinte");
const QString kSeleciona = QStringLiteral("frmtbl_SelecionaContribuinte");
const QString kAtualizar = QStringLiteral("frmtbl_atualizarContribuinte");
const QString kExclusao = QStringLiteral("frmtbl_exclusaoContribuinte");
const QString kUpload = QStringLiteral("frmUpload");
const QString kSimples = QStringLiteral("frmUploadSimples");
const QString kConexao = QStringLiteral("ConnectionSettingsWindow");
const QString kCertificados = QStringLiteral("CertificatesWindow");
const QString kDiagnostico = QStringLiteral("DiagnosticsWindow");
const QString kVisaoGeral = QStringLiteral("OverviewWindow");
const QString kArquivoLocal = QStringLiteral("ArchiveWindow");
const QString kEnvioLote = QStringLiteral("BatchWindow");

// Every window other parts provide, with a caption like theirs.
const QStringList kStandIns = {kContador,   kCria,         kSeleciona, kAtualizar,    kExclusao,
                               kUpload,     kSimples,      kConexao,   kCertificados, kDiagnostico,
                               kVisaoGeral, kArquivoLocal, kEnvioLote};

void processDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class ShellWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        AppPaths::setApplicationFolder(dir.path());
        context.prompter = &prompter;
        context.urlOpener = &browser;
        context.folders = &folders;
        context.quit = [this] {
            ++quitCalls;
        };
        windows = std::make_unique<WindowRegistry>(context);
        context.windows = windows.get();
        registerAllWindows(*windows);
        for (const QString& name : kStandIns)
            windows->registerWindow(name, [name](AppContext&) {
                auto* w = new QWidget;
                w->setObjectName(name);
                w->setWindowTitle(QStringLiteral("Janela ") + name);
                return w;
            });
    }
    void TearDown() override {
        windows.reset();
        processDeferredDeletes();
    }

    Principal* principal() { return windows->window<Principal>(); }
    bool isShown(const QString& name) const {
        const QWidget* w = windows->loaded(name);
        return w && w->isVisible();
    }
    // Windows of the list that are loaded and visible.
    QStringList shownAmong(const QStringList& names) const {
        QStringList out;
        for (const QString& n : names)
            if (isShown(n))
                out << n;
        return out;
    }
    void addAccountant() {
        LocalDb db;
        ContadorRow row;
        row.cont_cpf_cnpj = QStringLiteral("123.456.789-09");
        row.cont_razao_nome = QStringLiteral("Maria da Silva");
        replaceContador(db, row);
    }
    void addTaxpayer(const QString& ie, std::optional<bool> simples) {
        LocalDb db;
        ContribuinteRow row;
        row.IE = ie;
        row.RazaoSocial = QStringLiteral("Padaria Pão Quente Ltda");
        row.Chave = QStringLiteral("A7K2M9QX");
        row.OptanteSimples = simples;
        insertContribuinte(db, row);
    }
    // A database whose accountant table cannot be read: every statement on
    // it fails in the engine, which reports its own error.
    void breakDatabase() {
        LocalDb db;
        QSqlQuery q(db.database());
        ASSERT_TRUE(q.exec(QStringLiteral("DROP TABLE tblContador")));
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE VIEW tblContador AS SELECT * FROM sumida")));
    }
    Principal* mainWithTaxpayer(const QString& ie, const QString& years) {
        Principal* p = principal();
        p->show();
        p->state().setTaxpayer(ie, QStringLiteral("Padaria Pão Quente Ltda"),
                               QStringLiteral("A7K2M9QX"));
        p->state().setAnoTrabalho(years);
        return p;
    }

    QTemporaryDir dir;
    FakePrompter prompter;
    FakeUrlOpener browser;
    FakeFolderOpener folders;
    AppContext context;
    std::unique_ptr<WindowRegistry> windows;
    int quitCalls = 0;
};

Message okBox(const QString& text, const QString& title = {}, MsgIcon icon = MsgIcon::None) {
    return Message{text, title, icon, MsgButtons::Ok};
}

} // namespace

// ---- registry ---------------------------------------------------------------

TEST_F(ShellWindowsTest, RegistryKeepsOneInstanceUntilUnloaded) {
    QWidget* first = windows->show(kUpload);
    ASSERT_NE(first, nullptr);
    first->setWindowTitle(QStringLiteral("estado guardado"));
    windows->hide(kUpload);
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(windows->show(kUpload), first) << "hide keeps the loaded window";
    EXPECT_EQ(first->windowTitle(), QStringLiteral("estado guardado"));

    QPointer<QWidget> gone = first;
    windows->unload(kUpload);
    EXPECT_EQ(windows->loaded(kUpload), nullptr);
    processDeferredDeletes();
    EXPECT_TRUE(gone.isNull()) << "unload destroys the window";
    QWidget* fresh = windows->window(kUpload);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->windowTitle(), QStringLiteral("Janela frmUpload")) << "a new instance";

    EXPECT_EQ(windows->show(QStringLiteral("frmDesconhecido")), nullptr);
}

TEST_F(ShellWindowsTest, WindowThatDeletesItselfOnCloseDropsOutOfTheRegistry) {
    QWidget* w = windows->show(kSimples);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->close();
    processDeferredDeletes();
    EXPECT_EQ(windows->loaded(kSimples), nullptr);
    EXPECT_NE(windows->window(kSimples), nullptr);
}

// A window whose own handler unloads it (through the registry, or by closing
// with Qt::WA_DeleteOnClose) and then runs an event loop, as a message box or
// a server call does, outlives that loop and the rest of the handler, and is
// destroyed once control is back in the event loop.
TEST_F(ShellWindowsTest, WindowUnloadedByItsOwnHandlerOutlivesTheHandler) {
    for (const bool deleteOnClose : {false, true}) {
        SCOPED_TRACE(deleteOnClose ? "close with WA_DeleteOnClose" : "registry unload");
        QWidget* w = windows->show(kExclusao);
        w->setAttribute(Qt::WA_DeleteOnClose, deleteOnClose);
        auto* button = new QPushButton(QStringLiteral("OK"), w);
        const QPointer<QWidget> alive(w);
        bool aliveAfterBox = false;
        QObject::connect(button, &QPushButton::clicked, [&] {
            if (deleteOnClose)
                w->close();
            else
                windows->unload(kExclusao);
            QEventLoop box;
            QTimer::singleShot(0, &box, &QEventLoop::quit);
            box.exec();
            aliveAfterBox = !alive.isNull();
        });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(aliveAfterBox);
        processDeferredDeletes();
        EXPECT_TRUE(alive.isNull()) << "destroyed once its handler is over";
        EXPECT_EQ(windows->loaded(kExclusao), nullptr);
    }
}

// ---- opening window ---------------------------------------------------------

TEST_F(ShellWindowsTest, OpeningWindowShowsItsTexts) {
    auto* a = windows->window<Abertura>();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->windowTitle(),
              QStringLiteral("GIA - Prefeitura Municipal de Valdoria - Versão 1.16.01"));
    EXPECT_EQ(a->Label4->text(), QStringLiteral("Prefeitura Municipal de Valdoria"));
    EXPECT_EQ(a->Label1->text(),
              QStringLiteral("Este software valida e transmite VAV-UVOD de empresas não "
                             "enquadradas no Simples Nacional, via internet, diretamente do seu "
                             "computador para a Prefeitura Municipal de Valdoria."));
    EXPECT_FALSE(a->Picture1->pixmap().isNull());
    const QStringList captions = {a->Command1->text().remove(QLatin1Char('&')),
                                  a->Command2->text().remove(QLatin1Char('&')),
                                  a->Command3->text().remove(QLatin1Char('&'))};
    EXPECT_THAT(captions, ElementsAre(QStringLiteral("Iniciar"), QStringLiteral("Sobre"),
                                      QStringLiteral("Sair")));
}

TEST_F(ShellWindowsTest, IniciarUnloadsTheOpeningWindowAndShowsTheMainWindow) {
    QPointer<Abertura> a = windows->window<Abertura>();
    a->show();
    QTest::mouseClick(a->Command1, Qt::LeftButton);
    processDeferredDeletes();
    EXPECT_TRUE(a.isNull());
    EXPECT_EQ(windows->loaded(QStringLiteral("Abertura")), nullptr);
    ASSERT_TRUE(isShown(QStringLiteral("Principal")));
    EXPECT_TRUE(principal()->isEnabled());
    prompter.expectNoMessages();
}

// The program registers its other windows once the opening window is up; a
// click on "Iniciar" that comes first has them registered there and then,
// once, and still lands in the main window.
TEST_F(ShellWindowsTest, IniciarBeforeTheOtherWindowsAreRegisteredRegistersThemFirst) {
    windows.reset();
    windows = std::make_unique<WindowRegistry>(context);
    context.windows = windows.get();
    windows->registerWindow<Abertura>();
    int registrations = 0;
    windows->whenMissing([&] {
        ++registrations;
        registerAllWindows(*windows);
    });
    QPointer<Abertura> a = windows->window<Abertura>();
    a->show();
    EXPECT_EQ(registrations, 0) << "the opening window needs nothing else";
    QTest::mouseClick(a->Command1, Qt::LeftButton);
    processDeferredDeletes();
    ASSERT_TRUE(isShown(QStringLiteral("Principal")));
    EXPECT_EQ(windows->show(QStringLiteral("frmDesconhecido")), nullptr);
    EXPECT_EQ(registrations, 1);
}

TEST_F(ShellWindowsTest, SobreThenClosingTheAboutWindowLandsInAnEnabledMainWindow) {
    enum class How { OkButton, CloseBox, Escape };
    for (How how : {How::OkButton, How::CloseBox, How::Escape}) {
        SCOPED_TRACE(static_cast<int>(how));
        windows->unloadAll();
        processDeferredDeletes();
        QPointer<Abertura> a = windows->window<Abertura>();
        a->show();
        QTest::mouseClick(a->Command2, Qt::LeftButton);
        processDeferredDeletes();
        EXPECT_TRUE(a.isNull()) << "the opening window is never shown again";
        QPointer<frmSobre> about = windows->window<frmSobre>();
        ASSERT_TRUE(about && about->isVisible());
        EXPECT_FALSE(isShown(QStringLiteral("Principal")));

        if (how == How::OkButton)
            QTest::mouseClick(about->cmdOK, Qt::LeftButton);
        else if (how == How::CloseBox)
            about->close();
        else
            QTest::keyClick(about, Qt::Key_Escape);
        processDeferredDeletes();
        EXPECT_TRUE(about.isNull()) << "the About window unloads when closed";
        ASSERT_TRUE(isShown(QStringLiteral("Principal")));
        EXPECT_TRUE(principal()->isEnabled());
    }
    prompter.expectNoMessages();
}

TEST_F(ShellWindowsTest, SairEndsTheProgram) {
    auto* a = windows->window<Abertura>();
    a->show();
    QTest::mouseClick(a->Command3, Qt::LeftButton);
    EXPECT_EQ(quitCalls, 1);
    principal()->mnSair->trigger();
    EXPECT_EQ(quitCalls, 2);
    principal()->show();
    principal()->setEnabled(false); // another window has the user's attention
    EXPECT_FALSE(principal()->close());
    EXPECT_EQ(quitCalls, 2);
    principal()->setEnabled(true);
    principal()->close();
    EXPECT_EQ(quitCalls, 3) << "closing the main window ends the program too";
}

// ---- About window -----------------------------------------------------------

TEST_F(ShellWindowsTest, AboutWindowTexts) {
    auto* about = windows->window<frmSobre>();
    EXPECT_EQ(about->lblTitulo->text(), QStringLiteral("ICMS - GIA - " DADAV_PROJECT_VERSION));
    EXPECT_TRUE(about->lblDistribuicao->text().contains(
        QStringLiteral("responsabilidade da Prefeitura Municipal de Valdoria")));
    EXPECT_TRUE(about->lblContato->text().contains(QStringLiteral("www.valdoria.rj.gov.br")));
    EXPECT_EQ(about->cmdOK->text(), QStringLiteral("OK"));
}

TEST_F(ShellWindowsTest, AboutFromTheMenuDisablesTheMainWindowUntilClosed) {
    Principal* p = principal();
    p->show();
    p->mnSobre->trigger();
    auto* about = windows->window<frmSobre>();
    EXPECT_TRUE(about->isVisible());
    EXPECT_FALSE(p->isEnabled());
    QTest::mouseClick(about->cmdOK, Qt::LeftButton);
    EXPECT_TRUE(p->isEnabled());
    EXPECT_TRUE(p->isVisible());
}

// ---- main window at load ----------------------------------------------------

TEST_F(ShellWindowsTest, MainWindowAtLoad) {
    Principal* p = principal();
    p->show();
    EXPECT_EQ(p->windowTitle(),
              QStringLiteral("GIA - Prefeitura Municipal de Valdoria - Versão 1.16.01"));
    const struct {
        QWidget* control;
        QString text;
        bool visible;
    } controls[] = {
        {p->GIASelecionada, QStringLiteral("Contribuinte Selecionado"), true},
        {p->lblLabels, QStringLiteral("Inscrição Estadual"), true},
        {p->IESel, QString(), true},
        {p->Label1, QStringLiteral("Razão Social"), true},
        {p->RSSel, QString(), true},
        {p->lblChave, QString(), false},
        {p->Command1, QStringLiteral("Escolher arquivo para &transmitir"), false},
        {p->frmImportacao, QStringLiteral("Transmissões Realizadas"), false},
        {p->cmd_Impressao, QStringLiteral("Im&primir Protocolo"), false}, // inside the frame
        {p->labelOK, QStringLiteral("Verificação concluída, sem mensagens."), false},
        {p->detApuracao, QStringLiteral("Detalhes da apuração"), false},
        {p->lblAtualizado, QStringLiteral("O programa está atualizado"), true},
        {p->lblnovaatualizacao, QStringLiteral("Nova atualização disponível para download"), false},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.control->objectName().toStdString());
        QString text;
        if (auto* l = qobject_cast<QLabel*>(c.control))
            text = l->text();
        else if (auto* b = qobject_cast<QPushButton*>(c.control))
            text = b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(c.control))
            text = g->title();
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(c.control->isVisible(), c.visible);
    }
    EXPECT_FALSE(p->cmd_Impressao->isHidden()) << "shown once its frame is";
    prompter.expectNoMessages();
}

TEST_F(ShellWindowsTest, GridHeaderColumnsAndWidths) {
    Principal* p = principal();
    QTableWidget* g = p->GridTransmissoes;
    ASSERT_EQ(g->columnCount(), 5);
    const double dpi = g->logicalDpiX();
    const struct {
        const char* header;
        int twips;
        Qt::Alignment align;
    } columns[] = {
        {"Referência", 1500, Qt::AlignHCenter | Qt::AlignTop},
        {"Data de Processamento", 2500, Qt::AlignHCenter | Qt::AlignTop},
        {"Protocolo", 1700, Qt::AlignHCenter | Qt::AlignTop},
        {"Status", 0, Qt::AlignLeft | Qt::AlignVCenter},
        {"Valor Adicionado", 0, Qt::AlignRight | Qt::AlignTop},
    };
    for (int c = 0; c < 5; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(g->horizontalHeaderItem(c)->text(), QString::fromUtf8(columns[c].header));
        EXPECT_EQ(g->isColumnHidden(c), columns[c].twips == 0);
        if (columns[c].twips > 0) {
            EXPECT_EQ(g->columnWidth(c), qRound(columns[c].twips * dpi / 1440.0));
        }
        p->setGridCell(0, c, QStringLiteral("x"));
        EXPECT_EQ(g->item(0, c)->textAlignment(), static_cast<int>(columns[c].align));
    }
    if (dpi == 96) {
        EXPECT_EQ(g->columnWidth(0), 100) << "15 twips per pixel at 96 dpi";
    }
}

TEST_F(ShellWindowsTest, TaxpayerLabelsFollowTheProgramState) {
    Principal* p = principal();
    EXPECT_EQ(context.state, &p->state());
    // What a screen reader announces for a value label, and its heading.
    const auto spoken = [](QLabel* value) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(value);
        return iface->text(QAccessible::Name).toStdString() + " | " +
               iface->text(QAccessible::Description).toStdString();
    };
    EXPECT_EQ(spoken(p->IESel), "nenhum | Inscrição Estadual") << "no taxpayer selected yet";
    EXPECT_EQ(spoken(p->RSSel), "nenhum | Razão Social");
    p->state().setTaxpayer(QStringLiteral("86123452"), QStringLiteral("Padaria Pão Quente Ltda"),
                           QStringLiteral("A7K2M9QX"));
    EXPECT_EQ(p->IESel->text(), QStringLiteral("86123452"));
    EXPECT_EQ(p->RSSel->text(), QStringLiteral("Padaria Pão Quente Ltda"));
    EXPECT_EQ(p->lblChave->text(), QStringLiteral("A7K2M9QX"));
    EXPECT_EQ(spoken(p->IESel), "86123452 | Inscrição Estadual");
    EXPECT_EQ(spoken(p->RSSel), "Padaria Pão Quente Ltda | Razão Social");
    p->state().clearTaxpayer();
    EXPECT_TRUE(p->IESel->text().isEmpty());
    EXPECT_TRUE(p->RSSel->text().isEmpty());
    EXPECT_TRUE(p->lblChave->text().isEmpty());
    EXPECT_EQ(spoken(p->IESel), "nenhum | Inscrição Estadual");
    EXPECT_EQ(spoken(p->RSSel), "nenhum | Razão Social");
    windows->unload(QStringLiteral("Principal"));
    processDeferredDeletes();
    EXPECT_EQ(context.state, nullptr) << "no dangling state once the main window is gone";
}

// ---- menus ------------------------------------------------------------------

TEST_F(ShellWindowsTest, MenusCaptionsAndShortcuts) {
    Principal* p = principal();
    QStringList menus;
    for (QAction* a : p->menuBar()->actions())
        menus << a->text().remove(QLatin1Char('&'));
    EXPECT_THAT(menus, ElementsAre(QStringLiteral("Arquivo"), QStringLiteral("Contribuinte"),
                                   QStringLiteral("Ajuda")));
    QStringList items;
    for (QMenu* m : {p->mnArquivo, p->mnContribuinte, p->mnAjuda})
        for (QAction* a : m->actions())
            items << (a->isSeparator() ? QStringLiteral("-")
                                       : a->text().remove(QLatin1Char('&')) + QLatin1Char('|') +
                                             a->shortcut().toString());
    EXPECT_THAT(items,
                ElementsAre(QStringLiteral("Certificados...|F7"), QStringLiteral("Conexão...|"),
                            QStringLiteral("-"), QStringLiteral("Sair|"), QStringLiteral("Novo|F2"),
                            QStringLiteral("Selecionar|F5"), QStringLiteral("Atualizar|F8"),
                            QStringLiteral("Excluir|"), QStringLiteral("Visão geral|F9"),
                            QStringLiteral("Arquivo local|"), QStringLiteral("Envio em lote|"),
                            QStringLiteral("-"), QStringLiteral("Contador|F6"),
                            QStringLiteral("Ajuda|F1"), QStringLiteral("Diagnóstico...|"),
                            QStringLiteral("Abrir pasta de registros|"), QStringLiteral("Sobre|")));
}

TEST_F(ShellWindowsTest, MenuCommandsOpenTheirWindows) {
    const struct {
        const char* action;
        Qt::Key key; // 0: no shortcut, the menu item is chosen
        QString window;
        bool mainEnabled;
    } cases[] = {
        {"mnContribuinteSelecionar", Qt::Key_F5, kSeleciona, false},
        {"mnAtualizar", Qt::Key_F8, kAtualizar, true},
        {"mnExcluir", Qt::Key(0), kExclusao, true},
        {"mnContador", Qt::Key_F6, kContador, true},
        {"mnConexao", Qt::Key(0), kConexao, true},
        {"mnCertificados", Qt::Key_F7, kCertificados, true},
        {"mnDiagnostico", Qt::Key(0), kDiagnostico, true},
        {"mnVisaoGeral", Qt::Key_F9, kVisaoGeral, true},
        {"mnArquivoLocal", Qt::Key(0), kArquivoLocal, true},
        {"mnEnvioLote", Qt::Key(0), kEnvioLote, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        windows->unloadAll();
        processDeferredDeletes();
        Principal* p = principal();
        p->show();
        QApplication::setActiveWindow(p);
        if (c.key != 0)
            QTest::keyClick(p, c.key);
        else
            p->findChild<QAction*>(QString::fromLatin1(c.action))->trigger();
        EXPECT_THAT(shownAmong(kStandIns), ElementsAre(c.window));
        EXPECT_EQ(p->isEnabled(), c.mainEnabled);
    }
    prompter.expectNoMessages();
}

TEST_F(ShellWindowsTest, OpenLogFolderShowsTheSupportLogsFolderOrSaysWhyNot) {
    Principal* p = principal();
    p->mnRegistros->trigger();
    EXPECT_THAT(prompter.texts(),
                ElementsAre(QStringLiteral("O registro de suporte está desligado.")));
    prompter.clearMessages();

    const QString logs = dir.filePath(QStringLiteral("registros"));
    SupportLog::open(logs);
    p->mnRegistros->trigger();
    EXPECT_THAT(folders.opened(), ElementsAre(logs));
    EXPECT_TRUE(QFileInfo(logs).isDir()); // made for the file manager to show
    prompter.expectNoMessages();

    folders.setResult(false);
    p->mnRegistros->trigger();
    EXPECT_THAT(
        prompter.messages(),
        ElementsAre(okBox(QStringLiteral("Não foi possível abrir a pasta de registros:\r\n") +
                              QDir::toNativeSeparators(logs),
                          QStringLiteral("VAV-UVOD - RJ"), MsgIcon::Warning)));
    SupportLog::open(QString());
}

TEST_F(ShellWindowsTest, HelpNamesTheMunicipalSite) {
    Principal* p = principal();
    p->show();
    QApplication::setActiveWindow(p);
    QTest::keyClick(p, Qt::Key_F1);
    EXPECT_THAT(prompter.messages(),
                ElementsAre(okBox(QStringLiteral("Para maiores infomações acesse: "
                                                 "http://www.valdoria.rj.gov.br"),
                                  QStringLiteral("VAV-UVOD - RJ"), MsgIcon::Information)));
}

TEST_F(ShellWindowsTest, WindowNotInThisVersionLeavesTheMainWindowUsable) {
    WindowRegistry bare(context); // the main window alone
    context.windows = &bare;
    bare.registerWindow<Principal>();
    Principal* p = bare.window<Principal>();
    p->show();
    p->mnContribuinteSelecionar->trigger();
    EXPECT_TRUE(p->isEnabled());
    EXPECT_THAT(prompter.messages(),
                ElementsAre(okBox(QStringLiteral("Esta função ainda não está disponível nesta "
                                                 "versão do programa."),
                                  QStringLiteral("VAV-UVOD - RJ"), MsgIcon::Information)));
    context.windows = windows.get();
}

// ---- new taxpayer -----------------------------------------------------------

TEST_F(ShellWindowsTest, NewTaxpayerWithoutAccountantAsksForOneFirst) {
    Principal* p = principal();
    p->show();
    QApplication::setActiveWindow(p);
    QTest::keyClick(p, Qt::Key_F2);
    EXPECT_THAT(prompter.messages(),
                ElementsAre(okBox(QStringLiteral("É necessário cadastrar um contador antes de "
                                                 "Cadastrar seu(s) Contribuinte(s)."))));
    EXPECT_THAT(shownAmong(kStandIns), ElementsAre(kContador));
    EXPECT_TRUE(p->isEnabled()) << "nothing on screen would enable it again";
}

TEST_F(ShellWindowsTest, NewTaxpayerWithTheRealAccountantWindowEnablesTheMainWindowAgain) {
    WindowRegistry real(context); // the program's own windows, no stand-ins
    context.windows = &real;
    registerAllWindows(real);
    Principal* p = real.window<Principal>();
    p->show();
    p->mnContribuinteNovo->trigger();
    ASSERT_FALSE(prompter.messages().isEmpty());
    EXPECT_EQ(prompter.messages().front().text,
              QStringLiteral("É necessário cadastrar um contador antes de Cadastrar seu(s) "
                             "Contribuinte(s)."));
    QWidget* accountant = real.loaded(kContador);
    ASSERT_NE(accountant, nullptr);
    EXPECT_TRUE(accountant->isVisible());
    EXPECT_TRUE(p->isEnabled()) << "the accountant window enables the main window as it loads";
    context.windows = windows.get();
}

// With the accountant window already open, "Novo" only brings it forward: the
// main window must still end up enabled, stay so when that window closes, and
// its close box must work.
TEST_F(ShellWindowsTest, NewTaxpayerWithTheAccountantWindowAlreadyOpenLeavesTheMainWindowEnabled) {
    WindowRegistry real(context);
    context.windows = &real;
    registerAllWindows(real);
    Principal* p = real.window<Principal>();
    p->show();
    p->mnContador->trigger();
    QWidget* accountant = real.loaded(kContador);
    ASSERT_NE(accountant, nullptr);
    p->mnContribuinteNovo->trigger();
    EXPECT_EQ(real.loaded(kContador), accountant) << "the same window, brought forward";
    EXPECT_TRUE(accountant->isVisible());
    EXPECT_TRUE(p->isEnabled());
    accountant->close();
    EXPECT_TRUE(p->isEnabled());
    EXPECT_TRUE(p->close()) << "the close box works";
    EXPECT_EQ(quitCalls, 1);
    real.unloadAll();
    processDeferredDeletes();
    context.windows = windows.get();
}

// Every command that disables the main window for another window: disabled
// while that window is on screen, enabled again however it goes (closed,
// hidden, unloaded), even when the window itself does nothing about it.
TEST_F(ShellWindowsTest, EveryWindowThatDisablesTheMainWindowGivesItBackHoweverItGoes) {
    addAccountant();
    addTaxpayer(QStringLiteral("86123452"), false);
    const struct {
        const char* what;
        QString window;
        std::function<void(Principal*)> open;
    } cases[] = {
        {"Selecionar", kSeleciona,
         [](Principal* p) {
             p->mnContribuinteSelecionar->trigger();
         }},
        {"Novo", kCria,
         [](Principal* p) {
             p->mnContribuinteNovo->trigger();
         }},
        {"Transmitir", kUpload,
         [](Principal* p) {
             p->Command1_Click();
         }},
        {"Sobre", QStringLiteral("frmSobre"),
         [](Principal* p) {
             p->mnSobre->trigger();
         }},
    };
    enum class Way { Close, Hide, Unload };
    for (const auto& c : cases) {
        for (const Way way : {Way::Close, Way::Hide, Way::Unload}) {
            SCOPED_TRACE(testing::Message() << c.what << " way " << static_cast<int>(way));
            Principal* p = mainWithTaxpayer(QStringLiteral("86123452"), QString());
            c.open(p);
            QWidget* w = windows->loaded(c.window);
            ASSERT_TRUE(w && w->isVisible());
            EXPECT_FALSE(p->isEnabled());
            EXPECT_FALSE(p->close()) << "the close box waits for the other window";
            if (way == Way::Close)
                w->close();
            else if (way == Way::Hide)
                w->hide();
            else
                windows->unload(c.window);
            processDeferredDeletes();
            EXPECT_TRUE(p->isEnabled());
            windows->unloadAll();
            processDeferredDeletes();
        }
    }
}

TEST_F(ShellWindowsTest, NewTaxpayerWithAnAccountantOpensTheRegistrationWindow) {
    addAccountant();
    Principal* p = principal();
    p->show();
    p->mnContribuinteNovo->trigger();
    prompter.expectNoMessages();
    EXPECT_THAT(shownAmong(kStandIns), ElementsAre(kCria));
    EXPECT_FALSE(p->isEnabled());
}

TEST_F(ShellWindowsTest, NewTaxpayerDatabaseFailureShowsTheErrorReport) {
    breakDatabase();
    Principal* p = principal();
    p->show();
    p->mnContribuinteNovo->trigger();
    ASSERT_EQ(prompter.messages().size(), 1);
    const Message& m = prompter.messages().front();
    EXPECT_TRUE(m.text.startsWith(QStringLiteral("\r\nADO Error # 1:\r\n   ADO Error   # ")))
        << m.text.toStdString();
    EXPECT_TRUE(m.text.contains(QStringLiteral("\r\nVB Error # ")));
    EXPECT_EQ(m.title, QString());
    EXPECT_EQ(m.icon, MsgIcon::None);
    EXPECT_THAT(shownAmong(kStandIns), IsEmpty());
    EXPECT_TRUE(p->isEnabled()) << "a failure must not leave the main window dead";
}

// ---- transmit command -------------------------------------------------------

TEST_F(ShellWindowsTest, TransmitWithoutAccountantOpensTheAccountantWindowOnly) {
    {
        LocalDb db; // without the taxpayer table, looking there would fail
        ASSERT_TRUE(QSqlQuery(db.database()).exec(QStringLiteral("DROP TABLE tblContribuinte")));
    }
    Principal* p = mainWithTaxpayer(QStringLiteral("86123452"), QStringLiteral("2025/2026"));
    p->Command1_Click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(okBox(QStringLiteral("É necessário informar os dados do contador "
                                                 "para envio da declaração"),
                                  QStringLiteral("VAV-UVOD - RJ"))));
    EXPECT_THAT(shownAmong(kStandIns), ElementsAre(kContador));
    EXPECT_TRUE(p->state().thisCont_cpf_cnpj().isEmpty());
}

TEST_F(ShellWindowsTest, TransmitChoosesTheWindowByOptanteSimples) {
    addAccountant();
    addTaxpayer(QStringLiteral("86123452"), false);
    addTaxpayer(QStringLiteral("78045302"), true);
    addTaxpayer(QStringLiteral("77812345"), std::nullopt);
    const struct {
        const char* ie;
        QString window;
        bool mainEnabled;
    } cases[] = {
        {"86123452", kUpload, false},
        {"78045302", kSimples, true},
        {"77812345", kSimples, true}, // NULL: the Simples Nacional window
    };
    const Message certificate =
        okBox(QStringLiteral("O Certificado que será solicitado durante a transmissão é do "
                             "contador responsável"),
              QStringLiteral("Informação"), MsgIcon::Information);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ie);
        windows->unloadAll();
        processDeferredDeletes();
        prompter.clearMessages();
        Principal* p = mainWithTaxpayer(QString::fromLatin1(c.ie), QStringLiteral("2025/2026"));
        p->Command1->show();
        QTest::mouseClick(p->Command1, Qt::LeftButton);
        EXPECT_THAT(prompter.messages(), ElementsAre(certificate));
        EXPECT_THAT(shownAmong(kStandIns), ElementsAre(c.window));
        EXPECT_EQ(windows->loaded(c.window)->windowTitle(),
                  QStringLiteral("Janela ") + c.window +
                      QStringLiteral(" - Ano trabalho: 2025/2026"));
        EXPECT_EQ(p->isEnabled(), c.mainEnabled);
        EXPECT_EQ(p->state().thisCont_cpf_cnpj(), QStringLiteral("123.456.789-09"));
    }
}

TEST_F(ShellWindowsTest, TransmitAgainBringsTheSameSimplesWindowWithoutASecondYear) {
    addAccountant();
    addTaxpayer(QStringLiteral("78045302"), true);
    Principal* p = mainWithTaxpayer(QStringLiteral("78045302"), QStringLiteral("2026"));
    p->Command1_Click();
    QWidget* first = windows->loaded(kSimples);
    ASSERT_NE(first, nullptr);
    p->Command1_Click();
    EXPECT_EQ(windows->loaded(kSimples), first);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Janela frmUploadSimples - Ano trabalho: 2026"));

    p->state().setAnoTrabalho(QString());
    windows->unload(kSimples);
    p->Command1_Click();
    EXPECT_EQ(windows->loaded(kSimples)->windowTitle(), QStringLiteral("Janela frmUploadSimples"))
        << "no working years yet: nothing appended";
}

TEST_F(ShellWindowsTest, TransmitForATaxpayerNotOnFileShowsTheErrorReportOnly) {
    addAccountant();
    Principal* p = mainWithTaxpayer(QStringLiteral("86123452"), QStringLiteral("2026"));
    p->Command1_Click();
    EXPECT_THAT(prompter.messages(),
                ElementsAre(okBox(QStringLiteral(
                    "\r\nVB Error #  3021"
                    "\r\n   Generated by Principal.Command1_Click"
                    "\r\n   Description  O contribuinte de Inscrição "
                    "Estadual 86123452 não está cadastrado neste "
                    "computador.\r\n\r\nVersão do programa: " DADAV_PROJECT_VERSION))));
    EXPECT_THAT(shownAmong(kStandIns), IsEmpty());
    EXPECT_TRUE(p->isEnabled());
}

TEST_F(ShellWindowsTest, TransmitDatabaseFailureShowsTheErrorReport) {
    breakDatabase();
    Principal* p = mainWithTaxpayer(QStringLiteral("86123452"), QStringLiteral("2026"));
    p->Command1_Click();
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_TRUE(prompter.messages().front().text.startsWith(QStringLiteral("\r\nADO Error # 1:")));
    EXPECT_THAT(shownAmong(kStandIns), IsEmpty());
    EXPECT_TRUE(p->isEnabled());
}

// ---- browser and grid -------------------------------------------------------

TEST_F(ShellWindowsTest, OpenBrowserAddsTheSchemeAndReportsTheDesktopsAnswer) {
    Principal* p = principal();
    EXPECT_TRUE(p->OpenBrowser(QStringLiteral("www.valdoria.rj.gov.br/protocoloDown.php?IE=1")));
    EXPECT_TRUE(p->OpenBrowser(QStringLiteral("HTTP://127.0.0.1/x")));
    browser.setResult(false);
    EXPECT_FALSE(p->OpenBrowser(QStringLiteral("https://127.0.0.1/y")));
    EXPECT_THAT(browser.opened(),
                ElementsAre(QStringLiteral("http://www.valdoria.rj.gov.br/protocoloDown.php?IE=1"),
                            QStringLiteral("HTTP://127.0.0.1/x"),
                            QStringLiteral("https://127.0.0.1/y")));
    prompter.expectNoMessages();
}

TEST_F(ShellWindowsTest, ClickOnTheGridHeaderDoesNothing) {
    Principal* p = principal();
    p->show();
    p->frmImportacao->show();
    p->setGridCell(0, 0, QStringLiteral("05/2026"));
    p->setGridCell(1, 0, QStringLiteral("01/2026"));
    QTableWidget* g = p->GridTransmissoes;
    g->setCurrentCell(1, 0);
    QHeaderView* header = g->horizontalHeader();
    for (int section : {0, 1}) {
        const QPoint at(header->sectionViewportPosition(section) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    EXPECT_EQ(g->item(0, 0)->text(), QStringLiteral("05/2026")) << "not sorted";
    EXPECT_EQ(g->item(1, 0)->text(), QStringLiteral("01/2026"));
    EXPECT_EQ(g->currentRow(), 1) << "selection unchanged";
    prompter.expectNoMessages();
    EXPECT_THAT(browser.opened(), IsEmpty());
}

// ---- keyboard and screen readers --------------------------------------------

TEST_F(ShellWindowsTest, EveryControlIsNamedAndReachableByKeyboard) {
    Principal* p = principal();
    p->frmImportacao->show();
    p->Command1->show();
    p->tvwPessoa->show();
    const QList<QWidget*> all = {windows->window<Abertura>(), p, windows->window<frmSobre>()};
    for (QWidget* w : all) {
        SCOPED_TRACE(w->objectName().toStdString());
        w->show();
        EXPECT_THAT(AccessibilityCheck::unnamedControls(w), IsEmpty());
        EXPECT_THAT(AccessibilityCheck::unreachableControls(w), IsEmpty());
    }
    EXPECT_THAT(AccessibilityCheck::tabOrder(windows->window<Abertura>()),
                ElementsAre(QStringLiteral("Command1"), QStringLiteral("Command2"),
                            QStringLiteral("Command3")));
    EXPECT_THAT(AccessibilityCheck::tabOrder(p),
                ElementsAre(QStringLiteral("Command1"), QStringLiteral("GridTransmissoes"),
                            QStringLiteral("cmd_Impressao"), QStringLiteral("tvwPessoa")));
}

// The window opens at its usual size; enlarged, the list and the receipt
// tree take the room, so long lines can be read.
TEST_F(ShellWindowsTest, GridAndReceiptTreeGrowWithTheWindow) {
    Principal* p = principal();
    p->frmImportacao->show();
    p->tvwPessoa->show();
    p->show();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(p->size(), QSize(820, 560));
    const QSize grid = p->GridTransmissoes->size();
    const QSize tree = p->tvwPessoa->size();

    p->resize(1400, 900);
    QCoreApplication::sendPostedEvents();
    EXPECT_GE(p->GridTransmissoes->width(), grid.width() + 250);
    EXPECT_GE(p->GridTransmissoes->height(), grid.height() + 300);
    EXPECT_GE(p->tvwPessoa->width(), tree.width() + 200);
    EXPECT_GE(p->tvwPessoa->height(), tree.height() + 300);
}

TEST_F(ShellWindowsTest, AccessibilityCheckFindsUnnamedAndUnreachableControls) {
    QWidget w;
    auto* named = new QPushButton(QStringLiteral("OK"), &w);
    named->setObjectName(QStringLiteral("named"));
    auto* blank = new QPushButton(&w);
    blank->setObjectName(QStringLiteral("blank"));
    auto* edit = new QLineEdit(&w);
    edit->setObjectName(QStringLiteral("edit"));
    auto* labelled = new QLineEdit(&w);
    labelled->setObjectName(QStringLiteral("labelled"));
    auto* label = new QLabel(QStringLiteral("&Nome"), &w);
    label->setBuddy(labelled);
    auto* mouseOnly = new QPushButton(QStringLiteral("Só mouse"), &w);
    mouseOnly->setObjectName(QStringLiteral("mouseOnly"));
    mouseOnly->setFocusPolicy(Qt::ClickFocus);
    EXPECT_THAT(AccessibilityCheck::unnamedControls(&w),
                ElementsAre(QStringLiteral("QPushButton blank"), QStringLiteral("QLineEdit edit")));
    EXPECT_THAT(AccessibilityCheck::unreachableControls(&w),
                ElementsAre(QStringLiteral("QPushButton mouseOnly")));
}

// Sendings refused after processing, as the follow-up stores them: the main
// window's line counts them (one, then two), opens their list with taxpayer,
// months, the server's text and when, and is hidden while there are none.
TEST_F(ShellWindowsTest, RefusedSendingsShowALineThatOpensTheirList) {
    addTaxpayer(QStringLiteral("86123452"), false);
    const QDateTime at(QDate(2026, 12, 7), QTime(10, 30));
    const auto refuse = [&](const QString& refs, const QString& text) {
        LocalDb db;
        SendingEntry e;
        e.ie = QStringLiteral("86123452");
        e.kind = QStringLiteral("declaracao");
        e.references = refs;
        e.sha256 = QStringLiteral("ab");
        e.result = QStringLiteral("aceito");
        e.wholeRequestSent = true;
        e.startedAt = e.endedAt = at;
        e.desk = QStringLiteral("mesa-2");
        setSendingOutcome(db, insertSending(db, e), kOutcomeRefused, QStringLiteral("2"), text,
                          QStringLiteral("P1"), at);
    };
    context.followSendings = true;
    Principal* p = principal();
    p->show();
    // The first round at start finds nothing: no line.
    QCoreApplication::processEvents();
    EXPECT_FALSE(p->lblRecusados->isVisible());
    EXPECT_THAT(AccessibilityCheck::unnamedControls(p), IsEmpty());

    refuse(QStringLiteral("1_2026"), QStringLiteral("Valor adicionado inconsistente"));
    p->followSendings();
    EXPECT_TRUE(p->lblRecusados->isVisible());
    EXPECT_EQ(QTextDocumentFragment::fromHtml(p->lblRecusados->text()).toPlainText(),
              QStringLiteral("1 envio recusado após o processamento — ver"));
    refuse(QStringLiteral("2_2026,3_2026"), QStringLiteral("Declaração sem movimento"));
    p->followSendings();
    EXPECT_EQ(QTextDocumentFragment::fromHtml(p->lblRecusados->text()).toPlainText(),
              QStringLiteral("2 envios recusados após o processamento — ver"));
    if (qEnvironmentVariableIsSet("DADAV_GRAB"))
        p->grab().save(qEnvironmentVariable("DADAV_GRAB") + QStringLiteral("/recusados.png"));

    emit p->lblRecusados->linkActivated(QStringLiteral("ver"));
    auto* list = p->findChild<RefusedSendingsWindow*>();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    ASSERT_EQ(list->grid->rowCount(), 2);
    QStringList rows;
    for (int r = 0; r < 2; ++r) {
        QStringList cells;
        for (int c = 0; c < list->grid->columnCount(); ++c)
            cells << list->grid->item(r, c)->text();
        rows << cells.join(QLatin1Char('|'));
    }
    EXPECT_THAT(rows, UnorderedElementsAre(
                          QStringLiteral("86123452|Padaria Pão Quente Ltda|01/2026|Valor "
                                         "adicionado inconsistente|07/12/2026 10:30"),
                          QStringLiteral("86123452|Padaria Pão Quente Ltda|02/2026, 03/2026|"
                                         "Declaração sem movimento|07/12/2026 10:30")));
    EXPECT_THAT(AccessibilityCheck::unnamedControls(list), IsEmpty());
    if (qEnvironmentVariableIsSet("DADAV_GRAB"))
        list->grab().save(qEnvironmentVariable("DADAV_GRAB") +
                          QStringLiteral("/recusados-lista.png"));
    list->cmdFechar->click();
}
