// The new-taxpayer window: key by certificate, lost-focus checks, storing.
#include "registry/frmtbl_CriaContribuinte.h"

#include "base/ReadWrite.h"
#include "base/RuntimeError.h"
#include "certificates/Certificate.h"
#include "certificates/CertificateMessages.h"
#include "certificates/CertificatePicker.h"
#include "net/SoapClient.h"
#include "platform/MaskedEdit.h"
#include "platform/Prompter.h"
#include "registry/AccessKeyRequest.h"
#include "shell/AppContext.h"
#include "shell/WindowRegistry.h"
#include "store/ContadorRepository.h"
#include "store/ContribuinteRepository.h"
#include "store/LocalDb.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <optional>

namespace {

const QString kWindowName = QStringLiteral("frmtbl_CriaContribuinte");
const QString kImportWindow = QStringLiteral("ImportarEmpresas");

} // namespace

frmtbl_CriaContribuinte::frmtbl_CriaContribuinte(AppContext& context, QWidget* parent)
    : TaxpayerWindow(context,
                     QStringLiteral("Cadastro de Contribuinte - Prefeitura Municipal de Valdoria"),
                     parent) {
    setObjectName(kWindowName);

    Command1 =
        new QPushButton(QStringLiteral("Gerar chave através do Cert. Digital"), fraContribuinte);
    Command1->setObjectName(QStringLiteral("Command1"));
    lblCertificado =
        new QLabel(QStringLiteral("Utilize o certificado da Empresa ou Contador"), fraContribuinte);
    lblCertificado->setObjectName(QStringLiteral("lblCertificado"));
    Command1->setAccessibleDescription(lblCertificado->text());
    chaveRow()->insertWidget(1, Command1);
    chaveRow()->insertWidget(2, lblCertificado);

    Command2 = new QPushButton(QStringLiteral("Importação de Empresas"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    buttonRow()->insertWidget(0, Command2);

    QWidget* order[] = {
        txtIE,    txtRazaoSocial,      txtCNPJ, txtCNAE,     txtInscMunicipal, Chave,
        Command1, flag_optantesimples, cmdOK,   cmdCancelar, Command2};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(Command1, &QPushButton::clicked, this, &frmtbl_CriaContribuinte::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmtbl_CriaContribuinte::Command2_Click);
    resize(620, sizeHint().height());
}

void frmtbl_CriaContribuinte::DadosContador() {
    m_accountantDocument.clear();
    try {
        m_accountantDocument = ::DadosContador();
    } catch (const std::exception& error) {
        reportError(error);
    }
}

void frmtbl_CriaContribuinte::SelecionarCertificado() {
    using namespace CertificateMessages;
    Prompter& prompter = *m_context.prompter;

    DadosContador();

    const TaxpayerForm::Fields f = fields();
    const QString fieldError = TaxpayerForm::firstFieldError(f, false);
    if (!fieldError.isEmpty()) {
        prompter.show({fieldError, messageTitle(), MsgIcon::Critical, MsgButtons::Ok});
        return;
    }

    std::optional<Certificate> certificate;
    try {
        if (!m_context.certificates)
            throw RuntimeError(-1, kWindowName, QStringLiteral("Sem repositório de certificados"));
        certificate = m_context.certificates->pick(kDialogTitle, kDialogText);
    } catch (const std::exception&) {
        prompter.show({componentFailure(), QString(), MsgIcon::None, MsgButtons::Ok});
        return;
    }
    if (!certificate)
        return; // the user cancelled: nothing changes

    if (!certificateMatches(certificate->der, TaxpayerForm::documentDigits(f.cnpj),
                            m_accountantDocument)) {
        prompter.show({kNoMatch, kTitle, MsgIcon::Information, MsgButtons::Ok});
        return;
    }
    if (certificate->hasCrlDistributionPoints) {
        // Unreadable distribution points are reported; the step goes on.
        const QString cdp = VerificarCDP(*certificate);
        if (!cdp.isEmpty())
            prompter.show({cdp, QString(), MsgIcon::None, MsgButtons::Ok});
    }

    AccessKeyAnswer answer;
    try {
        if (!m_context.soap)
            throw RuntimeError(-1, kWindowName, QStringLiteral("Sem cliente SOAP"));
        answer = requestAccessKey(*m_context.soap, f.ie, f.cnpj);
    } catch (const std::exception&) {
        prompter.show({connectionFailure(ReadWrite::ReadIniValue(QStringLiteral("servidor"),
                                                                 QStringLiteral("host"))),
                       QString(), MsgIcon::None, MsgButtons::Ok});
        return;
    }
    if (!answer.authorised) {
        prompter.show({kNotAuthorised, kTitle, MsgIcon::Critical, MsgButtons::Ok});
        return;
    }
    // Validity is judged on the server's clock, never the local one.
    if (!certificateValidAt(*certificate, answer.serverDate)) {
        prompter.show({kExpired, QString(), MsgIcon::None, MsgButtons::Ok});
        return;
    }
    Chave->setText(answer.key);
    flag_optantesimples->setChecked(answer.simples);
}

void frmtbl_CriaContribuinte::ImportacaoConcluida() {
    close();
}

void frmtbl_CriaContribuinte::txtIE_LostFocus() {
    erroMsg->clear();
    try {
        LocalDb db;
        erroMsg->setText(
            TaxpayerForm::newIeFocusMessage(countContribuinte(db, txtIE->maskedText())));
    } catch (const std::exception& error) {
        reportError(error);
    }
}

void frmtbl_CriaContribuinte::cmdOK_Click() {
    const TaxpayerForm::Fields f = fields();
    if (const std::optional<Message> refusal = TaxpayerForm::okRefusal(f, erroMsg->text())) {
        m_context.prompter->show(*refusal);
        return;
    }
    try {
        LocalDb db;
        // Counted again: the field check may have been passed over.
        if (countContribuinte(db, f.ie) > 0) {
            erroMsg->setText(TaxpayerForm::kJaCadastrado);
            return;
        }
        erroMsg->clear();
        insertContribuinte(db, TaxpayerForm::rowToInsert(f));
    } catch (const std::exception& error) {
        reportError(error);
        return;
    }
    m_context.prompter->show({TaxpayerForm::kMsgCriado, QString(), MsgIcon::None, MsgButtons::Ok});
    close();
}

void frmtbl_CriaContribuinte::Command1_Click() {
    SelecionarCertificado();
}

void frmtbl_CriaContribuinte::Command2_Click() {
    if (m_context.windows && m_context.windows->show(kImportWindow))
        return;
    m_context.prompter->show(
        {QStringLiteral("Esta função ainda não está disponível nesta versão do programa."),
         messageTitle(), MsgIcon::Information, MsgButtons::Ok});
}
