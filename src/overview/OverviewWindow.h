// "Visão geral": every registered taxpayer in one table (key, Simples flag,
// last processed reference, pending sendings, months of the working year
// without a processed transmission, certificate days left), filled from the
// server as the window opens or on "Atualizar", over at most four
// connections, with progress, count and "Cancelar". The table sorts by any
// column and filters by text; a double-click makes that taxpayer the one in
// use in the main window; the table goes out as CSV or PDF.
//
// Non-modal; a single instance in the window registry ("OverviewWindow").
#pragma once

#include <QSet>
#include <QWidget>

class OverviewFiller;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
struct AppContext;

class OverviewWindow : public QWidget {
    Q_OBJECT
public:
    explicit OverviewWindow(AppContext& context, QWidget* parent = nullptr);
    ~OverviewWindow() override;

    static QString caption();
    // The filler (rows as they stand, in registration order).
    const OverviewFiller& filler() const { return *m_filler; }

    // Handlers.
    void refresh();       // reads the taxpayers and asks the server again
    void cancelFilling(); // stops the filling; unanswered rows say "Cancelado"
    void exportCsv();     // CSV file chosen by the user
    void exportPdf();     // PDF of the table as shown (sorted, filtered)
    // A row of the view (after sorting and filtering) was double-clicked.
    void useTaxpayerAt(int viewRow);
    // "Enviar em lote": the batch window with the selected rows' taxpayers.
    void sendSelectedInBatch();
    // "Recibos do mês": the receipts kept for the month of cboMesRecibos
    // copied into a folder the user picks, with their index.
    void exportMonthReceipts();

    QLineEdit* txtFiltro;
    QTableView* Grid;
    QProgressBar* Progresso;
    QLabel* lblContagem;
    QPushButton* cmdAtualizar;
    QPushButton* cmdCancelar;
    QPushButton* cmdExportar;
    QPushButton* cmdPdf;
    QPushButton* cmdLote;
    QComboBox* cboMesRecibos; // reference months with receipts kept, newest first
    QPushButton* cmdRecibosMes;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void fillModel();
    // The months of cboMesRecibos as the archive holds them now.
    void listReceiptMonths();
    void updateRow(int row);
    void updateProgress(int done, int total);
    // The rows as the view shows them now (sorted, filtered).
    QList<QStringList> visibleRows() const;
    // Shows the failure of a handler in the program's error report.
    void report(const std::exception& error, const QString& where);

    AppContext& m_context;
    OverviewFiller* m_filler;
    // Taxpayers with a sending refused after processing (by IE), read at
    // each refresh: their "Situação" says so instead of "OK".
    QSet<QString> m_refused;
    QStandardItemModel* m_model;
    QSortFilterProxyModel* m_proxy;
};
