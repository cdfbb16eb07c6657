// The company import window: the user chooses a NovaGIA export file, loads
// it into a grid for review (inconsistent rows in red, and then no import),
// and imports it: one certificate chosen once, one key request per company,
// every company the server knows and that is not registered yet stored with
// its key. A progress bar names the company being processed.
//
// A single instance reached through the window registry as "ImportarEmpresas"
// (the new-taxpayer window opens it); not modal. Closing it unloads it, so the
// next opening starts idle.
#pragma once

#include "registry/AccessExportReader.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
struct AppContext;

class ImportarEmpresas : public QDialog {
    Q_OBJECT
public:
    explicit ImportarEmpresas(AppContext& context, QWidget* parent = nullptr);

    // Grid columns and their widths in twips.
    enum GridColumn { ColIE, ColCNPJ, ColCNAE, ColRazaoSocial };
    static int gridColumnTwips(int column);

    // The certificate step and the import of the file named in Text1 (the
    // body of "Impo&rtar"). Every failure is shown in a box; never throws.
    void SelecionarCertificado();

    // Handlers.
    void Command1_Click(); // "Impo&rtar"
    void Command2_Click(); // "Selecionar Arquivo"
    void Command3_Click(); // "Carregar Dados"

    // Esc closes (and unloads) the window, as the close box does.
    void reject() override;

    // True while the import runs (the window then refuses to close).
    bool importing() const { return m_importing; }

    // Controls.
    QLineEdit* Text1;
    QPushButton* Command2;
    QPushButton* Command3;
    QTableWidget* MSFlexGrid1;
    QPushButton* Command1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* lblImportacao;       // the company being processed
    QProgressBar* prgImportacao; // companies processed so far

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void fillGrid(const QList<AccessExport::Company>& companies);
    void showProgress(int index, int count, const AccessExport::Company& company);
    void setImporting(bool on);

    AppContext& m_context;
    bool m_importing = false;
};
