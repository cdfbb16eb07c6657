// The selection window's OK: the taxpayer in use of the main window.
#include "registry/frmtbl_SelecionaContribuinte.h"

#include "platform/Prompter.h"
#include "registry/TaxpayerChoice.h"
#include "shell/AppContext.h"
#include "shell/ProgramState.h"
#include "shell/WindowRegistry.h"

#include <QGroupBox>
#include <QPointer>
#include <QPushButton>

frmtbl_SelecionaContribuinte::frmtbl_SelecionaContribuinte(AppContext& context, QWidget* parent)
    : TaxpayerListWindow(
          context, QStringLiteral("Seleção de Contribuinte - Prefeitura Municipal de Valdoria"),
          QStringLiteral("Selecione o Contribuinte que deseja abrir:"), parent) {
    setObjectName(QStringLiteral("frmtbl_SelecionaContribuinte"));
    Form_Load();
}

void frmtbl_SelecionaContribuinte::cmdOK_Click() {
    using namespace TaxpayerChoice;
    const QStringList row = chosenRow();
    if (row.isEmpty()) {
        m_context.prompter->show({kMsgCadastrar, QString(), MsgIcon::None, MsgButtons::Ok});
        close();
        return;
    }

    // Guarded: the state belongs to the main window, which may be gone by the
    // time this window has closed.
    const QPointer<ProgramState> state = m_context.state;
    if (state) {
        state->setTaxpayer(row[ColIE], row[ColRazaoSocial], row[ColChave]);
        state->announceSelection();
    }
    close();
    // The list is asked for once this window is gone and the main window is
    // enabled again.
    if (state)
        state->requestListRefresh();
}
