// The batch sending window.
#include "batchwindow/BatchWindow.h"

#include "base/RuntimeError.h"
#include "batch/BatchQueue.h"
#include "batch/FileMatching.h"
#include "batch/ReferenceProposal.h"
#include "batch/RowChecks.h"
#include "batch/TaxpayerList.h"
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
#include <QDirIterator>
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

namespace {

const QString kName = QStringLiteral("BatchWindow");
const QString kTitle = QStringLiteral("VAV-UVOD - Envio em lote");
// List calls in flight at once, as the overview makes them.
constexpr int kConnections = 4;

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

bool ended(const std::optional<BatchRowState>& state) {
    return state && *state != BatchRowState::Queued && *state != BatchRowState::Sending;
}

} // namespace

BatchWindow::BatchWindow(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window), m_context(context),
      m_lists(new OverviewFiller(kConnections, context.proxyAuth, this)) {
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
    // One line per row, however many: the checks take the room left, and
    // every long text reads whole in its cell's tip.
    Grid->setWordWrap(false);
    Grid->horizontalHeader()->setSectionResizeMode(ColVerificacao, QHeaderView::Stretch);
    const int em = fontMetrics().horizontalAdvance(QLatin1Char('M'));
    const int widths[] = {0, 11, 14, 11, 0, 12, 5, 9};
    for (int c = 0; c < int(std::size(widths)); ++c)
        if (widths[c] > 0)
            Grid->setColumnWidth(c, widths[c] * em);
    Grid->setColumnWidth(ColIE, fontMetrics().horizontalAdvance(QStringLiteral("00000000")) + em);

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
        if (m_showing || item->column() != ColReferencias || item->row() >= m_lines.size())
            return;
        Line& line = m_lines[item->row()];
        line.references = RowChecks::parseReferences(item->text()).value_or(item->text());
        line.referencesByUser = true;
        recheck(item->row());
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
        int left = 0;
        int total = 0;
        {
            LocalDb db;
            for (const BatchRow& row : batchRows(db, *batch)) {
                ++total;
                // Sent but not yet found on the lists counts too: the queue
                // still has to look it up.
                left += row.state == BatchRowState::Queued || row.state == BatchRowState::Sending ||
                        row.state == BatchRowState::NoReply ||
                        (row.state == BatchRowState::Accepted && row.protocol.isEmpty());
            }
        }
        const MsgAnswer answer = context.prompter->show(
            {QStringLiteral("O último envio em lote não terminou: %1 de %2 arquivos ainda não "
                            "foram enviados ou aguardam a confirmação do servidor.\n\nDeseja "
                            "retomá-lo agora?")
                 .arg(left)
                 .arg(total),
             kTitle, MsgIcon::Information, MsgButtons::YesNo});
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

void BatchWindow::addLine(const Line& line) {
    m_lines.append(line);
    Grid->insertRow(int(m_lines.size()) - 1);
    recheck(int(m_lines.size()) - 1);
}

void BatchWindow::addTaxpayers(const QStringList& ies) {
    try {
        for (const QString& ie : ies) {
            if (cboContribuinte->findData(ie) < 0)
                continue;
            Line line;
            line.ie = ie;
            addLine(line);
        }
        askLists();
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
        if (selected.size() != 1 || m_lines[selected.first()].rowId != 0 || !m_context.files)
            return;
        const std::optional<QString> path = m_context.files->openFile(
            {QStringLiteral("Arquivo do contribuinte"),
             QStringLiteral("Declaração ou extrato (*.zip *.ZIP *.pdf *.PDF)"), QString()});
        if (!path)
            return;
        m_lines[selected.first()].filePath = QDir::toNativeSeparators(*path);
        m_lines[selected.first()].size = QFileInfo(*path).size();
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
        QStringList files;
        for (const QString& path : paths) {
            if (!QFileInfo(path).isDir()) {
                files << path;
                continue;
            }
            QDirIterator it(path, {QStringLiteral("*.zip"), QStringLiteral("*.pdf")}, QDir::Files,
                            QDirIterator::Subdirectories);
            QStringList found;
            while (it.hasNext())
                found << it.next();
            found.sort();
            files << found;
        }
        QSet<QString> registered;
        for (int i = 0; i < cboContribuinte->count(); ++i)
            registered.insert(cboContribuinte->itemData(i).toString());
        QSet<QString> present;
        for (const Line& line : std::as_const(m_lines))
            present.insert(QDir::fromNativeSeparators(line.filePath));

        for (const QString& file : std::as_const(files)) {
            const QString clean = QDir::cleanPath(QFileInfo(file).absoluteFilePath());
            if (present.contains(clean))
                continue; // the same file twice is one row
            present.insert(clean);
            const FileMatching::Match match = FileMatching::match(clean, baseFolder, registered);
            // A taxpayer added first waits for its file: the file goes there.
            int waiting = -1;
            for (int i = 0; i < m_lines.size() && waiting < 0 && !match.ie.isEmpty(); ++i)
                if (m_lines[i].ie == match.ie && m_lines[i].filePath.isEmpty())
                    waiting = i;
            if (waiting >= 0) {
                m_lines[waiting].filePath = QDir::toNativeSeparators(clean);
                m_lines[waiting].size = QFileInfo(clean).size();
                recheck(waiting);
                continue;
            }
            Line line;
            line.ie = match.ie;
            line.note = match.reason;
            line.filePath = QDir::toNativeSeparators(clean);
            line.size = QFileInfo(clean).size();
            addLine(line);
        }
        askLists();
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".addPaths"));
    }
}

