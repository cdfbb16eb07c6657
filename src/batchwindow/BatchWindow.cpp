// The batch sending window.
#include "batchwindow/BatchWindow.h"

#include "base/RuntimeError.h"
#include "batch/BatchQueue.h"
#include "batch/BatchSummary.h"
#include "batch/TaxpayerList.h"
#include "batchwindow/BatchGrid.h"
#include "net/SoapBatch.h"
#include "overview/CsvTable.h"
#include "overview/OverviewFiller.h"
#include "overview/TablePrint.h"
#include "platform/BrowseLocations.h"
#include "platform/Clock.h"
#include "platform/FilePicker.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/ErrorReport.h"
#include "shell/WindowRegistry.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "transmission/BackupFolders.h"
#include "transmission/SendingCertificateChoice.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>

#include <limits>

namespace {

const QString kName = QStringLiteral("BatchWindow");
const QString kTitle = QStringLiteral("VAV-UVOD - Envio em lote");

template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QString sizeText(qint64 bytes) {
    return QLocale(QLocale::Portuguese, QLocale::Brazil)
        .formattedDataSize(bytes, 1, QLocale::DataSizeIecFormat);
}

// The Backup folder of the state program, as the declaration window finds
// it (Wine prefix included); the home folder when there is none.
QString backupFolder() {
    const auto driveRoot = [](QChar letter) {
#ifdef Q_OS_WIN
        return QString(letter) + QStringLiteral(":/");
#else
        return BrowseLocations::wineDrive(BrowseLocations::winePrefix(QDir::homePath()), letter);
#endif
    };
    const BackupFolders::Discovery found =
        BackupFolders::discover(BackupFolders::candidates(driveRoot),
                                [](const QString& folder) { return QFileInfo(folder).isDir(); });
    return found.folder.isEmpty() ? QDir::homePath() : found.folder;
}

} // namespace

