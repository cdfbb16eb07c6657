// The selection window's OK: the taxpayer in use of the main window.
#include "registry/frmtbl_SelecionaContribuinte.h"

#include "app/AppContext.h"
#include "app/Principal.h"
#include "app/ProgramState.h"
#include "app/WindowRegistry.h"
#include "platform/Prompter.h"
#include "registry/TaxpayerChoice.h"

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

    QPointer<Principal> principal =
        m_context.windows
            ? qobject_cast<Principal*>(m_context.windows->loaded(QStringLiteral("Principal")))
            : nullptr;
    if (ProgramState* state = principal ? &principal->state() : m_context.state)
        state->setTaxpayer(row[ColIE], row[ColRazaoSocial], row[ColChave]);
    if (principal) {
        principal->frmImportacao->setVisible(true);
        principal->Command1->setVisible(true);
    }
    close();
    // The list is asked for once this window is gone and the main window is
    // enabled again.
    if (principal)
        principal->RecebeDadosServer();
}