void BatchWindow::assignTaxpayer() {
    try {
        const QString ie = cboContribuinte->currentData().toString();
        for (const int i : selectedLines()) {
            if (m_lines[i].rowId != 0 || ie.isEmpty())
                continue;
            m_lines[i].ie = ie;
            m_lines[i].note.clear();
            m_lines[i].references.clear();
            m_lines[i].referencesByUser = false;
            recheck(i);
        }
        askLists();
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".cmdAtribuir"));
    }
}

void BatchWindow::applyReferences() {
    try {
        const QString text = txtReferencias->text();
        const QString references = RowChecks::parseReferences(text).value_or(text);
        for (const int i : selectedLines()) {
            // An extract takes no months.
            if (m_lines[i].rowId != 0 || m_lines[i].kind != SentArchive::kDeclaration)
                continue;
            m_lines[i].references = references;
            m_lines[i].referencesByUser = true;
            recheck(i);
        }
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".cmdAplicarReferencias"));
    }
}

void BatchWindow::removeRows() {
    QList<int> selected = selectedLines();
    std::sort(selected.rbegin(), selected.rend());
    for (const int i : selected) {
        if (m_lines[i].rowId != 0)
            continue; // queued rows stay: they are the batch's record
        m_lines.removeAt(i);
        Grid->removeRow(i);
    }
    updateButtons();
}

void BatchWindow::toggleSendAgain() {
    try {
        for (const int i : selectedLines()) {
            Line& line = m_lines[i];
            if (line.rowId == 0) {
                line.sendAgain = !line.sendAgain;
                recheck(i);
            } else if (line.state == BatchRowState::NotListed && !isSending()) {
                // The list after sending shows it absent: back in the queue,
                // only now that the user asks for it.
                if (m_context.prompter->show(
                        {QStringLiteral("A lista do servidor não mostra o envio de %1. Enviar "
                                        "o arquivo de novo?")
                             .arg(QFileInfo(line.filePath).fileName()),
                         kTitle, MsgIcon::Warning, MsgButtons::YesNoDefaultNo}) != MsgAnswer::Yes)
                    continue;
                LocalDb db;
                if (requeueRow(db, line.rowId, true)) {
                    line.state = BatchRowState::Queued;
                    line.text.clear();
                    showLine(i);
                }
            }
        }
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".cmdEnviarDeNovo"));
    }
}