BatchWindow::BatchWindow(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window), m_context(context),
      m_lists(new OverviewFiller(SoapBatch::kCallsAtOnce, context.proxyAuth, this)) {
    setObjectName(kName);
    setWindowTitle(caption());
    setWindowIcon(Emblem::icon());
    setAcceptDrops(true);

    cboContribuinte = named(new QComboBox(this), "cboContribuinte");
    cboContribuinte->setAccessibleName(QStringLiteral("Contribuinte"));
    auto* lblContribuinte = new QLabel(QStringLiteral("C&ontribuinte:"), this);
    lblContribuinte->setBuddy(cboContribuinte);
    cmdAdicionarContribuinte =
        named(new QPushButton(QStringLiteral("&Adicionar contribuinte"), this),
              "cmdAdicionarContribuinte");
    cmdAtribuir = named(new QPushButton(QStringLiteral("A&tribuir às linhas selecionadas"), this),
                        "cmdAtribuir");
    cmdArquivoLinha =
        named(new QPushButton(QStringLiteral("Arquivo da &linha..."), this), "cmdArquivoLinha");
    cmdArquivos =
        named(new QPushButton(QStringLiteral("Adicionar ar&quivos..."), this), "cmdArquivos");
    cmdPasta = named(new QPushButton(QStringLiteral("Adicionar &pasta..."), this), "cmdPasta");
    cmdRemover = named(new QPushButton(QStringLiteral("&Remover"), this), "cmdRemover");

    Grid = named(new QTableWidget(0, int(headers().size()), this), "Grid");
    Grid->setAccessibleName(QStringLiteral("Arquivos do lote"));
    Grid->setHorizontalHeaderLabels(headers());
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    Grid->verticalHeader()->hide();
    BatchGrid::setUp(Grid);

    txtReferencias = named(new QLineEdit(this), "txtReferencias");
    txtReferencias->setPlaceholderText(QStringLiteral("01/2026, 02/2026"));
    auto* lblReferencias =
        new QLabel(QStringLiteral("Referências das linhas &selecionadas:"), this);
    lblReferencias->setBuddy(txtReferencias);
    cmdAplicarReferencias =
        named(new QPushButton(QStringLiteral("Apli&car"), this), "cmdAplicarReferencias");
    cmdEnviarDeNovo =
        named(new QPushButton(QStringLiteral("Env&iar de novo"), this), "cmdEnviarDeNovo");
    cmdEnviarDeNovo->setToolTip(QStringLiteral(
        "Marca para envio uma linha que o arquivo local segura por já ter sido enviada, ou "
        "uma linha sem resposta que a lista do servidor mostra ausente."));

    lblCertificado =
        named(new QLabel(QStringLiteral("Certificado: nenhum escolhido"), this), "lblCertificado");
    cmdCertificado =
        named(new QPushButton(QStringLiteral("Certi&ficado..."), this), "cmdCertificado");

    Progresso = named(new QProgressBar(this), "Progresso");
    Progresso->setAccessibleName(QStringLiteral("Progresso do lote"));
    Progresso->setRange(0, 1);
    Progresso->setValue(0);
    lblTotal = named(new QLabel(this), "lblTotal");
    lblResumo = named(new QLabel(this), "lblResumo");
    lblResumo->setTextInteractionFlags(Qt::TextSelectableByMouse);

    cmdEnviar = named(new QPushButton(QStringLiteral("&Enviar"), this), "cmdEnviar");
    cmdPausar = named(new QPushButton(QStringLiteral("Pa&usar"), this), "cmdPausar");
    cmdCancelar = named(new QPushButton(QStringLiteral("Ca&ncelar"), this), "cmdCancelar");
    cmdExportar = named(new QPushButton(QStringLiteral("Exportar CS&V..."), this), "cmdExportar");
    cmdPdf = named(new QPushButton(QStringLiteral("Imprimir em P&DF..."), this), "cmdPdf");

    connect(cmdAdicionarContribuinte, &QPushButton::clicked, this, &BatchWindow::addTaxpayerRow);
    connect(cmdAtribuir, &QPushButton::clicked, this, &BatchWindow::assignTaxpayer);
    connect(cmdArquivoLinha, &QPushButton::clicked, this, &BatchWindow::chooseFileForRow);
    connect(cmdArquivos, &QPushButton::clicked, this, &BatchWindow::addFiles);
    connect(cmdPasta, &QPushButton::clicked, this, &BatchWindow::addFolder);
    connect(cmdRemover, &QPushButton::clicked, this, &BatchWindow::removeRows);
    connect(cmdAplicarReferencias, &QPushButton::clicked, this, &BatchWindow::applyReferences);
    connect(txtReferencias, &QLineEdit::returnPressed, this, &BatchWindow::applyReferences);
    connect(cmdEnviarDeNovo, &QPushButton::clicked, this, &BatchWindow::toggleSendAgain);
    connect(cmdCertificado, &QPushButton::clicked, this, &BatchWindow::chooseCertificate);
    connect(cmdEnviar, &QPushButton::clicked, this, &BatchWindow::send);
    connect(cmdPausar, &QPushButton::clicked, this, &BatchWindow::pause);
    connect(cmdCancelar, &QPushButton::clicked, this, &BatchWindow::cancel);
    connect(cmdExportar, &QPushButton::clicked, this, &BatchWindow::exportCsv);
    connect(cmdPdf, &QPushButton::clicked, this, &BatchWindow::exportPdf);
    connect(Grid, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (m_showing || item->column() != ColReferencias || item->row() >= m_plan.size())
            return;
        try {
            if (m_plan.setReferences(item->row(), item->text()))
                recheck(item->row());
        } catch (const std::exception& error) {
            report(error, kName + QStringLiteral(".Grid_Referencias"));
        }
    });
    connect(Grid, &QTableWidget::itemSelectionChanged, this, &BatchWindow::updateButtons);
    connect(m_lists, &OverviewFiller::rowChanged, this, &BatchWindow::listAnswered);

    auto* taxpayerRow = new QHBoxLayout;
    taxpayerRow->addWidget(lblContribuinte);
    taxpayerRow->addWidget(cboContribuinte, 1);
    taxpayerRow->addWidget(cmdAdicionarContribuinte);
    taxpayerRow->addWidget(cmdAtribuir);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(cmdArquivoLinha);
    fileRow->addWidget(cmdArquivos);
    fileRow->addWidget(cmdPasta);
    fileRow->addStretch(1);
    fileRow->addWidget(cmdRemover);
    auto* referencesRow = new QHBoxLayout;
    referencesRow->addWidget(lblReferencias);
    referencesRow->addWidget(txtReferencias, 1);
    referencesRow->addWidget(cmdAplicarReferencias);
    referencesRow->addWidget(cmdEnviarDeNovo);
    auto* certificateRow = new QHBoxLayout;
    certificateRow->addWidget(lblCertificado, 1);
    certificateRow->addWidget(cmdCertificado);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(Progresso, 1);
    progressRow->addWidget(lblTotal);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdEnviar);
    buttons->addWidget(cmdPausar);
    buttons->addWidget(cmdCancelar);
    buttons->addStretch(1);
    buttons->addWidget(cmdExportar);
    buttons->addWidget(cmdPdf);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(taxpayerRow);
    layout->addLayout(fileRow);
    layout->addWidget(Grid, 1);
    layout->addLayout(referencesRow);
    layout->addLayout(certificateRow);
    layout->addLayout(progressRow);
    layout->addWidget(lblResumo);
    layout->addLayout(buttons);

    QWidget* order[] = {cboContribuinte, cmdAdicionarContribuinte,
                        cmdAtribuir,     cmdArquivoLinha,
                        cmdArquivos,     cmdPasta,
                        cmdRemover,      Grid,
                        txtReferencias,  cmdAplicarReferencias,
                        cmdEnviarDeNovo, cmdCertificado,
                        cmdEnviar,       cmdPausar,
                        cmdCancelar,     cmdExportar,
                        cmdPdf};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    try {
        LocalDb db;
        for (const ContribuinteRow& t : listContribuintes(db))
            cboContribuinte->addItem(t.IE + QStringLiteral(" - ") + t.RazaoSocial, t.IE);
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".Form_Load"));
    }
    fitColumns();
    updateTotal();
    updateButtons();
    resize(1120, 600);
}

