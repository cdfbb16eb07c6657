// The part the three taxpayer lists share (selection, update chooser,
// deletion): a prompt, the grid `GridSelContribuinte` filled once from
// `tblContribuinte` when the window opens, "&OK" and "&Cancelar", the rule
// that tells whether a row was chosen, and closing (every close unloads the
// window and leaves the main window enabled). Each window adds its own OK.
#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QPushButton;
class QTableWidget;
struct AppContext;

class TaxpayerListWindow : public QDialog {
    Q_OBJECT
public:
    // Title of the boxes of these windows.
    static QString messageTitle();

    // The cells of the current row in column order (IE, name, CNPJ, CNAE,
    // key) when a row counts as chosen; empty otherwise.
    QStringList chosenRow() const;

    // Fills the grid with every stored taxpayer, in the table's order (no
    // sorting), and makes the first one current. A database failure shows the
    // error report and leaves the grid empty.
    void Form_Load();

    // Handlers.
    virtual void cmdOK_Click() = 0;
    void cmdCancelar_Click();

    // Esc cancels, as "&Cancelar" does.
    void reject() override;

    // Controls.
    QLabel* lblPrompt;
    QTableWidget* GridSelContribuinte;
    QPushButton* cmdOK;
    QPushButton* cmdCancelar;

protected:
    TaxpayerListWindow(AppContext& context, const QString& caption, const QString& prompt,
                       QWidget* parent);

    // Shows "É necessário cadastrar empresa" (information icon), the message
    // of a failed OK.
    void reportFailure();

    void closeEvent(QCloseEvent* event) override;

    AppContext& m_context;

private:
    void fitColumns();
};