void BatchWindow::askLists() {
    QStringList ies;
    for (const Line& line : std::as_const(m_lines))
        if (!line.ie.isEmpty() && line.rowId == 0 && !ies.contains(line.ie))
            ies << line.ie;
    bool asked = true;
    for (const QString& ie : std::as_const(ies))
        asked = asked && m_listed.contains(ie);
    if (asked)
        return;
    QList<ContribuinteRow> taxpayers;
    {
        LocalDb db;
        for (const QString& ie : std::as_const(ies))
            if (const std::optional<ContribuinteRow> t = findContribuinte(db, ie))
                taxpayers << *t;
    }
    m_listed.clear();
    for (const ContribuinteRow& t : std::as_const(taxpayers))
        m_listed << t.IE;
    m_lists->start(taxpayers, m_context.clock->today());
}

void BatchWindow::listAnswered(int fillerRow) {
    try {
        const QString ie = m_listed.value(fillerRow);
        if (fillerRow >= m_lists->rows().size() || ie.isEmpty())
            return;
        const Overview::Row& row = m_lists->rows()[fillerRow];
        if (row.cells.value(Overview::ColSituacao) == Overview::kWaiting)
            return;
        const ReferenceProposal::Proposal proposal =
            ReferenceProposal::propose(row, m_context.clock->today());
        for (int i = 0; i < m_lines.size(); ++i) {
            Line& line = m_lines[i];
            if (line.ie != ie || line.rowId != 0)
                continue;
            if (line.kind == SentArchive::kDeclaration && !line.referencesByUser) {
                line.references = proposal.references;
                line.note = proposal.note;
            }
            recheck(i);
        }
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".listAnswered"));
    }
}

void BatchWindow::recheck(int index) {
    Line& line = m_lines[index];
    if (line.rowId != 0) {
        showLine(index);
        return;
    }
    line.ready = false;
    if (line.ie.isEmpty()) {
        line.checks = (line.note.isEmpty() ? QString() : line.note + QLatin1Char(' ')) +
                      QStringLiteral("Escolha o contribuinte.");
    } else if (line.filePath.isEmpty()) {
        line.checks = QStringLiteral("Escolha o arquivo.");
        LocalDb db;
        if (const std::optional<ContribuinteRow> t = findContribuinte(db, line.ie))
            line.kind = RowChecks::kindFor(*t);
    } else {
        std::optional<TaxpayerList::Facts> facts;
        const int fillerRow = int(m_listed.indexOf(line.ie));
        const bool listKnown = fillerRow >= 0 && fillerRow < m_lists->rows().size();
        if (listKnown && !m_lists->rows()[fillerRow].wholeAnswer.isEmpty())
            facts = TaxpayerList::read(m_lists->rows()[fillerRow].wholeAnswer);
        const bool waiting = !listKnown || m_lists->rows()[fillerRow].cells.value(
                                               Overview::ColSituacao) == Overview::kWaiting;
        LocalDb db;
        // The file is read again only when it may have changed since.
        const RowChecks::Result result = RowChecks::check(
            db, {line.ie, line.filePath, line.references, line.sendAgain, line.checkedDigest()},
            facts);
        line.result = result;
        line.kind = result.kind;
        line.ready = result.ready();
        line.checks = line.ready ? QStringLiteral("Pronto para envio") : result.text();
        if (!line.note.isEmpty() && line.references.isEmpty())
            line.checks += QLatin1Char(' ') + line.note;
        // The months are proposed from the list: not ready before it came.
        if (waiting && line.kind == SentArchive::kDeclaration && !line.referencesByUser) {
            line.ready = false;
            line.checks = QStringLiteral("Aguardando a lista do servidor...");
        }
    }
    showLine(index);
}

