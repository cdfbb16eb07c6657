// The main window.
#include "app/Principal.h"

#include "app/PrincipalLogic.h"
#include "base/ProgramInfo.h"
#include "base/SiteInfo.h"
#include "base/SupportLog.h"
#include "batchwindow/BatchWindow.h"
#include "certificates/CertificateSources.h"
#include "certificates/ExpiryWatch.h"
#include "certificateswindow/WatchedHolders.h"
#include "platform/FolderOpener.h"
#include "platform/Prompter.h"
#include "platform/Twips.h"
#include "platform/UrlOpener.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/ErrorReport.h"
#include "shell/WindowRegistry.h"
#include "store/ContadorRepository.h"
#include "store/DbError.h"
#include "store/LocalDb.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kTitleRJ = QStringLiteral("VAV-UVOD - RJ");

struct ColumnSetUp {
    const char* header;
    int twips;
    Qt::Alignment alignment;
};

// Alignment "the grid's default" for Status is left and vertically centred.
const ColumnSetUp kColumns[Principal::kGridColumns] = {
    {"Referência", 1500, Qt::AlignHCenter | Qt::AlignTop},
    {"Data de Processamento", 2500, Qt::AlignHCenter | Qt::AlignTop},
    {"Protocolo", 1700, Qt::AlignHCenter | Qt::AlignTop},
    {"Status", 0, Qt::AlignLeft | Qt::AlignVCenter},
    {"Valor Adicionado", 0, Qt::AlignRight | Qt::AlignTop},
};

} // namespace

Principal::Principal(AppContext& context, QWidget* parent)
    : QMainWindow(parent), m_context(context) {
    setObjectName(QStringLiteral("Principal"));
    setWindowTitle(ProgramInfo::mainCaption());
    setWindowIcon(Emblem::icon());
    m_context.state = &m_state;
    m_waitingFor = new DisabledWhileShown(this);

    buildControls();
    buildMenus();
    setUpGrid();
    setUpHistory();
    connect(&m_state, &ProgramState::taxpayerChanged, this, &Principal::showTaxpayer);
    connect(&m_state, &ProgramState::taxpayerSelected, this, [this] {
        frmImportacao->setVisible(true);
        Command1->setVisible(true);
    });
    connect(&m_state, &ProgramState::listRefreshRequested, this, &Principal::RecebeDadosServer);
    connect(&m_state, &ProgramState::batchRequested, this, &Principal::showBatch);
    connect(&m_state, &ProgramState::followUpRequested, this, &Principal::followSendings);
    showTaxpayer();
    resize(820, 560);
    // The expiry line needs every certificate source listed: queued, so the
    // window is drawn before any reader child starts.
    QTimer::singleShot(0, this, &Principal::startExpiryWatch);
    // A batch this desk left unfinished is offered once the window is up.
    QTimer::singleShot(0, this, [this] { BatchWindow::offerResume(m_context); });
    startFollowUp();
}

void Principal::startExpiryWatch() {
    if (!m_context.certificateSearch)
        return;
    listCertificatesAsync(
        m_context.certificateSearch->sources(), m_context.certificateSearch->timeout(), this,
        [this](const CertificateListing& listing) {
            try {
                const QString notice = expiryNotice(watchHolders(
                    registeredHolders(), listing.certificates, m_context.clock->today()));
                lblCertificados->setText(notice);
                lblCertificados->setVisible(!notice.isEmpty());
            } catch (const RuntimeError&) {
                // The notice is a courtesy: a database that cannot be read is
                // reported by the windows that need it, not here at start.
                lblCertificados->hide();
            }
        });
}

Principal::~Principal() {
    if (m_context.state == &m_state)
        m_context.state = nullptr;
}

