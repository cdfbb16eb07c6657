// The deletion window: deletes the chosen taxpayer after a Yes/No question.
// Reached through the window registry as "frmtbl_exclusaoContribuinte".
#pragma once

#include "registry/TaxpayerListWindow.h"

class frmtbl_exclusaoContribuinte : public TaxpayerListWindow {
    Q_OBJECT
public:
    explicit frmtbl_exclusaoContribuinte(AppContext& context, QWidget* parent = nullptr);

    // Chosen: asks "Deseja realmente excluir este contribuinte"; any answer
    // but No deletes every row with its IE, says "Contribuinte Excluído" and
    // closes. Not chosen: "É necessário selecionar a empresa", stays open.
    // A database failure shows "É necessário cadastrar empresa", stays open.
    void cmdOK_Click() override;
};