BatchWindow::~BatchWindow() = default;

QString BatchWindow::caption() {
    return QStringLiteral("Envio em lote - Prefeitura Municipal de Valdoria");
}

QStringList BatchWindow::headers() {
    return {QStringLiteral("IE"),          QStringLiteral("Razão social"),
            QStringLiteral("Arquivo"),     QStringLiteral("Referências"),
            QStringLiteral("Verificação"), QStringLiteral("Situação"),
            QStringLiteral("Hora"),        QStringLiteral("Protocolo")};
}

std::optional<qint64> BatchWindow::unfinishedBatch() {
    LocalDb db;
    // The window's batches have no origin (the command line's name a CSV).
    return ::unfinishedBatch(db, BatchQueue::thisDesk(), QString());
}

void BatchWindow::offerResume(AppContext& context) {
    try {
        if (!context.windows)
            return;
        const std::optional<qint64> batch = unfinishedBatch();
        if (!batch)
            return;
        QList<BatchRow> rows;
        {
            LocalDb db;
            rows = batchRows(db, *batch);
        }
        const MsgAnswer answer = context.prompter->show(
            {BatchPlan::resumeQuestion(rows), kTitle, MsgIcon::Information, MsgButtons::YesNo});
        if (answer != MsgAnswer::Yes)
            return;
        if (auto* window = qobject_cast<BatchWindow*>(context.windows->show(kName)))
            window->resume(*batch);
    } catch (const RuntimeError&) {
        // The offer is a courtesy at start: a database that cannot be read
        // is reported by the windows that need it, and the batch stays kept.
    }
}

QString BatchWindow::taxpayerName(const QString& ie) const {
    const int index = cboContribuinte->findData(ie);
    return index < 0 ? QString() : cboContribuinte->itemText(index).mid(ie.size() + 3);
}

void BatchWindow::addTaxpayers(const QStringList& ies) {
    try {
        for (const QString& ie : ies)
            if (cboContribuinte->findData(ie) >= 0)
                m_plan.addTaxpayer(ie);
        askLists();
        linesChanged();
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".addTaxpayers"));
    }
}

void BatchWindow::addTaxpayerRow() {
    const QString ie = cboContribuinte->currentData().toString();
    if (!ie.isEmpty())
        addTaxpayers({ie});
}

void BatchWindow::chooseFileForRow() {
    try {
        const QList<int> selected = selectedLines();
        if (selected.size() != 1 || m_plan.lines()[selected.first()].rowId != 0 || !m_context.files)
            return;
        const std::optional<QString> path = m_context.files->openFile(
            {QStringLiteral("Arquivo do contribuinte"),
             QStringLiteral("Declaração ou extrato (*.zip *.ZIP *.pdf *.PDF)"), QString()});
        if (path && m_plan.setFile(selected.first(), *path))
            recheck(selected.first());
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".cmdArquivoLinha"));
    }
}

void BatchWindow::addFiles() {
    if (!m_context.files)
        return;
    const QStringList paths = m_context.files->openFiles(
        {QStringLiteral("Arquivos a enviar"),
         QStringLiteral("Declarações e extratos (*.zip *.ZIP *.pdf *.PDF)"), QString()});
    addPaths(paths);
}