void Principal::buildControls() {
    auto* central = new QWidget(this);
    setCentralWidget(central);

    GIASelecionada = new QGroupBox(QStringLiteral("Contribuinte Selecionado"), central);
    GIASelecionada->setObjectName(QStringLiteral("GIASelecionada"));
    lblLabels = new QLabel(QStringLiteral("Inscrição Estadual"), GIASelecionada);
    lblLabels->setObjectName(QStringLiteral("lblLabels"));
    IESel = new QLabel(GIASelecionada);
    IESel->setObjectName(QStringLiteral("IESel"));
    Label1 = new QLabel(QStringLiteral("Razão Social"), GIASelecionada);
    Label1->setObjectName(QStringLiteral("Label1"));
    RSSel = new QLabel(GIASelecionada);
    RSSel->setObjectName(QStringLiteral("RSSel"));
    lblChave = new QLabel(QStringLiteral("LABEL DA CHAVE!"), GIASelecionada);
    lblChave->setObjectName(QStringLiteral("lblChave"));
    lblChave->hide(); // holds the access key; never displayed
    for (QLabel* value : {IESel, RSSel}) {
        QFont bold = value->font();
        bold.setBold(true);
        value->setFont(bold);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    // A screen reader reads the value as the label's name; the heading it
    // belongs to goes in the description.
    IESel->setAccessibleDescription(lblLabels->text());
    RSSel->setAccessibleDescription(Label1->text());
    auto* taxpayer = new QGridLayout(GIASelecionada);
    taxpayer->addWidget(lblLabels, 0, 0);
    taxpayer->addWidget(IESel, 0, 1);
    taxpayer->addWidget(Label1, 1, 0);
    taxpayer->addWidget(RSSel, 1, 1);
    taxpayer->addWidget(lblChave, 2, 1);
    taxpayer->setColumnStretch(1, 1);

    Command1 = new QPushButton(QStringLiteral("Escolher arquivo para &transmitir"), central);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->hide();
    connect(Command1, &QPushButton::clicked, this, &Principal::Command1_Click);

    frmImportacao = new QGroupBox(QStringLiteral("Transmissões Realizadas"), central);
    frmImportacao->setObjectName(QStringLiteral("frmImportacao"));
    frmImportacao->hide();
    GridTransmissoes = new QTableWidget(0, kGridColumns, frmImportacao);
    GridTransmissoes->setObjectName(QStringLiteral("GridTransmissoes"));
    GridTransmissoes->setAccessibleName(frmImportacao->title());
    cmd_Impressao = new QPushButton(QStringLiteral("Im&primir Protocolo"), frmImportacao);
    cmd_Impressao->setObjectName(QStringLiteral("cmd_Impressao"));
    detApuracao = new QLabel(QStringLiteral("Detalhes da apuração"), frmImportacao);
    detApuracao->setObjectName(QStringLiteral("detApuracao"));
    detApuracao->hide();
    labelOK = new QLabel(QStringLiteral("Verificação concluída, sem mensagens."), frmImportacao);
    labelOK->setObjectName(QStringLiteral("labelOK"));
    labelOK->hide();
    tvwPessoa = new QTreeWidget(frmImportacao);
    tvwPessoa->setObjectName(QStringLiteral("tvwPessoa"));
    tvwPessoa->setAccessibleName(detApuracao->text());
    tvwPessoa->setHeaderHidden(true);
    tvwPessoa->hide(); // shown with a receipt's detail

    auto* gridSide = new QVBoxLayout;
    gridSide->addWidget(GridTransmissoes, 1);
    gridSide->addWidget(cmd_Impressao, 0, Qt::AlignLeft);
    auto* detailSide = new QVBoxLayout;
    detailSide->addWidget(detApuracao);
    detailSide->addWidget(labelOK);
    detailSide->addWidget(tvwPessoa, 1);
    auto* transmissions = new QHBoxLayout(frmImportacao);
    transmissions->addLayout(gridSide, 3);
    transmissions->addLayout(detailSide, 2);

    lblAtualizado = new QLabel(QStringLiteral("O programa está atualizado"), central);
    lblAtualizado->setObjectName(QStringLiteral("lblAtualizado"));
    lblnovaatualizacao =
        new QLabel(QStringLiteral("Nova atualização disponível para download"), central);
    lblnovaatualizacao->setObjectName(QStringLiteral("lblnovaatualizacao"));
    lblnovaatualizacao->hide();
    lblCertificados = new QLabel(central);
    lblCertificados->setObjectName(QStringLiteral("lblCertificados"));
    lblCertificados->hide();
    lblRecusados = new QLabel(central);
    lblRecusados->setObjectName(QStringLiteral("lblRecusados"));
    lblRecusados->setAccessibleName(QStringLiteral("Envios recusados após o processamento"));
    lblRecusados->setTextFormat(Qt::RichText);
    lblRecusados->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                          Qt::LinksAccessibleByKeyboard);
    lblRecusados->setStyleSheet(QStringLiteral("QLabel { color: #a40000; font-weight: bold; }"));
    connect(lblRecusados, &QLabel::linkActivated, this, &Principal::showRefused);
    lblRecusados->hide();

    // The last answer's raw XML and its length, kept for inspection only.
    Text1 = new QPlainTextEdit(central);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("Resposta do servidor"));
    Text1->setReadOnly(true);
    Text1->hide();
    Text2 = new QLineEdit(central);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setAccessibleName(QStringLiteral("Tamanho da resposta"));
    Text2->setReadOnly(true);
    Text2->hide();

    auto* status = new QHBoxLayout;
    status->addWidget(lblAtualizado);
    status->addWidget(lblnovaatualizacao);
    status->addStretch(1);
    status->addWidget(lblCertificados);

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(GIASelecionada);
    layout->addWidget(Command1, 0, Qt::AlignLeft);
    layout->addWidget(lblRecusados);
    layout->addWidget(frmImportacao, 1);
    layout->addStretch(0);
    layout->addLayout(status);
    layout->addWidget(Text1);
    layout->addWidget(Text2);

    setTabOrder(Command1, GridTransmissoes);
    setTabOrder(GridTransmissoes, cmd_Impressao);
    setTabOrder(cmd_Impressao, tvwPessoa);
    setTabOrder(tvwPessoa, Text1);
    setTabOrder(Text1, Text2);
}

