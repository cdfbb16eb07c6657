// The deletion window's OK: question, deletion, confirmation.
#include "registry/frmtbl_exclusaoContribuinte.h"

#include "platform/Prompter.h"
#include "registry/TaxpayerChoice.h"
#include "shell/AppContext.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"

frmtbl_exclusaoContribuinte::frmtbl_exclusaoContribuinte(AppContext& context, QWidget* parent)
    : TaxpayerListWindow(
          context, QStringLiteral("Exclusão de Contribuinte - Prefeitura Municipal de Valdoria"),
          QStringLiteral("Selecione o Contribuinte que deseja excluir:"), parent) {
    setObjectName(QStringLiteral("frmtbl_exclusaoContribuinte"));
    Form_Load();
}

void frmtbl_exclusaoContribuinte::cmdOK_Click() {
    using namespace TaxpayerChoice;
    const QStringList cells = chosenRow();
    if (cells.isEmpty()) {
        m_context.prompter->show({kMsgSelecionar, QString(), MsgIcon::None, MsgButtons::Ok});
        return;
    }
    if (m_context.prompter->show({kAskExcluir, messageTitle(), MsgIcon::None, MsgButtons::YesNo}) ==
        MsgAnswer::No)
        return;
    try {
        LocalDb db;
        // Every row with this IE goes; finding none is no failure.
        deleteContribuinte(db, cells[ColIE]);
    } catch (const std::exception&) {
        reportFailure();
        return;
    }
    m_context.prompter->show({kMsgExcluido, messageTitle(), MsgIcon::Information, MsgButtons::Ok});
    close();
}
