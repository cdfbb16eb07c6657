// Shared grid, loading and choice rule of the taxpayer lists.
#include "registry/TaxpayerListWindow.h"

#include "base/RuntimeError.h"
#include "platform/Prompter.h"
#include "platform/Twips.h"
#include "registry/TaxpayerChoice.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/ErrorReport.h"
#include "shell/WindowRegistry.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

TaxpayerListWindow::TaxpayerListWindow(AppContext& context, const QString& caption,
                                       const QString& prompt, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setWindowTitle(caption);
    setWindowIcon(Emblem::icon());

    lblPrompt = new QLabel(prompt, this);
    lblPrompt->setObjectName(QStringLiteral("lblPrompt"));

    GridSelContribuinte = new QTableWidget(0, TaxpayerChoice::kColumns, this);
    GridSelContribuinte->setObjectName(QStringLiteral("GridSelContribuinte"));
    GridSelContribuinte->setAccessibleName(prompt);
    lblPrompt->setBuddy(GridSelContribuinte);
    QStringList headers;
    for (int c = 0; c < TaxpayerChoice::kColumns; ++c)
        headers << TaxpayerChoice::header(c);
    GridSelContribuinte->setHorizontalHeaderLabels(headers);
    GridSelContribuinte->verticalHeader()->hide();
    GridSelContribuinte->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridSelContribuinte->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridSelContribuinte->setSelectionMode(QAbstractItemView::SingleSelection);
    GridSelContribuinte->setTabKeyNavigation(false);
    GridSelContribuinte->setWordWrap(false);
    GridSelContribuinte->horizontalHeader()->setHighlightSections(false);
    // The key is data for the program, not for the eye.
    GridSelContribuinte->setColumnHidden(TaxpayerChoice::ColChave, true);
    fitColumns();

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancelar = new QPushButton(QStringLiteral("&Cancelar"), this);
    cmdCancelar->setObjectName(QStringLiteral("cmdCancelar"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancelar);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->addWidget(lblPrompt);
    layout->addWidget(GridSelContribuinte, 1);
    layout->addLayout(buttons);

    setTabOrder(GridSelContribuinte, cmdOK);
    setTabOrder(cmdOK, cmdCancelar);

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancelar, &QPushButton::clicked, this, &TaxpayerListWindow::cmdCancelar_Click);
    // A double click on a taxpayer confirms it, as OK does.
    connect(GridSelContribuinte, &QTableWidget::cellDoubleClicked, this,
            [this](int, int) { cmdOK_Click(); });
    resize(sizeHint().width(), 360);
}

void TaxpayerListWindow::fitColumns() {
    // Each column is as wide as its set width, or wider when a header or a
    // cell needs more (a formatted CNPJ does at today's font sizes).
    const double dpi = logicalDpiX();
    int tableWidth = 0;
    for (int c = 0; c < TaxpayerChoice::kColumns; ++c) {
        if (GridSelContribuinte->isColumnHidden(c))
            continue;
        const int set = Twips::TwipsToPixels(TaxpayerChoice::columnTwips(c), dpi);
        GridSelContribuinte->resizeColumnToContents(c); // header and cells
        const int width = std::max(set, GridSelContribuinte->columnWidth(c));
        GridSelContribuinte->setColumnWidth(c, width);
        tableWidth += width;
    }
    const int frame = 2 * GridSelContribuinte->frameWidth();
    const int scrollBar = GridSelContribuinte->verticalScrollBar()->sizeHint().width();
    GridSelContribuinte->setMinimumWidth(tableWidth + frame + scrollBar);
}

QString TaxpayerListWindow::messageTitle() {
    return TaxpayerChoice::kTitle;
}

void TaxpayerListWindow::Form_Load() {
    GridSelContribuinte->setRowCount(0);
    QList<ContribuinteRow> rows;
    try {
        LocalDb db;
        rows = listContribuintes(db);
    } catch (const RuntimeError& error) {
        m_context.prompter->show(ErrorReport::ErrorMessage(error));
        return;
    } catch (const std::exception& error) {
        m_context.prompter->show(ErrorReport::ErrorMessage(
            RuntimeError(0, objectName(), QString::fromLocal8Bit(error.what()))));
        return;
    }
    GridSelContribuinte->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const QStringList cells = TaxpayerChoice::rowCells(rows[r]);
        for (int c = 0; c < TaxpayerChoice::kColumns; ++c) {
            // The key column is written only when there is a key.
            if (c == TaxpayerChoice::ColChave && cells[c].isEmpty())
                continue;
            GridSelContribuinte->setItem(r, c, new QTableWidgetItem(cells[c]));
        }
    }
    fitColumns();
    if (!rows.isEmpty())
        GridSelContribuinte->setCurrentCell(0, TaxpayerChoice::ColIE);
    resize(std::max(width(), sizeHint().width()), height());
}

QStringList TaxpayerListWindow::chosenRow() const {
    const int row = GridSelContribuinte->currentRow();
    if (row < 0)
        return {};
    QStringList cells;
    for (int c = 0; c < TaxpayerChoice::kColumns; ++c) {
        const QTableWidgetItem* item = GridSelContribuinte->item(row, c);
        cells << (item ? item->text() : QString());
    }
    if (!TaxpayerChoice::isChosen(cells[TaxpayerChoice::ColRazaoSocial]))
        return {};
    return cells;
}

void TaxpayerListWindow::cmdCancelar_Click() {
    close();
}

void TaxpayerListWindow::reject() {
    cmdCancelar_Click();
}

void TaxpayerListWindow::reportFailure() {
    m_context.prompter->show(
        {TaxpayerChoice::kMsgCadastrar, messageTitle(), MsgIcon::Information, MsgButtons::Ok});
}

void TaxpayerListWindow::closeEvent(QCloseEvent* event) {
    if (m_context.windows) {
        if (QWidget* main = m_context.windows->loaded(QStringLiteral("Principal")))
            main->setEnabled(true);
        const QString name = QString::fromLatin1(metaObject()->className());
        if (m_context.windows->loaded(name) == this)
            m_context.windows->unload(name);
    }
    event->accept();
}