void Principal::buildMenus() {
    // "&" gives the menus Alt accelerators; the captions read as before.
    mnArquivo = menuBar()->addMenu(QStringLiteral("&Arquivo"));
    mnArquivo->setObjectName(QStringLiteral("mnArquivo"));
    mnCertificados = mnArquivo->addAction(QStringLiteral("C&ertificados..."), this,
                                          &Principal::showCertificates);
    mnCertificados->setObjectName(QStringLiteral("mnCertificados"));
    mnCertificados->setShortcut(Qt::Key_F7);
    mnConexao = mnArquivo->addAction(QStringLiteral("&Conexão..."), this,
                                     &Principal::showConnectionSettings);
    mnConexao->setObjectName(QStringLiteral("mnConexao"));
    mnArquivo->addSeparator();
    mnSair = mnArquivo->addAction(QStringLiteral("&Sair"), this, &Principal::mnSair_Click);
    mnSair->setObjectName(QStringLiteral("mnSair"));

    mnContribuinte = menuBar()->addMenu(QStringLiteral("&Contribuinte"));
    mnContribuinte->setObjectName(QStringLiteral("mnContribuinte"));
    mnContribuinteNovo = mnContribuinte->addAction(QStringLiteral("&Novo"), this,
                                                   &Principal::mnContribuinteNovo_Click);
    mnContribuinteNovo->setObjectName(QStringLiteral("mnContribuinteNovo"));
    mnContribuinteNovo->setShortcut(Qt::Key_F2);
    mnContribuinteSelecionar = mnContribuinte->addAction(
        QStringLiteral("&Selecionar"), this, &Principal::mnContribuinteSelecionar_Click);
    mnContribuinteSelecionar->setObjectName(QStringLiteral("mnContribuinteSelecionar"));
    mnContribuinteSelecionar->setShortcut(Qt::Key_F5);
    mnAtualizar = mnContribuinte->addAction(QStringLiteral("A&tualizar"), this,
                                            &Principal::mnAtualizar_Click);
    mnAtualizar->setObjectName(QStringLiteral("mnAtualizar"));
    mnAtualizar->setShortcut(Qt::Key_F8);
    mnExcluir =
        mnContribuinte->addAction(QStringLiteral("&Excluir"), this, &Principal::mnExcluir_Click);
    mnExcluir->setObjectName(QStringLiteral("mnExcluir"));
    mnVisaoGeral =
        mnContribuinte->addAction(QStringLiteral("&Visão geral"), this, &Principal::showOverview);
    mnVisaoGeral->setObjectName(QStringLiteral("mnVisaoGeral"));
    mnVisaoGeral->setShortcut(Qt::Key_F9);
    mnArquivoLocal =
        mnContribuinte->addAction(QStringLiteral("Arquivo &local"), this, &Principal::showArchive);
    mnArquivoLocal->setObjectName(QStringLiteral("mnArquivoLocal"));
    mnEnvioLote =
        mnContribuinte->addAction(QStringLiteral("Env&io em lote"), this, [this] { showBatch(); });
    mnEnvioLote->setObjectName(QStringLiteral("mnEnvioLote"));
    space2 = mnContribuinte->addSeparator();
    space2->setObjectName(QStringLiteral("space2"));
    mnContador =
        mnContribuinte->addAction(QStringLiteral("C&ontador"), this, &Principal::mnContador_Click);
    mnContador->setObjectName(QStringLiteral("mnContador"));
    mnContador->setShortcut(Qt::Key_F6);

    mnAjuda = menuBar()->addMenu(QStringLiteral("A&juda"));
    mnAjuda->setObjectName(QStringLiteral("mnAjuda"));
    mnSAjuda = mnAjuda->addAction(QStringLiteral("&Ajuda"), this, &Principal::mnSAjuda_Click);
    mnSAjuda->setObjectName(QStringLiteral("mnSAjuda"));
    mnSAjuda->setShortcut(Qt::Key_F1);
    mnDiagnostico =
        mnAjuda->addAction(QStringLiteral("&Diagnóstico..."), this, &Principal::showDiagnostics);
    mnDiagnostico->setObjectName(QStringLiteral("mnDiagnostico"));
    mnRegistros = mnAjuda->addAction(QStringLiteral("Abrir &pasta de registros"), this,
                                     &Principal::openSupportLogFolder);
    mnRegistros->setObjectName(QStringLiteral("mnRegistros"));
    mnSobre = mnAjuda->addAction(QStringLiteral("&Sobre"), this, &Principal::mnSobre_Click);
    mnSobre->setObjectName(QStringLiteral("mnSobre"));

    // F-keys work wherever the focus is in this window, menus closed.
    for (QAction* a : {mnContribuinteNovo, mnContribuinteSelecionar, mnAtualizar, mnVisaoGeral,
                       mnContador, mnSAjuda, mnCertificados})
        a->setShortcutContext(Qt::WindowShortcut);
}