void BatchWindow::addFolder() {
    if (!m_context.files)
        return;
    const std::optional<QString> folder =
        m_context.files->openFolder(QStringLiteral("Pasta dos arquivos a enviar"), backupFolder());
    if (folder)
        addPaths({*folder}, *folder);
}

void BatchWindow::addPaths(const QStringList& paths, const QString& baseFolder) {
    try {
        QSet<QString> registered;
        for (int i = 0; i < cboContribuinte->count(); ++i)
            registered.insert(cboContribuinte->itemData(i).toString());
        const QList<int> changed = m_plan.addFiles(paths, baseFolder, registered);
        const int before = Grid->rowCount();
        askLists();
        linesChanged(); // checks the new lines
        for (const int i : changed)
            if (i < before)
                recheck(i); // a taxpayer's line that got its file
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".addPaths"));
    }
}

void BatchWindow::assignTaxpayer() {
    try {
        const QString ie = cboContribuinte->currentData().toString();
        QList<int> assigned;
        for (const int i : selectedLines())
            if (m_plan.assign(i, ie))
                assigned << i;
        askLists();
        for (const int i : std::as_const(assigned))
            recheck(i);
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".cmdAtribuir"));
    }
}

void BatchWindow::applyReferences() {
    try {
        for (const int i : selectedLines())
            if (m_plan.setReferences(i, txtReferencias->text()))
                recheck(i);
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".cmdAplicarReferencias"));
    }
}

void BatchWindow::removeRows() {
    for (const int i : m_plan.remove(selectedLines()))
        Grid->removeRow(i);
    fitColumns();
    updateButtons();
}

void BatchWindow::toggleSendAgain() {
    try {
        for (const int i : selectedLines()) {
            const BatchPlan::Line& line = m_plan.lines()[i];
            if (m_plan.toggleSendAgain(i)) {
                recheck(i);
                continue;
            }
            if (!m_plan.canRequeue(i) || queueActive())
                continue;
            // Back in the queue only now that the user asks for it. The list
            // after sending shows a row "Não consta na lista" absent, but
            // bytes may have reached the server: a deliberate Yes.
            const bool notListed = line.state == BatchRowState::NotListed;
            if (notListed &&
                m_context.prompter->show(
                    {QStringLiteral("A lista do servidor não mostra o envio de %1. Enviar "
                                    "o arquivo de novo?")
                         .arg(QFileInfo(line.filePath).fileName()),
                     kTitle, MsgIcon::Warning, MsgButtons::YesNoDefaultNo}) != MsgAnswer::Yes)
                continue;
            // A row held back as already sent stays held back unless it was
            // ticked to go: the queue judges it again.
            LocalDb db;
            if (requeueRow(db, line.rowId, notListed || line.sendAgain)) {
                m_plan.requeued(i);
                showLine(i);
            }
        }
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".cmdEnviarDeNovo"));
    }
}

void BatchWindow::askLists() {
    const QStringList wanted = m_plan.listsWanted();
    if (wanted.isEmpty())
        return;
    QList<ContribuinteRow> taxpayers;
    {
        LocalDb db;
        for (const QString& ie : wanted)
            if (const std::optional<ContribuinteRow> t = findContribuinte(db, ie))
                taxpayers << *t;
    }
    m_listed.clear();
    for (const ContribuinteRow& t : std::as_const(taxpayers))
        m_listed << t.IE;
    m_plan.listsAsked(wanted, m_listed);
    m_lists->start(taxpayers, m_context.clock->today());
    // A taxpayer without a key is final at once (no call is made for it).
    // Only lines new to the plan change what they wait for: their callers
    // check them next.
    for (int row = 0; row < m_lists->rows().size(); ++row)
        if (m_lists->rows()[row].cells.value(Overview::ColSituacao) != Overview::kWaiting)
            m_plan.listAnswered(m_listed.value(row), m_lists->rows()[row]);
}

void BatchWindow::listAnswered(int fillerRow) {
    try {
        const QString ie = m_listed.value(fillerRow);
        if (fillerRow >= m_lists->rows().size() || ie.isEmpty())
            return;
        const Overview::Row& row = m_lists->rows()[fillerRow];
        if (row.cells.value(Overview::ColSituacao) == Overview::kWaiting)
            return;
        for (const int i : m_plan.listAnswered(ie, row))
            recheck(i);
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".listAnswered"));
    }
}

