// The taxpayer-update window: the update chooser opens it filled with one
// stored taxpayer; "&OK" writes the name, CNAE, municipal registration and
// Simples option back to the row of the IE shown. The IE and the key are
// read-only; CNPJ and key are checked but never written.
//
// A single instance reached through the window registry as
// "frmtbl_CadastroContribuinte". Every close unloads it and leaves the main
// window enabled.
#pragma once

#include "registry/TaxpayerWindow.h"

class QLabel;

class frmtbl_CadastroContribuinte : public TaxpayerWindow {
    Q_OBJECT
public:
    explicit frmtbl_CadastroContribuinte(AppContext& context, QWidget* parent = nullptr);

    // Fills every field with a stored taxpayer (NULL Simples: box cleared).
    // Its IE is the row "&OK" writes, whatever the IE field holds by then.
    void fillFromRow(const ContribuinteRow& row);

    // Handlers.
    void txtIE_LostFocus() override;
    void cmdOK_Click() override;

    // Controls of this window only.
    QLabel* lblRegime;

private:
    QString m_ie; // IE of the row shown; empty until a row is filled in
};