void BatchWindow::showLine(int index) {
    const Line& line = m_lines[index];
    QString state;
    if (line.state) {
        state = BatchQueue::stateText(*line.state);
        if (*line.state == BatchRowState::Sending)
            state += QStringLiteral(" %1 %").arg(line.percent);
        else if (*line.state == BatchRowState::Refused || *line.state == BatchRowState::NotSent)
            state += QStringLiteral(": ") + line.text;
    }
    const QString cells[] = {
        line.ie,
        taxpayerName(line.ie),
        line.filePath.isEmpty() ? QStringLiteral("(escolha o arquivo)")
                                : QFileInfo(line.filePath).fileName(),
        TaxpayerList::monthsText(line.references),
        line.rowId != 0
            ? QString()
            : line.checks + (line.sendAgain ? QStringLiteral(" (enviar de novo)") : QString()),
        state,
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
        item->setText(cells[c]);
        const bool editable =
            c == ColReferencias && line.rowId == 0 && line.kind == SentArchive::kDeclaration;
        item->setFlags(editable ? item->flags() | Qt::ItemIsEditable
                                : item->flags() & ~Qt::ItemIsEditable);
        // The whole text on hover: the server's answers and the checks are long.
        item->setToolTip(c == ColArquivo ? line.filePath : cells[c]);
    }
    m_showing = false;
}

QList<int> BatchWindow::selectedLines() const {
    QList<int> out;
    for (const QModelIndex& index : Grid->selectionModel()->selectedRows())
        if (index.row() < m_lines.size())
            out << index.row();
    std::sort(out.begin(), out.end());
    return out;
}

int BatchWindow::lineOf(qint64 rowId) const {
    for (int i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].rowId == rowId)
            return i;
    return -1;
}

bool BatchWindow::chooseCertificate() {
    const SendingCertificateChoice::Choice choice =
        SendingCertificateChoice::choose(m_context, kTitle, kName);
    if (choice.outcome == SendingCertificateChoice::Outcome::Cancelled ||
        choice.outcome == SendingCertificateChoice::Outcome::StoreFailed)
        return m_certificateAccepted;
    m_certificateAccepted = choice.outcome == SendingCertificateChoice::Outcome::Accepted;
    m_accountantDocument = choice.accountantDocument;
    lblCertificado->setText(m_certificateAccepted
                                ? QStringLiteral("Certificado: aceito para este lote")
                                : QStringLiteral("Certificado: nenhum escolhido"));
    return m_certificateAccepted;
}

bool BatchWindow::isSending() const {
    return m_queue && m_queue->isRunning();
}

void BatchWindow::send() {
    try {
        if (isSending())
            return;
        // What a pause or a restart left queued goes first, in its own batch.
        bool leftOver = false;
        for (const Line& line : std::as_const(m_lines))
            leftOver = leftOver || (line.rowId != 0 && line.state == BatchRowState::Queued);
        QList<int> ready;
        for (int i = 0; i < m_lines.size(); ++i)
            if (m_lines[i].rowId == 0 && m_lines[i].ready)
                ready << i;
        if (!leftOver && ready.isEmpty()) {
            m_context.prompter->show({QStringLiteral("Nenhuma linha está pronta para envio: veja "
                                                     "a coluna Verificação."),
                                      kTitle, MsgIcon::Information, MsgButtons::Ok});
            return;
        }
        if (!m_certificateAccepted && !chooseCertificate())
            return;
        if (!leftOver) {
            // The queue checks each row again just before its upload, with
            // the digest of the row's last check unless the file may have
            // changed meanwhile: checking every row here as well would hold
            // the window for as long as reading the changed files takes.
            QList<RowChecks::Input> inputs;
            QList<RowChecks::Result> results;
            const QList<int>& sent = ready;
            for (const int i : sent) {
                const Line& line = m_lines[i];
                inputs.append({line.ie, line.filePath, line.references, line.sendAgain});
                results.append(line.result);
            }
            LocalDb db;
            m_batchId = createBatch(db, BatchQueue::thisDesk(), m_context.clock->now(),
                                    RowChecks::batchRows(inputs, results));
            const QList<BatchRow> rows = batchRows(db, m_batchId);
            for (int k = 0; k < sent.size() && k < rows.size(); ++k) {
                Line& line = m_lines[sent[k]];
                line.rowId = rows[k].id;
                line.state = BatchRowState::Queued;
                showLine(sent[k]);
            }
        }
        m_summary.clear();
        lblResumo->clear();
        startQueue(m_batchId);
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".cmdEnviar"));
    }
}