void BatchWindow::recheck(int index) {
    if (m_plan.lines()[index].rowId == 0) {
        LocalDb db;
        m_plan.recheck(db, index, m_context.clock->now());
    }
    showLine(index);
}

void BatchWindow::linesChanged() {
    const int before = Grid->rowCount();
    Grid->setRowCount(m_plan.size());
    for (int i = before; i < m_plan.size(); ++i)
        recheck(i);
    fitColumns();
}

void BatchWindow::showLine(int index) {
    const BatchPlan::Line& line = m_plan.lines()[index];
    const QString cells[] = {
        line.ie,
        taxpayerName(line.ie),
        line.filePath.isEmpty() ? QStringLiteral("(escolha o arquivo)")
                                : QFileInfo(line.filePath).fileName(),
        TaxpayerList::monthsText(line.references),
        BatchPlan::verification(line),
        BatchPlan::situation(line, queueSending()),
        line.time.isValid() ? line.time.toString(QStringLiteral("HH:mm:ss")) : QString(),
        line.protocol,
    };
    m_showing = true;
    for (int c = 0; c < int(std::size(cells)); ++c) {
        QTableWidgetItem* item = Grid->item(index, c);
        if (!item) {
            item = new QTableWidgetItem;
            Grid->setItem(index, c, item);
        }
        const bool editable =
            c == ColReferencias && line.rowId == 0 && line.kind == SentArchive::kDeclaration;
        const Qt::ItemFlags flags =
            editable ? item->flags() | Qt::ItemIsEditable : item->flags() & ~Qt::ItemIsEditable;
        if (flags != item->flags())
            item->setFlags(flags);
        if (item->text() == cells[c])
            continue;
        item->setText(cells[c]);
        // The whole text on hover too.
        item->setToolTip(c == ColArquivo ? line.filePath : cells[c]);
    }
    m_showing = false;
    if (!line.protocol.isEmpty())
        BatchGrid::fitProtocol(Grid, line.protocol);
    BatchGrid::fitRow(Grid, index);
}

void BatchWindow::showChange(int index) {
    if (index < 0)
        return;
    showLine(index);
    updateTotal();
}

void BatchWindow::fitColumns() {
    bool checks = false;
    bool states = false;
    for (const BatchPlan::Line& line : m_plan.lines()) {
        checks = checks || line.rowId == 0;
        states = states || line.state.has_value();
    }
    BatchGrid::fitColumns(Grid, checks, states);
}

QList<int> BatchWindow::selectedLines() const {
    QList<int> out;
    for (const QModelIndex& index : Grid->selectionModel()->selectedRows())
        if (index.row() < m_plan.size())
            out << index.row();
    std::sort(out.begin(), out.end());
    return out;
}

bool BatchWindow::chooseCertificate() {
    const SendingCertificateChoice::Choice choice =
        SendingCertificateChoice::choose(m_context, kTitle, kName);
    if (choice.outcome == SendingCertificateChoice::Outcome::Cancelled ||
        choice.outcome == SendingCertificateChoice::Outcome::StoreFailed)
        return m_certificateAccepted;
    m_certificateAccepted = choice.outcome == SendingCertificateChoice::Outcome::Accepted;
    lblCertificado->setText(m_certificateAccepted
                                ? QStringLiteral("Certificado: aceito para este lote")
                                : QStringLiteral("Certificado: nenhum escolhido"));
    return m_certificateAccepted;
}

bool BatchWindow::queueActive() const {
    return m_queue && (m_queue->isRunning() || m_queue->isPaused());
}

bool BatchWindow::queueSending() const {
    return m_queue && m_queue->isRunning() && !m_queue->isPaused();
}

bool BatchWindow::isSending() const {
    return queueActive();
}

void BatchWindow::readInterrupted() {
    QList<qint64> batches;
    for (const BatchPlan::Line& line : m_plan.lines())
        if (line.interrupted && !batches.contains(line.batchId))
            batches << line.batchId;
    if (batches.isEmpty())
        return;
    for (const qint64 batch : std::as_const(batches)) {
        // A row this program was sending when its queue stopped: a request
        // that started becomes "Sem resposta", the list settles it.
        recoverBatch(batch, BatchQueue::thisDesk(), m_context.clock->now());
    }
    readBatches(batches);
}

