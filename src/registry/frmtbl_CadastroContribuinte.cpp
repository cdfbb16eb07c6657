// The taxpayer-update window: IE check on leaving the field, writing back.
#include "registry/frmtbl_CadastroContribuinte.h"

#include "platform/MaskedEdit.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

frmtbl_CadastroContribuinte::frmtbl_CadastroContribuinte(AppContext& context, QWidget* parent)
    : TaxpayerWindow(
          context, QStringLiteral("Atualização de Contribuinte - Prefeitura Municipal de Valdoria"),
          parent) {
    setObjectName(QStringLiteral("frmtbl_CadastroContribuinte"));

    lblRegime = new QLabel(QStringLiteral("Regime: Débito e Crédito"), this);
    lblRegime->setObjectName(QStringLiteral("lblRegime"));
    addNote(lblRegime);

    // The update never writes the key: shown, not typed.
    Chave->setReadOnly(true);

    QWidget* order[] = {txtIE, txtRazaoSocial,      txtCNPJ, txtCNAE,    txtInscMunicipal,
                        Chave, flag_optantesimples, cmdOK,   cmdCancelar};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    resize(560, sizeHint().height());
}

void frmtbl_CadastroContribuinte::fillFromRow(const ContribuinteRow& row) {
    txtIE->setMaskedText(row.IE);
    txtRazaoSocial->setText(row.RazaoSocial);
    txtCNPJ->setMaskedText(row.Cnpj);
    txtCNAE->setMaskedText(row.Cnae);
    Chave->setText(row.Chave);
    txtInscMunicipal->setText(row.CCM);
    flag_optantesimples->setChecked(row.OptanteSimples.value_or(false));
}

void frmtbl_CadastroContribuinte::txtIE_LostFocus() {
    erroMsg->setText(TaxpayerForm::updateIeFocusMessage(txtIE->maskedText()));
}

void frmtbl_CadastroContribuinte::cmdOK_Click() {
    const TaxpayerForm::Fields f = fields();
    if (const std::optional<Message> refusal = TaxpayerForm::okRefusal(f, erroMsg->text())) {
        m_context.prompter->show(*refusal);
        return;
    }
    try {
        LocalDb db;
        if (countContribuinte(db, f.ie) <= 0) {
            erroMsg->setText(TaxpayerForm::kNaoCadastrado);
            return;
        }
        erroMsg->clear();
        updateContribuinte(db, TaxpayerForm::rowToUpdate(f));
    } catch (const std::exception& error) {
        reportError(error);
        return;
    }
    m_context.prompter->show(
        {TaxpayerForm::kMsgAtualizado, messageTitle(), MsgIcon::None, MsgButtons::Ok});
    close();
}