void BatchWindow::startQueue(qint64 batchId) {
    delete m_queue;
    BatchQueue::Setup setup;
    setup.accountantDocument = m_accountantDocument;
    setup.clock = m_context.clock;
    setup.proxyAuth = m_context.proxyAuth;
    // The rows' checks read their files; the queue's reuses those digests.
    for (const Line& line : std::as_const(m_lines))
        if (const std::optional<SentArchive::Digest> digest = line.checkedDigest())
            setup.digests.insert(line.filePath, *digest);
    m_queue = new BatchQueue(batchId, setup, this);
    connect(m_queue, &BatchQueue::rowStarted, this, [this](qint64 rowId) {
        const int i = lineOf(rowId);
        if (i < 0)
            return;
        m_lines[i].state = BatchRowState::Sending;
        m_lines[i].percent = 0;
        m_lines[i].time = m_context.clock->now();
        showLine(i);
        Grid->scrollToItem(Grid->item(i, 0));
    });
    connect(m_queue, &BatchQueue::rowProgress, this, [this](qint64 rowId, int percent) {
        const int i = lineOf(rowId);
        if (i < 0 || m_lines[i].percent == percent)
            return;
        m_lines[i].percent = percent;
        showLine(i);
    });
    connect(m_queue, &BatchQueue::rowFinished, this,
            [this](qint64 rowId, BatchRowState state, const QString& text) {
                const int i = lineOf(rowId);
                if (i < 0)
                    return;
                m_lines[i].state = state;
                m_lines[i].text = text;
                m_lines[i].time = m_context.clock->now();
                showLine(i);
            });
    connect(m_queue, &BatchQueue::progress, this, &BatchWindow::showTotal);
    connect(m_queue, &BatchQueue::rowListed, this,
            [this](qint64 rowId, BatchRowState state, const QString& protocol) {
                const int i = lineOf(rowId);
                if (i < 0)
                    return;
                m_lines[i].state = state;
                m_lines[i].protocol = protocol;
                showLine(i);
            });
    connect(m_queue, &BatchQueue::paused, this, [this](const QString& reason) {
        cmdPausar->setText(QStringLiteral("Contin&uar"));
        lblResumo->setText(reason.isEmpty() ? QStringLiteral("Envio pausado.")
                                            : QStringLiteral("Envio pausado: %1").arg(reason));
        updateButtons();
    });
    connect(m_queue, &BatchQueue::finished, this, &BatchWindow::queueFinished);
    m_queue->start();
    updateButtons();
}

void BatchWindow::queueFinished(const QString& problem) {
    try {
        // The database holds the last word on every row (protocols included).
        LocalDb db;
        for (const BatchRow& row : batchRows(db, m_batchId)) {
            const int i = lineOf(row.id);
            if (i < 0)
                continue;
            m_lines[i].state = row.state;
            m_lines[i].text = row.reply;
            m_lines[i].protocol = row.protocol;
            if (row.endedAt.isValid())
                m_lines[i].time = row.endedAt;
            showLine(i);
        }
    } catch (const std::exception& error) {
        report(error, kName + QStringLiteral(".finished"));
    }
    int accepted = 0;
    int refused = 0;
    int noReply = 0;
    int other = 0;
    for (const Line& line : std::as_const(m_lines)) {
        if (!line.state || line.rowId == 0)
            continue;
        accepted += *line.state == BatchRowState::Accepted;
        refused += *line.state == BatchRowState::Refused;
        noReply += *line.state == BatchRowState::NoReply || *line.state == BatchRowState::NotListed;
        other += *line.state == BatchRowState::NotSent || *line.state == BatchRowState::Cancelled;
    }
    m_summary = QStringLiteral("%1 %2, %3 %4, %5 sem resposta")
                    .arg(accepted)
                    .arg(accepted == 1 ? QStringLiteral("aceito") : QStringLiteral("aceitos"))
                    .arg(refused)
                    .arg(refused == 1 ? QStringLiteral("recusado") : QStringLiteral("recusados"))
                    .arg(noReply);
    if (other > 0)
        m_summary += QStringLiteral(", %1 não enviado(s) ou cancelado(s)").arg(other);
    lblResumo->setText(QStringLiteral("Resumo: ") + m_summary);
    cmdPausar->setText(QStringLiteral("Pa&usar"));
    updateButtons();
    if (!problem.isEmpty())
        m_context.prompter->show({QStringLiteral("O envio em lote parou: %1").arg(problem), kTitle,
                                  MsgIcon::Critical, MsgButtons::Ok});
}