QList<BatchRow> BatchWindow::readBatches(const QList<qint64>& batches) {
    QList<BatchRow> rows;
    {
        LocalDb db;
        for (const qint64 batch : batches)
            rows << batchRows(db, batch);
    }
    for (const BatchRow& row : std::as_const(rows))
        m_plan.take(row);
    linesChanged();
    for (const BatchRow& row : std::as_const(rows))
        showLine(m_plan.lineOf(row.id));
    return rows;
}

void BatchWindow::send() {
    try {
        if (queueActive())
            return;
        readInterrupted();
        // What a pause, a stop or "Enviar de novo" left queued goes first,
        // each in its own batch; then the ready lines in a new one.
        if (m_plan.queuedBatches().isEmpty() && m_plan.readyLines().isEmpty()) {
            m_context.prompter->show({QStringLiteral("Nenhuma linha está pronta para envio: veja "
                                                     "a coluna Verificação."),
                                      kTitle, MsgIcon::Information, MsgButtons::Ok});
            return;
        }
        if (!m_certificateAccepted && !chooseCertificate())
            return;
        {
            // The queue checks each row again just before its upload, with
            // the digest of the row's last check unless the file may have
            // changed meanwhile: checking every row here as well would hold
            // the window for as long as reading the changed files takes.
            LocalDb db;
            m_plan.createBatch(db, BatchQueue::thisDesk(), m_context.clock->now());
        }
        for (int i = 0; i < m_plan.size(); ++i)
            showLine(i);
        fitColumns();
        m_pendingBatches = m_plan.queuedBatches();
        m_runBatches = m_pendingBatches;
        m_plan.beginRun();
        m_cancelAsked = false;
        m_summary.clear();
        lblResumo->clear();
        startNext();
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".cmdEnviar"));
    }
}

void BatchWindow::startNext() {
    if (m_pendingBatches.isEmpty())
        return;
    startQueue(m_pendingBatches.takeFirst());
}

void BatchWindow::startQueue(qint64 batchId) {
    if (m_queue) {
        // It may be the sender of the signal being handled: deleted later.
        m_queue->disconnect(this);
        m_queue->deleteLater();
    }
    m_batchId = batchId;
    m_pauseAsked = false;
    BatchQueue::Setup setup;
    setup.clock = m_context.clock;
    setup.proxyAuth = m_context.proxyAuth;
    // The rows' checks read their files; the queue's reuses those digests.
    for (const BatchPlan::Line& line : m_plan.lines())
        if (const std::optional<SentArchive::Digest> digest = line.checkedDigest())
            setup.digests.insert(line.filePath, *digest);
    m_queue = new BatchQueue(batchId, setup, this);
    connect(m_queue, &BatchQueue::rowStarted, this, [this](qint64 rowId) {
        const int i = m_plan.started(rowId, m_context.clock->now());
        if (i >= 0) {
            showLine(i);
            Grid->scrollToItem(Grid->item(i, 0));
        }
    });
    connect(m_queue, &BatchQueue::rowProgress, this,
            [this](qint64 rowId, int percent) { showChange(m_plan.progressed(rowId, percent)); });
    connect(m_queue, &BatchQueue::rowFinished, this,
            [this](qint64 rowId, BatchRowState state, const QString& text) {
                showChange(m_plan.ended(rowId, state, text, m_context.clock->now()));
            });
    connect(m_queue, &BatchQueue::rowListed, this,
            [this](qint64 rowId, BatchRowState state, const QString& protocol) {
                showChange(m_plan.listedAs(rowId, state, protocol));
            });
    connect(m_queue, &BatchQueue::paused, this, [this](const QString& reason) {
        m_pauseAsked = false;
        cmdPausar->setText(QStringLiteral("Contin&uar"));
        lblResumo->setText(reason.isEmpty() ? QStringLiteral("Envio pausado.")
                                            : QStringLiteral("Envio pausado: %1").arg(reason));
        updateButtons();
    });
    connect(m_queue, &BatchQueue::finished, this, &BatchWindow::queueFinished);
    m_queue->start();
    updateTotal();
    updateButtons();
}

