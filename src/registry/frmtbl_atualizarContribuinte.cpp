// The update chooser's OK: the update window filled with the chosen taxpayer.
#include "registry/frmtbl_atualizarContribuinte.h"

#include "platform/Prompter.h"
#include "registry/TaxpayerChoice.h"
#include "registry/frmtbl_CadastroContribuinte.h"
#include "shell/AppContext.h"
#include "shell/WindowRegistry.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"

#include <optional>

frmtbl_atualizarContribuinte::frmtbl_atualizarContribuinte(AppContext& context, QWidget* parent)
    : TaxpayerListWindow(
          context, QStringLiteral("Atualização de Contribuinte - Prefeitura Municipal de Valdoria"),
          QStringLiteral("Selecione o Contribuinte que deseja atualizar:"), parent) {
    setObjectName(QStringLiteral("frmtbl_atualizarContribuinte"));
    Form_Load();
}

void frmtbl_atualizarContribuinte::cmdOK_Click() {
    using namespace TaxpayerChoice;
    const QStringList cells = chosenRow();
    if (cells.isEmpty()) {
        m_context.prompter->show({kMsgSelecionar, QString(), MsgIcon::None, MsgButtons::Ok});
        return;
    }

    // The stored row is read before the update window opens, so a failure
    // never leaves that window open half filled. An imported row's unset
    // municipal registration reads as empty and its unset option as cleared.
    std::optional<ContribuinteRow> stored;
    try {
        LocalDb db;
        stored = findContribuinte(db, cells[ColIE]);
    } catch (const std::exception&) {
        stored.reset();
    }
    auto* update = stored && m_context.windows
                       ? qobject_cast<frmtbl_CadastroContribuinte*>(
                             m_context.windows->show(QStringLiteral("frmtbl_CadastroContribuinte")))
                       : nullptr;
    if (!update) {
        reportFailure();
        return;
    }

    ContribuinteRow shown = *stored;
    shown.IE = cells[ColIE];
    shown.RazaoSocial = cells[ColRazaoSocial];
    shown.Cnpj = cells[ColCnpj];
    shown.Cnae = cells[ColCnae];
    shown.Chave = cells[ColChave];
    update->fillFromRow(shown);
    close();
}
