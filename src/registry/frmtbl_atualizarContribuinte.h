// The update chooser: opens the update window filled with the chosen
// taxpayer. Reached through the window registry as
// "frmtbl_atualizarContribuinte".
#pragma once

#include "registry/TaxpayerListWindow.h"

class frmtbl_atualizarContribuinte : public TaxpayerListWindow {
    Q_OBJECT
public:
    explicit frmtbl_atualizarContribuinte(AppContext& context, QWidget* parent = nullptr);

    // Chosen: reads the stored row of its IE (municipal registration and
    // Simples option), opens frmtbl_CadastroContribuinte filled with the
    // grid's cells and that row, and closes. Not chosen: "É necessário
    // selecionar a empresa" and the chooser stays open. A failure (database,
    // row gone) shows "É necessário cadastrar empresa", opens nothing and the
    // chooser stays open.
    void cmdOK_Click() override;
};
