// "Envios recusados após o processamento": the sendings the taxpayers' lists
// showed refused after processing, read from the memory of sendings every
// desk shares: taxpayer (IE and name), months, the server's text and when
// it was learned. A small list the main window's line opens.
#pragma once

#include "store/SendingRepository.h"

#include <QDialog>

class QTableWidget;
class QPushButton;

class RefusedSendingsWindow : public QDialog {
    Q_OBJECT
public:
    // Shows these entries (refusedAfterProcessing), each taxpayer named by
    // `names` (IE → company name; a taxpayer no longer registered shows its
    // IE alone).
    RefusedSendingsWindow(const QList<SendingEntry>& refused, const QHash<QString, QString>& names,
                          QWidget* parent = nullptr);

    QTableWidget* grid;
    QPushButton* cmdFechar;
};