void BatchWindow::queueFinished(const QString& queueProblem) {
    QString problem = queueProblem;
    // The rows of this run's batches only: the grid may still show earlier
    // batches'.
    std::optional<BatchSummary> summary;
    try {
        // The database holds the last word on every row (protocols
        // included); a run cancelled leaves none of its batches queued.
        if (m_cancelAsked && problem.isEmpty()) {
            LocalDb db;
            for (const qint64 batch : std::as_const(m_pendingBatches))
                cancelQueuedRows(db, batch, m_context.clock->now());
            m_pendingBatches.clear();
        }
        if (!problem.isEmpty() || !m_pendingBatches.isEmpty())
            readBatches({m_batchId});
        else
            summary.emplace(readBatches(m_runBatches));
    } catch (const std::exception& error) {
        if (problem.isEmpty())
            problem = RuntimeError::from(kName, error).description();
    }
    if (problem.isEmpty() && !m_pendingBatches.isEmpty()) {
        startNext(); // the run's next batch
        return;
    }
    bool interruptedSending = false;
    bool interruptedQueued = false;
    if (!problem.isEmpty()) {
        // Nothing is being sent now: what the database could not say is
        // shown as interrupted, and read again when the run is resumed.
        m_pendingBatches.clear();
        for (const int i : m_plan.interruptRun()) {
            interruptedSending =
                interruptedSending || m_plan.lines()[i].state == BatchRowState::Sending;
            interruptedQueued =
                interruptedQueued || m_plan.lines()[i].state == BatchRowState::Queued;
        }
    }
    m_pauseAsked = false;
    for (int i = 0; i < m_plan.size(); ++i)
        showLine(i);
    if (!summary) {
        // The database did not answer: the grid's own states of this run's
        // batches, as the queue reported them.
        summary.emplace();
        for (const BatchPlan::Line& line : m_plan.lines())
            if (line.state && line.rowId != 0 && m_runBatches.contains(line.batchId))
                summary->add(*line.state);
    }
    m_summary = summary->text();
    lblResumo->setText(QStringLiteral("Resumo: ") + m_summary);
    cmdPausar->setText(QStringLiteral("Pa&usar"));
    updateTotal();
    updateButtons();
    if (problem.isEmpty())
        return;
    // The words are the program's own; the engine's, often not Portuguese,
    // follow as the technical detail.
    QString text = QStringLiteral("O envio em lote parou porque o banco de dados deixou de "
                                  "responder.");
    if (interruptedSending)
        text += QStringLiteral("\n\nO arquivo que estava sendo enviado será verificado na lista "
                               "do servidor quando o lote for retomado.");
    if (interruptedSending || interruptedQueued)
        text += QStringLiteral("\n\nQuando o banco de dados voltar, clique em Enviar (ou abra o "
                               "programa de novo) para retomar o lote.");
    text += QStringLiteral("\n\nDetalhe técnico: %1").arg(problem);
    m_context.prompter->show({text, kTitle, MsgIcon::Critical, MsgButtons::Ok});
}

QString BatchWindow::summary() const {
    return m_summary;
}

void BatchWindow::updateTotal() {
    const BatchPlan::Total total = m_plan.total();
    // A bar's range is an int: large batches count in KiB.
    const qint64 unit = total.bytes > std::numeric_limits<int>::max() ? 1024 : 1;
    Progresso->setRange(0, int(qMax<qint64>(total.bytes / unit, 1)));
    Progresso->setValue(int(total.bytesSent / unit));
    lblTotal->setText(
        QStringLiteral("%1 de %2 %3 — %4 de %5")
            .arg(total.sent)
            .arg(total.rows)
            .arg(total.sent == 1 ? QStringLiteral("enviado") : QStringLiteral("enviados"),
                 sizeText(total.bytesSent), sizeText(total.bytes)));
}

void BatchWindow::updateButtons() {
    const bool active = queueActive();
    for (QWidget* w : {static_cast<QWidget*>(cmdEnviar), static_cast<QWidget*>(cmdCertificado)})
        w->setEnabled(!active);
    cmdPausar->setEnabled(active);
    cmdCancelar->setEnabled(active);
}

void BatchWindow::pause() {
    if (!queueActive())
        return;
    if (m_queue->isPaused()) {
        cmdPausar->setText(QStringLiteral("Pa&usar"));
        lblResumo->clear();
        m_queue->resume();
    } else {
        m_pauseAsked = true;
        lblResumo->setText(QStringLiteral("O envio pausa ao fim do arquivo em andamento."));
        m_queue->pauseAfterCurrent();
    }
}