QString BatchWindow::summary() const {
    return m_summary;
}

void BatchWindow::updateTotal() {
    int done = 0;
    int total = 0;
    qint64 bytesDone = 0;
    qint64 bytesTotal = 0;
    for (const Line& line : std::as_const(m_lines)) {
        if (line.rowId == 0)
            continue;
        ++total;
        bytesTotal += line.size;
        if (ended(line.state)) {
            ++done;
            bytesDone += line.size;
        }
    }
    showTotal(done, total, bytesDone, bytesTotal);
}

void BatchWindow::showTotal(int rowsDone, int rowsTotal, qint64 bytesDone, qint64 bytesTotal) {
    // In KiB: a bar's range is an int.
    Progresso->setRange(0, int(qMax<qint64>(bytesTotal / 1024, 1)));
    Progresso->setValue(int(bytesDone / 1024));
    lblTotal->setText(QStringLiteral("%1 de %2 — %3 de %4")
                          .arg(rowsDone)
                          .arg(rowsTotal)
                          .arg(sizeText(bytesDone), sizeText(bytesTotal)));
}

void BatchWindow::updateButtons() {
    const bool sending = isSending();
    for (QWidget* w : {static_cast<QWidget*>(cmdEnviar), static_cast<QWidget*>(cmdCertificado)})
        w->setEnabled(!sending);
    cmdPausar->setEnabled(sending);
    cmdCancelar->setEnabled(sending);
}

void BatchWindow::pause() {
    if (!m_queue || !m_queue->isRunning())
        return;
    if (m_queue->isPaused()) {
        cmdPausar->setText(QStringLiteral("Pa&usar"));
        lblResumo->clear();
        m_queue->resume();
    } else {
        lblResumo->setText(QStringLiteral("O envio pausa ao fim do arquivo em andamento."));
        m_queue->pauseAfterCurrent();
    }
}

void BatchWindow::cancel() {
    if (!m_queue || !m_queue->isRunning())
        return;
    bool underWay = false;
    for (const Line& line : std::as_const(m_lines))
        underWay = underWay || line.state == BatchRowState::Sending;
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
        if (isSending())
            return;
        m_batchId = batchId;
        // Settles the rows a stopped program left being sent before any is
        // sent again: a request that started becomes "Sem resposta".
        recoverBatch(batchId, BatchQueue::thisDesk(), m_context.clock->now());
        LocalDb db;
        for (const BatchRow& row : batchRows(db, batchId)) {
            if (lineOf(row.id) >= 0)
                continue;
            Line line;
            line.ie = row.ie;
            line.filePath = row.filePath;
            line.kind = row.kind;
            line.references = row.references;
            line.rowId = row.id;
            line.state = row.state;
            line.text = row.reply;
            line.protocol = row.protocol;
            line.time = row.endedAt.isValid() ? row.endedAt : row.startedAt;
            line.size = QFileInfo(row.filePath).size();
            addLine(line);
        }
        updateTotal();
        // The certificate first; then the queue sends what is left queued
        // and asks the lists for the rows still to be settled.
        if (!m_certificateAccepted && !chooseCertificate())
            return;
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
    // Closing while sending would leave the queue without its window: the
    // rows are kept, but the user is told how to stop first.
    if (isSending()) {
        m_context.prompter->show({QStringLiteral("O lote está sendo enviado. Use Pausar ou "
                                                 "Cancelar antes de fechar a janela."),
                                  kTitle, MsgIcon::Information, MsgButtons::Ok});
        event->ignore();
        return;
    }
    event->accept();
}

void BatchWindow::report(const std::exception& error, const QString& where) {
    m_context.prompter->show(ErrorReport::ErrorMessage(RuntimeError::from(where, error)));
}