int Principal::gridColumnTwips(int column) {
    return column >= 0 && column < kGridColumns ? kColumns[column].twips : 0;
}

void Principal::setUpGrid() {
    QTableWidget* g = GridTransmissoes;
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->setSortingEnabled(false);
    g->verticalHeader()->hide();
    // The header row is fixed: clicking it neither sorts nor selects.
    g->horizontalHeader()->setSectionsClickable(false);
    g->horizontalHeader()->setHighlightSections(false);
    g->horizontalHeader()->setStretchLastSection(false);

    const double dpi = g->logicalDpiX();
    for (int c = 0; c < kGridColumns; ++c) {
        auto* header = new QTableWidgetItem(QString::fromUtf8(kColumns[c].header));
        header->setTextAlignment(kColumns[c].alignment);
        g->setHorizontalHeaderItem(c, header);
        const int width = Twips::TwipsToPixels(kColumns[c].twips, dpi);
        g->setColumnWidth(c, width);
        g->setColumnHidden(c, width == 0);
    }
    connect(g, &QTableWidget::cellClicked, this,
            [this](int row, int) { GridTransmissoes_Click(row); });
}

void Principal::setGridCell(int row, int column, const QString& text) {
    if (row < 0 || column < 0 || column >= kGridColumns)
        return;
    if (GridTransmissoes->rowCount() <= row)
        GridTransmissoes->setRowCount(row + 1);
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(kColumns[column].alignment);
    GridTransmissoes->setItem(row, column, item);
}

