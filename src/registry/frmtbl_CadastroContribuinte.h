// The taxpayer-update window: the update chooser opens it filled with one
// stored taxpayer; "&OK" writes the name, CNAE, municipal registration and
// Simples option back. CNPJ and key are checked but never written.
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
    void fillFromRow(const ContribuinteRow& row);

    // Handlers.
    void txtIE_LostFocus() override;
    void cmdOK_Click() override;

    // Controls of this window only.
    QLabel* lblRegime;
};
