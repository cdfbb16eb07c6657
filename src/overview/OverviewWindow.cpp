// The office overview window.
#include "overview/OverviewWindow.h"

#include "base/RuntimeError.h"
#include "certificates/CertificateExpiry.h"
#include "certificates/CertificateListLook.h"
#include "certificates/CertificateSources.h"
#include "net/ProxyAuth.h"
#include "net/SoapBatch.h"
#include "overview/CsvTable.h"
#include "overview/MonthReceipts.h"
#include "overview/OverviewFiller.h"
#include "overview/TablePrint.h"
#include "platform/Clock.h"
#include "platform/FilePicker.h"
#include "platform/Prompter.h"
#include "receipts/ReceiptKeeper.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/ErrorReport.h"
#include "shell/ProgramState.h"
#include "shell/WindowRegistry.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"
#include "store/SendingRepository.h"

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const QString kName = QStringLiteral("OverviewWindow");
const QString kTitle = QStringLiteral("VAV-UVOD - Visão geral");

} // namespace

OverviewWindow::OverviewWindow(AppContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window), m_context(context),
      m_filler(new OverviewFiller(SoapBatch::kCallsAtOnce, context.proxyAuth, this)),
      m_model(new QStandardItemModel(0, Overview::kColumns, this)),
      m_proxy(new QSortFilterProxyModel(this)) {
    setObjectName(kName);
    setWindowTitle(caption());
    setWindowIcon(Emblem::icon());

    m_model->setHorizontalHeaderLabels(Overview::headers());
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterKeyColumn(-1); // any column
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setSortLocaleAware(true);

    txtFiltro = new QLineEdit(this);
    txtFiltro->setObjectName(QStringLiteral("txtFiltro"));
    txtFiltro->setPlaceholderText(QStringLiteral("Filtrar por IE, nome, referência, situação..."));
    txtFiltro->setClearButtonEnabled(true);
    auto* lblFiltro = new QLabel(QStringLiteral("&Filtro:"), this);
    lblFiltro->setBuddy(txtFiltro);
    connect(txtFiltro, &QLineEdit::textChanged, m_proxy,
            &QSortFilterProxyModel::setFilterFixedString);

    Grid = new QTableView(this);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->setAccessibleName(QStringLiteral("Contribuintes"));
    Grid->setModel(m_proxy);
    Grid->setSortingEnabled(true);
    Grid->sortByColumn(-1, Qt::AscendingOrder); // registration order until a header is clicked
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Grid->verticalHeader()->hide();
    Grid->horizontalHeader()->setStretchLastSection(true);
    Grid->setWordWrap(false);
    Grid->resizeColumnsToContents(); // the headers read whole before any row
    connect(Grid, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { useTaxpayerAt(index.row()); });

    Progresso = new QProgressBar(this);
    Progresso->setObjectName(QStringLiteral("Progresso"));
    Progresso->setAccessibleName(QStringLiteral("Progresso da consulta"));
    lblContagem = new QLabel(this);
    lblContagem->setObjectName(QStringLiteral("lblContagem"));

    cmdAtualizar = new QPushButton(QStringLiteral("&Atualizar"), this);
    cmdAtualizar->setObjectName(QStringLiteral("cmdAtualizar"));
    cmdCancelar = new QPushButton(QStringLiteral("&Cancelar"), this);
    cmdCancelar->setObjectName(QStringLiteral("cmdCancelar"));
    cmdCancelar->setEnabled(false);
    cmdExportar = new QPushButton(QStringLiteral("&Exportar CSV..."), this);
    cmdExportar->setObjectName(QStringLiteral("cmdExportar"));
    cmdPdf = new QPushButton(QStringLiteral("Imprimir em &PDF..."), this);
    cmdPdf->setObjectName(QStringLiteral("cmdPdf"));
    cmdLote = new QPushButton(QStringLiteral("Enviar em &lote..."), this);
    cmdLote->setObjectName(QStringLiteral("cmdLote"));
    cmdLote->setToolTip(QStringLiteral("Abre o envio em lote com os contribuintes selecionados"));
    connect(cmdLote, &QPushButton::clicked, this, &OverviewWindow::sendSelectedInBatch);
    cboMesRecibos = new QComboBox(this);
    cboMesRecibos->setObjectName(QStringLiteral("cboMesRecibos"));
    cboMesRecibos->setAccessibleName(QStringLiteral("Mês de referência dos recibos"));
    cmdRecibosMes = new QPushButton(QStringLiteral("Recibos do &mês..."), this);
    cmdRecibosMes->setObjectName(QStringLiteral("cmdRecibosMes"));
    cmdRecibosMes->setToolTip(QStringLiteral(
        "Copia o recibo de cada contribuinte no mês escolhido para uma pasta, com um índice CSV"));
    connect(cmdRecibosMes, &QPushButton::clicked, this, &OverviewWindow::exportMonthReceipts);
    listReceiptMonths();
    connect(cmdAtualizar, &QPushButton::clicked, this, &OverviewWindow::refresh);
    connect(cmdCancelar, &QPushButton::clicked, this, &OverviewWindow::cancelFilling);
    connect(cmdExportar, &QPushButton::clicked, this, &OverviewWindow::exportCsv);
    connect(cmdPdf, &QPushButton::clicked, this, &OverviewWindow::exportPdf);

    connect(m_filler, &OverviewFiller::rowChanged, this, &OverviewWindow::updateRow);
    connect(m_filler, &OverviewFiller::progress, this, &OverviewWindow::updateProgress);
    connect(m_filler, &OverviewFiller::finished, this, [this](bool) {
        cmdCancelar->setEnabled(false);
        cmdAtualizar->setEnabled(true);
        // Once, at the end: measuring every row as it arrives would slow the
        // filling of a large office.
        Grid->resizeColumnsToContents();
    });

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(lblFiltro);
    filterRow->addWidget(txtFiltro, 1);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(Progresso, 1);
    progressRow->addWidget(lblContagem);
    progressRow->addWidget(cmdCancelar);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdAtualizar);
    buttons->addWidget(cmdLote);
    buttons->addStretch(1);
    buttons->addWidget(cboMesRecibos);
    buttons->addWidget(cmdRecibosMes);
    buttons->addWidget(cmdExportar);
    buttons->addWidget(cmdPdf);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filterRow);
    layout->addWidget(Grid, 1);
    layout->addLayout(progressRow);
    layout->addLayout(buttons);
    resize(1100, 560);
}