void Principal::showTaxpayer() {
    IESel->setText(m_state.IE());
    RSSel->setText(m_state.RazaoSocial());
    lblChave->setText(m_state.Chave());
    // An empty label would be announced with its frame's title ("Contribuinte
    // Selecionado") as if that were the value.
    for (QLabel* value : {IESel, RSSel})
        value->setAccessibleName(value->text().isEmpty() ? QStringLiteral("nenhum") : QString());
}

bool Principal::OpenBrowser(const QString& URL) {
    if (!m_context.urlOpener)
        return false;
    return m_context.urlOpener->open(PrincipalLogic::BrowserUrl(URL));
}

void Principal::GridTransmissoes_Click(int row) {
    if (row >= 0)
        RecebeDadosProtocolo(row);
}

QWidget* Principal::openWindow(const QString& name) {
    if (QWidget* w = m_context.windows->show(name))
        return w;
    setEnabled(true);
    m_context.prompter->show({QStringLiteral("Esta função ainda não está disponível nesta "
                                             "versão do programa."),
                              kTitleRJ, MsgIcon::Information, MsgButtons::Ok});
    return nullptr;
}

QWidget* Principal::openWindowDisabled(const QString& name) {
    setEnabled(false);
    QWidget* w = openWindow(name);
    m_waitingFor->watch(w);
    return w;
}

void Principal::showOverview() {
    openWindow(QStringLiteral("OverviewWindow"));
}

void Principal::showArchive() {
    openWindow(QStringLiteral("ArchiveWindow"));
}

void Principal::showBatch(const QStringList& ies) {
    if (auto* batch = qobject_cast<BatchWindow*>(openWindow(QStringLiteral("BatchWindow"))))
        batch->addTaxpayers(ies);
}

void Principal::showConnectionSettings() {
    openWindow(QStringLiteral("ConnectionSettingsWindow"));
}

void Principal::showCertificates() {
    openWindow(QStringLiteral("CertificatesWindow"));
}

void Principal::mnSair_Click() {
    if (m_context.quit)
        m_context.quit();
}

void Principal::mnContribuinteNovo_Click() {
    setEnabled(false);
    try {
        int total = 0;
        {
            LocalDb db;
            total = countContador(db);
        }
        if (total == 0) {
            m_context.prompter->show({QStringLiteral("É necessário cadastrar um contador antes "
                                                     "de Cadastrar seu(s) Contribuinte(s)."),
                                      QString(), MsgIcon::None, MsgButtons::Ok});
            // This window waits for no one here: the accountant window, new or
            // already open, leaves it enabled (it also enables it as it loads).
            openWindow(QStringLiteral("frmContador"));
            setEnabled(true);
        } else {
            openWindowDisabled(QStringLiteral("frmtbl_CriaContribuinte"));
        }
    } catch (const std::exception& e) {
        // Left disabled, the window would be dead for the rest of the run.
        setEnabled(true);
        showErrorReport(e);
    }
}

void Principal::mnContribuinteSelecionar_Click() {
    openWindowDisabled(QStringLiteral("frmtbl_SelecionaContribuinte"));
}

void Principal::mnAtualizar_Click() {
    openWindow(QStringLiteral("frmtbl_atualizarContribuinte"));
}

void Principal::mnExcluir_Click() {
    openWindow(QStringLiteral("frmtbl_exclusaoContribuinte"));
}