void BatchWindow::cancel() {
    if (!queueActive())
        return;
    m_cancelAsked = true;
    const bool underWay =
        std::any_of(m_plan.lines().begin(), m_plan.lines().end(), [](const BatchPlan::Line& line) {
            return line.state == BatchRowState::Sending;
        });
    // A row under way may be broken off; the server may then hold part of it
    // or all of it, which only its list settles: a deliberate Yes.
    if (underWay && m_context.prompter->show(
                        {QStringLiteral("Os arquivos ainda na fila serão cancelados. "
                                        "Interromper também o arquivo que está sendo "
                                        "enviado agora?"),
                         kTitle, MsgIcon::Warning, MsgButtons::YesNoDefaultNo}) == MsgAnswer::Yes)
        m_queue->abortCurrent();
    else
        m_queue->stopAfterCurrent();
}

void BatchWindow::resume(qint64 batchId) {
    try {
        if (queueActive())
            return;
        // Settles the rows a stopped program left being sent before any is
        // sent again: a request that started becomes "Sem resposta".
        recoverBatch(batchId, BatchQueue::thisDesk(), m_context.clock->now());
        readBatches({batchId});
        m_plan.beginRun();
        updateTotal();
        // The certificate first; then the queue sends what is left queued
        // and asks the lists for the rows still to be settled.
        if (!m_certificateAccepted && !chooseCertificate())
            return;
        m_pendingBatches.clear();
        m_runBatches = {batchId};
        m_cancelAsked = false;
        m_summary.clear();
        lblResumo->clear();
        startQueue(batchId);
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".resume"));
    }
}

QList<QStringList> BatchWindow::rowsShown() const {
    QList<QStringList> out;
    for (int r = 0; r < Grid->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < Grid->columnCount(); ++c)
            cells << (Grid->item(r, c) ? Grid->item(r, c)->text() : QString());
        out << cells;
    }
    return out;
}

void BatchWindow::exportCsv() {
    try {
        if (!m_context.files)
            return;
        const std::optional<QString> path = m_context.files->saveFile(
            {QStringLiteral("Exportar envio em lote"), QStringLiteral("Planilha CSV (*.csv)"),
             QStringLiteral("csv")});
        if (!path)
            return;
        QSaveFile file(*path);
        const QByteArray bytes = CsvTable::write(headers(), rowsShown());
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            m_context.prompter->show({QStringLiteral("Não foi possível gravar o arquivo %1: %2")
                                          .arg(*path, file.errorString()),
                                      kTitle, MsgIcon::Critical, MsgButtons::Ok});
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".cmdExportar"));
    }
}

void BatchWindow::exportPdf() {
    try {
        if (!m_context.files)
            return;
        const std::optional<QString> path = m_context.files->saveFile(
            {QStringLiteral("Imprimir envio em lote em PDF"),
             QStringLiteral("Documento PDF (*.pdf)"), QStringLiteral("pdf")});
        if (!path)
            return;
        QString subtitle = m_context.clock->now().toString(QStringLiteral("dd/MM/yyyy HH:mm"));
        if (!m_summary.isEmpty())
            subtitle += QStringLiteral(" — ") + m_summary;
        const QString failure =
            TablePrint::writePdf(*path, TablePrint::html(QStringLiteral("Envio em lote"), subtitle,
                                                         headers(), rowsShown()));
        if (!failure.isEmpty())
            m_context.prompter->show(
                {QStringLiteral("Não foi possível gravar o arquivo %1: %2").arg(*path, failure),
                 kTitle, MsgIcon::Critical, MsgButtons::Ok});
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".cmdPdf"));
    }
}

void BatchWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void BatchWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    addPaths(paths);
}

void BatchWindow::closeEvent(QCloseEvent* event) {
    // A queue sending would go on without its window: the window stays until
    // the row under way has ended. A paused batch waits in the database:
    // the window closes, and the next start offers to resume it.
    if (queueSending()) {
        const QString text =
            m_cancelAsked ? QStringLiteral("O lote está sendo cancelado. A janela pode ser fechada "
                                           "quando o arquivo em andamento terminar.")
            : m_pauseAsked
                ? QStringLiteral("O envio pausa ao fim do arquivo em andamento. A janela pode "
                                 "ser fechada depois disso.")
                : QStringLiteral("O lote está sendo enviado. Para fechar a janela, clique em "
                                 "Pausar e aguarde o fim do arquivo em andamento, ou clique em "
                                 "Cancelar.");
        m_context.prompter->show({text, kTitle, MsgIcon::Information, MsgButtons::Ok});
        event->ignore();
        return;
    }
    event->accept();
}

void BatchWindow::report(const std::exception& error, const QString& where) {
    m_context.prompter->show(ErrorReport::ErrorMessage(RuntimeError::from(where, error)));
}