OverviewWindow::~OverviewWindow() = default;

QString OverviewWindow::caption() {
    return QStringLiteral("Visão geral dos contribuintes - Prefeitura Municipal de Valdoria");
}

void OverviewWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Each opening shows the state of now; a filling under way goes on.
    if (!m_filler->running())
        refresh();
}

void OverviewWindow::refresh() {
    try {
        QList<ContribuinteRow> taxpayers;
        // With the taxpayers, those with a sending refused after processing
        // as the follow-up last stored it; it asks the lists again now.
        m_refused.clear();
        {
            LocalDb db;
            taxpayers = listContribuintes(db);
            for (const SendingEntry& e : refusedAfterProcessing(db))
                m_refused.insert(e.ie);
        }
        if (m_context.state)
            m_context.state->requestFollowUp();
        listReceiptMonths();
        cmdAtualizar->setEnabled(false);
        cmdCancelar->setEnabled(true);
        m_filler->start(taxpayers, m_context.clock->today());
        fillModel();
        // The certificate column fills in when the sources have been listed,
        // off this thread; a window closed first drops the answer.
        if (m_context.certificateSearch)
            listCertificatesAsync(
                m_context.certificateSearch->sources(), m_context.certificateSearch->timeout(),
                this, [this](const CertificateListing& listing) {
                    m_filler->setCertificates(listing.certificates, m_context.clock->today());
                });
    } catch (const std::exception& error) {
        report(error, QStringLiteral("OverviewWindow.cmdAtualizar"));
    }
}

