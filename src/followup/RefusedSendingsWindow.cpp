// The list of sendings refused after processing.
#include "followup/RefusedSendingsWindow.h"

#include "batch/TaxpayerList.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

RefusedSendingsWindow::RefusedSendingsWindow(const QList<SendingEntry>& refused,
                                             const QHash<QString, QString>& names, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("RefusedSendingsWindow"));
    setWindowTitle(QStringLiteral("Envios recusados após o processamento"));
    auto* intro = new QLabel(QStringLiteral("O servidor recebeu estes envios e os recusou ao "
                                            "processá-los. Corrija cada declaração e envie-a "
                                            "de novo."),
                             this);
    intro->setWordWrap(true);
    grid = new QTableWidget(int(refused.size()), 5, this);
    grid->setObjectName(QStringLiteral("grid"));
    grid->setAccessibleName(QStringLiteral("Envios recusados"));
    grid->setHorizontalHeaderLabels({QStringLiteral("IE"), QStringLiteral("Razão social"),
                                     QStringLiteral("Meses"), QStringLiteral("Texto do servidor"),
                                     QStringLiteral("Quando")});
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->verticalHeader()->hide();
    for (int r = 0; r < refused.size(); ++r) {
        const SendingEntry& e = refused[r];
        const QString months = e.references.isEmpty() ? QStringLiteral("extrato")
                                                      : TaxpayerList::monthsText(e.references);
        QString text = e.outcomeText.isEmpty()
                           ? QStringLiteral("(sem texto; situação %1)").arg(e.outcomeStatus)
                           : e.outcomeText;
        const QStringList cells = {e.ie, names.value(e.ie), months, text,
                                   e.outcomeAt.toString(QStringLiteral("dd/MM/yyyy HH:mm"))};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setToolTip(cells[c]);
            grid->setItem(r, c, item);
        }
    }
    grid->resizeColumnsToContents();
    grid->horizontalHeader()->setStretchLastSection(true);
    cmdFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    cmdFechar->setObjectName(QStringLiteral("cmdFechar"));
    cmdFechar->setAccessibleName(QStringLiteral("Fechar"));
    connect(cmdFechar, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(grid, 1);
    layout->addWidget(cmdFechar, 0, Qt::AlignRight);
    resize(760, 320);
}
