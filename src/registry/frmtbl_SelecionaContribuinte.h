// The selection window: the chosen taxpayer becomes the one in use of the
// main window, which then shows its transmissions. Reached through the
// window registry as "frmtbl_SelecionaContribuinte"; the main window is
// disabled while it is open and enabled again when it closes.
#pragma once

#include "registry/TaxpayerListWindow.h"

class frmtbl_SelecionaContribuinte : public TaxpayerListWindow {
    Q_OBJECT
public:
    explicit frmtbl_SelecionaContribuinte(AppContext& context, QWidget* parent = nullptr);

    // Chosen: writes the taxpayer into the program state (the main window's
    // labels follow it), shows the main window's transmissions frame and
    // transmit button, closes this window, then refreshes the main window's
    // list (RecebeDadosServer). Not chosen: "É necessário cadastrar empresa",
    // then closes.
    void cmdOK_Click() override;
};