void OverviewWindow::cancelFilling() {
    try {
        m_filler->cancel();
    } catch (const std::exception& error) {
        report(error, QStringLiteral("OverviewWindow.cmdCancelar"));
    }
}

void OverviewWindow::fillModel() {
    const QList<Overview::Row>& rows = m_filler->rows();
    m_model->setRowCount(0);
    m_model->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        updateRow(r);
    updateProgress(m_filler->done(), int(rows.size()));
}

void OverviewWindow::updateRow(int row) {
    const QList<Overview::Row>& rows = m_filler->rows();
    if (row < 0 || row >= rows.size() || row >= m_model->rowCount())
        return;
    for (int c = 0; c < Overview::kColumns; ++c) {
        QString text = rows[row].cells.value(c);
        if (c == Overview::ColSituacao && text == Overview::kDone &&
            m_refused.contains(rows[row].ie()))
            text = Overview::kRefusedAfterProcessing;
        if (QStandardItem* item = m_model->item(row, c))
            item->setText(text);
        else
            m_model->setItem(row, c, new QStandardItem(text));
    }
    // Days left read as in the other certificate lists: near or past the end
    // in colour, in words in the tip.
    QStandardItem* days = m_model->item(row, Overview::ColCertificado);
    bool known = false;
    const int left = days->text().toInt(&known);
    const bool soon = known && left <= kExpiryWarningDays;
    days->setToolTip(soon ? daysLeftText(left) : QString());
    if (soon)
        days->setForeground(daysLeftBrush(left));
    else
        days->setData(QVariant(), Qt::ForegroundRole);
}

void OverviewWindow::updateProgress(int done, int total) {
    Progresso->setRange(0, qMax(total, 1));
    Progresso->setValue(total == 0 ? 1 : done);
    lblContagem->setText(QStringLiteral("%1 de %2").arg(done).arg(total));
}

QList<QStringList> OverviewWindow::visibleRows() const {
    QList<QStringList> out;
    for (int r = 0; r < m_proxy->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < Overview::kColumns; ++c)
            cells << m_proxy->index(r, c).data().toString();
        out << cells;
    }
    return out;
}

void OverviewWindow::exportCsv() {
    try {
        if (!m_context.files)
            return;
        const std::optional<QString> path = m_context.files->saveFile(
            {QStringLiteral("Exportar visão geral"), QStringLiteral("Planilha CSV (*.csv)"),
             QStringLiteral("csv")});
        if (!path)
            return;
        QSaveFile file(*path);
        const QByteArray bytes = CsvTable::write(Overview::headers(), visibleRows());
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            m_context.prompter->show({QStringLiteral("Não foi possível gravar o arquivo %1: %2")
                                          .arg(*path, file.errorString()),
                                      kTitle, MsgIcon::Critical, MsgButtons::Ok});
    } catch (const std::exception& error) {
        report(error, QStringLiteral("OverviewWindow.cmdExportar"));
    }
}

void OverviewWindow::exportPdf() {
    try {
        if (!m_context.files)
            return;
        const std::optional<QString> path = m_context.files->saveFile(
            {QStringLiteral("Imprimir visão geral em PDF"), QStringLiteral("Documento PDF (*.pdf)"),
             QStringLiteral("pdf")});
        if (!path)
            return;
        const QString failure = TablePrint::writePdf(
            *path,
            TablePrint::html(QStringLiteral("Visão geral dos contribuintes"),
                             m_context.clock->now().toString(QStringLiteral("dd/MM/yyyy HH:mm")),
                             Overview::headers(), visibleRows()));
        if (!failure.isEmpty())
            m_context.prompter->show(
                {QStringLiteral("Não foi possível gravar o arquivo %1: %2").arg(*path, failure),
                 kTitle, MsgIcon::Critical, MsgButtons::Ok});
    } catch (const std::exception& error) {
        report(error, QStringLiteral("OverviewWindow.cmdPdf"));
    }
}

