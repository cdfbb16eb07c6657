// The batch window's grid layout.
#include "batchwindow/BatchGrid.h"

#include "batchwindow/BatchWindow.h"

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>

namespace {

// The width a cell needs to show `text` whole on one line.
int textWidth(const QTableWidget* grid, const QString& text) {
    return grid->fontMetrics().horizontalAdvance(text) +
           grid->fontMetrics().horizontalAdvance(QLatin1Char('M'));
}

const char kRowsToFit[] = "batchRowsToFit";

int em(const QTableWidget* grid) {
    return grid->fontMetrics().horizontalAdvance(QLatin1Char('M'));
}

// "Verificação" and "Situação" wrap a text too long for their column.
class WrappingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->features |= QStyleOptionViewItem::WrapText;
    }
};

} // namespace

namespace BatchGrid {

void setUp(QTableWidget* grid) {
    // F2, double-click and the arrows still edit and move within the grid.
    grid->setTabKeyNavigation(false);
    // One line per row except where a check or a state is too long (a
    // refusal): that cell wraps, so it reads whole without hovering.
    grid->setWordWrap(false);
    for (const int column : {BatchWindow::ColVerificacao, BatchWindow::ColSituacao})
        grid->setItemDelegateForColumn(column, new WrappingDelegate(grid));
    grid->setColumnWidth(BatchWindow::ColIE, textWidth(grid, QStringLiteral("00000000")));
    grid->setColumnWidth(BatchWindow::ColRazao, 11 * em(grid));
    grid->setColumnWidth(BatchWindow::ColArquivo, 14 * em(grid));
    grid->setColumnWidth(BatchWindow::ColReferencias, 11 * em(grid));
    const QHeaderView* header = grid->horizontalHeader();
    grid->setColumnWidth(BatchWindow::ColHora, qMax(textWidth(grid, QStringLiteral("00:00:00")),
                                                    header->sectionSizeHint(BatchWindow::ColHora)));
    grid->setColumnWidth(BatchWindow::ColProtocolo,
                         qMax(textWidth(grid, QStringLiteral("Verificando")),
                              header->sectionSizeHint(BatchWindow::ColProtocolo)));
    // A column's new width is known only once the header has laid out all
    // of them: the rows are fitted after, once per round of resizes.
    QObject::connect(header, &QHeaderView::sectionResized, grid, [grid](int column, int, int) {
        if ((column != BatchWindow::ColVerificacao && column != BatchWindow::ColSituacao) ||
            grid->property(kRowsToFit).toBool())
            return;
        grid->setProperty(kRowsToFit, true);
        QTimer::singleShot(0, grid, [grid] {
            grid->setProperty(kRowsToFit, false);
            for (int i = 0; i < grid->rowCount(); ++i)
                fitRow(grid, i);
        });
    });
}

void fitColumns(QTableWidget* grid, bool checks, bool states) {
    QHeaderView* header = grid->horizontalHeader();
    const bool stretchChecks = checks || !states;
    header->setSectionResizeMode(BatchWindow::ColVerificacao,
                                 stretchChecks ? QHeaderView::Stretch : QHeaderView::Interactive);
    header->setSectionResizeMode(BatchWindow::ColSituacao,
                                 states ? QHeaderView::Stretch : QHeaderView::Interactive);
    if (!stretchChecks)
        grid->setColumnWidth(BatchWindow::ColVerificacao,
                             header->sectionSizeHint(BatchWindow::ColVerificacao));
    if (!states)
        grid->setColumnWidth(BatchWindow::ColSituacao,
                             header->sectionSizeHint(BatchWindow::ColSituacao));
    // File names and months read whole up to a bound that leaves the
    // states their room at the window's first size.
    int file = 14 * em(grid);
    int months = 11 * em(grid);
    for (int i = 0; i < grid->rowCount(); ++i) {
        if (const QTableWidgetItem* item = grid->item(i, BatchWindow::ColArquivo))
            file = qMax(file, textWidth(grid, item->text()));
        if (const QTableWidgetItem* item = grid->item(i, BatchWindow::ColReferencias))
            months = qMax(months, textWidth(grid, item->text()));
    }
    // Only wider: a width the user gave stays.
    grid->setColumnWidth(BatchWindow::ColArquivo, qMax(grid->columnWidth(BatchWindow::ColArquivo),
                                                       qMin(file, 20 * em(grid))));
    grid->setColumnWidth(
        BatchWindow::ColReferencias,
        qMax(grid->columnWidth(BatchWindow::ColReferencias), qMin(months, 13 * em(grid))));
}

void fitRow(QTableWidget* grid, int row) {
    const int line = grid->verticalHeader()->defaultSectionSize();
    const int margin = textWidth(grid, QString());
    int height = line;
    for (const int column : {BatchWindow::ColVerificacao, BatchWindow::ColSituacao}) {
        const QTableWidgetItem* item = grid->item(row, column);
        const int width = grid->columnWidth(column);
        if (!item || textWidth(grid, item->text()) <= width)
            continue;
        const QRect needed = grid->fontMetrics().boundingRect(
            QRect(0, 0, qMax(width - margin, margin), 0), Qt::TextWordWrap, item->text());
        height = qMax(height, needed.height() + line - grid->fontMetrics().height());
    }
    if (grid->rowHeight(row) != height)
        grid->setRowHeight(row, height);
}

void fitProtocol(QTableWidget* grid, const QString& protocol) {
    const int width = textWidth(grid, protocol);
    if (width > grid->columnWidth(BatchWindow::ColProtocolo))
        grid->setColumnWidth(BatchWindow::ColProtocolo, width);
}

} // namespace BatchGrid