void Principal::mnContador_Click() {
    openWindow(QStringLiteral("frmContador"));
}

void Principal::mnSAjuda_Click() {
    m_context.prompter->show({QStringLiteral("Para maiores infomações acesse: ") + SiteInfo::url(),
                              kTitleRJ, MsgIcon::Information, MsgButtons::Ok});
}

void Principal::showDiagnostics() {
    openWindow(QStringLiteral("DiagnosticsWindow"));
}

void Principal::openSupportLogFolder() {
    try {
        const QString folder = SupportLog::folder();
        if (folder.isEmpty()) {
            m_context.prompter->show({QStringLiteral("O registro de suporte está desligado."),
                                      kTitleRJ, MsgIcon::Information, MsgButtons::Ok});
            return;
        }
        // The folder exists only once something was written; show it anyway.
        QDir().mkpath(folder);
        if (!m_context.folders || !m_context.folders->openFolder(folder))
            m_context.prompter->show(
                {QStringLiteral("Não foi possível abrir a pasta de registros:\r\n") +
                     QDir::toNativeSeparators(folder),
                 kTitleRJ, MsgIcon::Warning, MsgButtons::Ok});
    } catch (const std::exception& e) {
        m_context.prompter->show({QStringLiteral("Não foi possível abrir a pasta de registros: ") +
                                      QString::fromLocal8Bit(e.what()),
                                  kTitleRJ, MsgIcon::Critical, MsgButtons::Ok});
    }
}

void Principal::mnSobre_Click() {
    // Shown first, then this window is disabled until it goes.
    if (QWidget* about = openWindow(QStringLiteral("frmSobre")))
        m_waitingFor->watch(about);
}

void Principal::Command1_Click() {
    try {
        PrincipalLogic::TransmitPlan plan;
        {
            LocalDb db;
            plan = PrincipalLogic::PlanTransmission(db, m_state.IE());
        }
        if (plan.target == PrincipalLogic::TransmitPlan::Target::NoAccountant) {
            m_context.prompter->show({QStringLiteral("É necessário informar os dados do "
                                                     "contador para envio da declaração"),
                                      kTitleRJ, MsgIcon::None, MsgButtons::Ok});
            if (QWidget* w = openWindow(QStringLiteral("frmContador")))
                w->setFocus();
            return;
        }
        m_state.setThisCont_cpf_cnpj(plan.contCpfCnpj);
        m_context.prompter->show({QStringLiteral("O Certificado que será solicitado durante a "
                                                 "transmissão é do contador responsável"),
                                  QStringLiteral("Informação"), MsgIcon::Information,
                                  MsgButtons::Ok});
        QWidget* w = nullptr;
        if (plan.target == PrincipalLogic::TransmitPlan::Target::Declaration) {
            // Disabled while the declaration window is on screen.
            w = openWindowDisabled(QStringLiteral("frmUpload"));
        } else {
            w = openWindow(QStringLiteral("frmUploadSimples"));
        }
        if (w)
            w->setWindowTitle(
                PrincipalLogic::CaptionWithYear(w->windowTitle(), m_state.anoTrabalho()));
    } catch (const std::exception& e) {
        showErrorReport(e);
    }
}

void Principal::showErrorReport(const std::exception& error) {
    if (const auto* runtime = dynamic_cast<const RuntimeError*>(&error)) {
        m_context.prompter->show(ErrorReport::ErrorMessage(*runtime));
        return;
    }
    // Anything else (out of memory, a library's own exception) still gets the
    // standard report, with its own description.
    m_context.prompter->show(ErrorReport::ErrorMessage(
        RuntimeError(0, objectName(), QString::fromLocal8Bit(error.what()))));
}

void Principal::closeEvent(QCloseEvent* event) {
    // While disabled another window owns the user's attention (an upload may
    // be under way): the close box does nothing then, as every other control.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    event->accept();
    if (m_context.quit)
        m_context.quit();
}
