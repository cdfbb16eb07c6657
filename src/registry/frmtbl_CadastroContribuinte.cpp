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
#include <QPalette>
#include <QPushButton>

frmtbl_CadastroContribuinte::frmtbl_CadastroContribuinte(AppContext& context, QWidget* parent)
    : TaxpayerWindow(
          context, QStringLiteral("Atualização de Contribuinte - Prefeitura Municipal de Valdoria"),
          parent) {
    setObjectName(QStringLiteral("frmtbl_CadastroContribuinte"));

    lblRegime = new QLabel(QStringLiteral("Regime: Débito e Crédito"), this);
    lblRegime->setObjectName(QStringLiteral("lblRegime"));
    addNote(lblRegime);

    // The IE names the row being updated and the update never writes the
    // key: both are shown, not typed. An IE typed here would write this
    // taxpayer's data over another company's row.
    for (QLineEdit* shown : {static_cast<QLineEdit*>(txtIE), Chave}) {
        shown->setReadOnly(true);
        // Drawn on the window's colour, so it does not look like a field to type in.
        QPalette palette = shown->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        shown->setPalette(palette);
    }

    QWidget* order[] = {txtIE, txtRazaoSocial,      txtCNPJ, txtCNAE,    txtInscMunicipal,
                        Chave, flag_optantesimples, cmdOK,   cmdCancelar};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    resize(560, sizeHint().height());
}

void frmtbl_CadastroContribuinte::fillFromRow(const ContribuinteRow& row) {
    m_ie = row.IE;
    // Stored values are shown as they are: one its mask cannot hold is marked
    // and must be corrected before OK writes the row (the IE is never written).
    txtIE->showStored(row.IE);
    txtRazaoSocial->setText(row.RazaoSocial);
    txtCNPJ->showStored(row.Cnpj);
    txtCNAE->showStored(row.Cnae);
    Chave->setText(row.Chave);
    txtInscMunicipal->setText(row.CCM);
    flag_optantesimples->setChecked(row.OptanteSimples.value_or(false));
}

void frmtbl_CadastroContribuinte::txtIE_LostFocus() {
    erroMsg->setText(TaxpayerForm::updateIeFocusMessage(txtIE->maskedText()));
}

void frmtbl_CadastroContribuinte::cmdOK_Click() {
    TaxpayerForm::Fields f = fields();
    // The read-only field can still be rewritten through the accessibility
    // interface; the row written is the one shown when the window was filled.
    f.ie = m_ie;
    const std::pair<MaskedEdit*, QLabel*> masked[] = {{txtCNPJ, lblCNPJ}, {txtCNAE, lblCNAE}};
    for (const auto& [field, label] : masked) {
        if (field->holdsUnfitValue()) {
            const QString message = field->unfitMessage(label->text());
            erroMsg->setText(message);
            field->setFocus();
            m_context.prompter->show({message, messageTitle(), MsgIcon::Warning, MsgButtons::Ok});
            return;
        }
    }
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
        // Another desk may delete the row between the count and the write:
        // then nothing was updated and the user must not read that it was.
        if (updateContribuinte(db, TaxpayerForm::rowToUpdate(f)) <= 0) {
            erroMsg->setText(TaxpayerForm::kNaoCadastrado);
            return;
        }
    } catch (const std::exception& error) {
        reportError(error);
        return;
    }
    m_context.prompter->show(
        {TaxpayerForm::kMsgAtualizado, messageTitle(), MsgIcon::None, MsgButtons::Ok});
    close();
}
