// The new-taxpayer window: the user enters a company, obtains its access key
// with a digital certificate ("Gerar chave através do Cert. Digital") and
// stores it with "&OK". "Importação de Empresas" opens the company import
// without closing this window; the import calls ImportacaoConcluida when it
// is done.
//
// A single instance reached through the window registry as
// "frmtbl_CriaContribuinte". Every close unloads it and leaves the main
// window enabled.
#pragma once

#include "registry/TaxpayerWindow.h"

class QLabel;
class QPushButton;

class frmtbl_CriaContribuinte : public TaxpayerWindow {
    Q_OBJECT
public:
    explicit frmtbl_CriaContribuinte(AppContext& context, QWidget* parent = nullptr);

    // Accountant loader: keeps the accountant's document (cont_cpf_cnpj
    // without ".", "-", "/") for the certificate match; empty when there is
    // no accountant. A database failure shows the error report and leaves the
    // document empty; it never stops the caller.
    void DadosContador();

    // The key by certificate: accountant loader, field checks, certificate
    // choice and match, distribution points, key request and validity on the
    // server's date. On success fills `Chave` and `flag_optantesimples`;
    // nothing is stored. Every failure shows its message and ends the step.
    void SelecionarCertificado();

    // The company import is done: closes this window.
    void ImportacaoConcluida();

    // The accountant's document the last loader run kept.
    const QString& accountantDocument() const { return m_accountantDocument; }

    // Handlers.
    void txtIE_LostFocus() override;
    void cmdOK_Click() override;
    void Command1_Click(); // "Gerar chave através do Cert. Digital"
    void Command2_Click(); // "Importação de Empresas"

    // Controls of this window only.
    QPushButton* Command1;
    QLabel* lblCertificado;
    QPushButton* Command2;

private:
    QString m_accountantDocument;
};