void OverviewWindow::listReceiptMonths() {
    const QString chosen = cboMesRecibos->currentData().toString();
    cboMesRecibos->clear();
    for (const QString& month : Receipts::monthsKept())
        cboMesRecibos->addItem(QStringLiteral("%1/%2").arg(month.mid(5), month.left(4)), month);
    const int again = cboMesRecibos->findData(chosen);
    if (again >= 0)
        cboMesRecibos->setCurrentIndex(again);
    cmdRecibosMes->setEnabled(cboMesRecibos->count() > 0);
}

void OverviewWindow::exportMonthReceipts() {
    try {
        const QString month = cboMesRecibos->currentData().toString();
        if (month.isEmpty() || !m_context.files)
            return;
        const std::optional<QString> folder = m_context.files->openFolder(
            QStringLiteral("Pasta para os recibos de %1").arg(cboMesRecibos->currentText()),
            QDir::homePath());
        if (!folder)
            return;
        const MonthReceipts::Outcome outcome = MonthReceipts::exportMonth(month, *folder);
        QString text = QStringLiteral("%1 recibos de %2 copiados para %3.")
                           .arg(outcome.copied)
                           .arg(cboMesRecibos->currentText(), QDir::toNativeSeparators(*folder));
        if (!outcome.missing.isEmpty())
            text += QStringLiteral("\n\nNão copiados:\n") + outcome.missing.join(u'\n');
        m_context.prompter->show(
            {text, kTitle, outcome.missing.isEmpty() ? MsgIcon::Information : MsgIcon::Warning,
             MsgButtons::Ok});
    } catch (const std::exception& error) {
        report(error, QStringLiteral("OverviewWindow.cmdRecibosMes"));
    }
}

void OverviewWindow::useTaxpayerAt(int viewRow) {
    try {
        const int row = m_proxy->mapToSource(m_proxy->index(viewRow, 0)).row();
        if (row < 0 || row >= m_filler->rows().size())
            return;
        const QPointer<ProgramState> state = m_context.state;
        QWidget* main =
            m_context.windows ? m_context.windows->loaded(QStringLiteral("Principal")) : nullptr;
        if (!state || !main)
            return;
        // A transmission window keeps the main window disabled while it sends
        // for the taxpayer in use: that taxpayer must not change under it.
        if (!main->isEnabled()) {
            m_context.prompter->show(
                {QStringLiteral("Feche a janela aberta a partir da janela principal antes de "
                                "trocar de contribuinte."),
                 kTitle, MsgIcon::Information, MsgButtons::Ok});
            return;
        }
        LocalDb db;
        const std::optional<ContribuinteRow> t = findContribuinte(db, m_filler->rows()[row].ie());
        if (!t)
            return;
        state->setTaxpayer(t->IE, t->RazaoSocial, t->Chave);
        state->announceSelection();
        main->raise();
        main->activateWindow();
        state->requestListRefresh();
    } catch (const std::exception& error) {
        report(error, QStringLiteral("OverviewWindow.useTaxpayerAt"));
    }
}

void OverviewWindow::sendSelectedInBatch() {
    try {
        QStringList ies;
        for (const QModelIndex& index : Grid->selectionModel()->selectedRows()) {
            const int row = m_proxy->mapToSource(index).row();
            if (row >= 0 && row < m_filler->rows().size())
                ies << m_filler->rows()[row].ie();
        }
        if (ies.isEmpty()) {
            m_context.prompter->show(
                {QStringLiteral("Selecione os contribuintes a enviar em lote."), kTitle,
                 MsgIcon::Information, MsgButtons::Ok});
            return;
        }
        if (m_context.state)
            m_context.state->requestBatch(ies);
    } catch (const std::exception& error) {
        report(error, QStringLiteral("OverviewWindow.cmdLote"));
    }
}

void OverviewWindow::report(const std::exception& error, const QString& where) {
    m_context.prompter->show(ErrorReport::ErrorMessage(RuntimeError::from(where, error)));
}
