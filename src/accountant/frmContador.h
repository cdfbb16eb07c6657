// The accountant window: the office's one accountant (person type, CPF or
// CNPJ, CRC, name, address, telephone, e-mail). "OK" registers the data with
// the municipal server first, then checks the fields and replaces the stored
// accountant; "Remover" deletes it and reopens the window empty.
//
// A single instance reached through the window registry as "frmContador".
// Closing it in any way ("OK" after success, "Cancelar", Esc, close box)
// unloads it, so the next show loads it afresh from the local database.
#pragma once

#include "accountant/AccountantForm.h"

#include <QDialog>

class MaskedEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
struct AppContext;

class frmContador : public QDialog {
    Q_OBJECT
public:
    // Loads the window (Form_Load): enables the main window and fills the
    // fields from `tblContador`. A load failure is reported with the error
    // report and the window goes on with empty fields.
    explicit frmContador(AppContext& context, QWidget* parent = nullptr);

    // Title of every box this window shows.
    static QString messageTitle();
    // The connection failure text with code 1 (a failure after the server
    // exchange) or 2 (the exchange itself failed); lines end with CR+LF.
    static QString connectionMessage(int code);

    // The fields as they stand, masked fields read with literals and "_".
    AccountantForm::Fields fields() const;

    // Sends the fields to the server ("Transferencia.contador"); the answer is
    // not read. Throws what the SOAP client throws (NetworkError) when no
    // answer could be had.
    void fnContador();

    // Handlers.
    void Form_Load();
    // Física or Jurídica became checked (by any input): the matching mask.
    void opt_fisica_Click();
    void opt_juridica_Click();
    void txtCNPJCPF_LostFocus();
    void btnOK_Click();
    void Command1_Click(); // "Cancelar"
    void Command2_Click(); // "Remover"

    // Esc cancels, as "Cancelar" does.
    void reject() override;

    // Controls.
    QGroupBox* fraContador;
    QLabel* lblTipoPessoa;
    QRadioButton* opt_fisica;
    QRadioButton* opt_juridica;
    QLabel* lblCNPJCPF;
    MaskedEdit* txtCNPJCPF;
    QLabel* lblCRC;
    QLineEdit* txtCRC;
    QLabel* lblRazaoSocial;
    QLineEdit* txtRazaoSocial;
    QLabel* lblLogradouro;
    QLineEdit* txtLogradouro;
    QLabel* lblNumero;
    QLineEdit* txtNumero;
    QLabel* lblComplemento;
    QLineEdit* txtComplemento;
    QLabel* lblBairro;
    QLineEdit* txtBairro;
    QLabel* lblCidade;
    QLineEdit* txtCidade;
    QLabel* lblUF;
    QLineEdit* txtUF;
    QLabel* lblTelefone;
    MaskedEdit* txtTelefone;
    QLabel* lblCEP;
    MaskedEdit* txtCEP;
    QLabel* lblEmail;
    QLineEdit* txtEmail;
    QLabel* lblAtencao;
    QLabel* erroMsg;
    QPushButton* btnOK;
    QPushButton* Command1;
    QPushButton* Command2;

protected:
    // Every close unloads the window from the registry.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void fillFromStore(const ContadorRow& row);
    bool cpfMaskSet() const;
    // Shows the refusal and returns true when a masked field still holds a
    // stored value its mask cannot hold.
    bool refuseUnfitStoredValue();

    AppContext& m_context;
};
