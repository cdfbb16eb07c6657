// The part the new-taxpayer and taxpayer-update windows share: the frame
// " Contribuinte " with the fields, `erroMsg`, "&OK" and "&Cancelar", the CNPJ
// lost-focus check, and closing (every close unloads the window and leaves
// the main window enabled). Each window adds its own IE lost-focus check and
// confirmation.
#pragma once

#include "registry/TaxpayerForm.h"

#include <QDialog>

#include <exception>

class MaskedEdit;
class QCheckBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
struct AppContext;

class TaxpayerWindow : public QDialog {
    Q_OBJECT
public:
    // Title of the boxes of both windows.
    static QString messageTitle() { return TaxpayerForm::kTitle; }

    // The fields as they stand, masked fields read with literals and "_".
    TaxpayerForm::Fields fields() const;

    // Handlers.
    void txtCNPJ_LostFocus();
    virtual void txtIE_LostFocus() = 0;
    virtual void cmdOK_Click() = 0;
    void cmdCancelar_Click();

    // Esc cancels, as "&Cancelar" does.
    void reject() override;

    // Controls.
    QGroupBox* fraContribuinte;
    QLabel* lblIE;
    MaskedEdit* txtIE;
    QLabel* lblRazaoSocial;
    QLineEdit* txtRazaoSocial;
    QLabel* lblCNPJ;
    MaskedEdit* txtCNPJ;
    QLabel* lblCNAE;
    MaskedEdit* txtCNAE;
    QLabel* lblInscMunicipal;
    QLineEdit* txtInscMunicipal;
    QLabel* lblChave;
    QLineEdit* Chave;
    QCheckBox* flag_optantesimples;
    QLabel* erroMsg;
    QPushButton* cmdOK;
    QPushButton* cmdCancelar;

protected:
    // Builds the shared controls. `caption` is the window title.
    TaxpayerWindow(AppContext& context, const QString& caption, QWidget* parent);

    // The row that holds the key field (index 0) and then a stretch; a window
    // inserts its own controls after the field.
    QHBoxLayout* chaveRow() const { return m_chaveRow; }
    // The row of buttons under the frame; "&OK" and "&Cancelar" sit at its end.
    QHBoxLayout* buttonRow() const { return m_buttonRow; }
    // The layout under the frame, before the error label, for a note.
    void addNote(QLabel* note);

    // Shows the standard error report of a failed database operation.
    void reportError(const std::exception& error);

    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    AppContext& m_context;

private:
    static constexpr int kChaveRow = 5; // row of the key field in the frame's grid
    QGridLayout* m_fieldGrid = nullptr;
    QHBoxLayout* m_chaveRow = nullptr;
    QHBoxLayout* m_buttonRow = nullptr;
    QVBoxLayout* m_layout = nullptr;
};
