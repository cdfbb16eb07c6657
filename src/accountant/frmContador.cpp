// The accountant window: controls, loading, the OK sequence and removal.
#include "accountant/frmContador.h"

#include "base/RuntimeError.h"
#include "base/SiteInfo.h"
#include "net/NetworkError.h"
#include "net/SoapClient.h"
#include "platform/MaskedEdit.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/ErrorReport.h"
#include "shell/WindowRegistry.h"
#include "store/ContadorRepository.h"
#include "store/LocalDb.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <exception>
#include <optional>

namespace {

const QString kWindowName = QStringLiteral("frmContador");
const QString kCrLf = QStringLiteral("\r\n");

template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

frmContador::frmContador(AppContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setObjectName(kWindowName);
    setWindowTitle(QStringLiteral("Dados do Contador - Prefeitura Municipal de Valdoria"));
    setWindowIcon(Emblem::icon());
    buildControls();
    Form_Load();
}

QString frmContador::messageTitle() {
    return QStringLiteral("VAV-UVOD - RJ");
}

QString frmContador::connectionMessage(int code) {
    return QStringLiteral("Falha de conexão - Cód %1, ").arg(code) + kCrLf +
           QStringLiteral("favor entrar em contato com seu administrador de redes para "
                          "verificação de regras no seu firewall ou proxy. ") +
           kCrLf + kCrLf + QStringLiteral("Verifique também suas configurações de antivírus.") +
           kCrLf + kCrLf + QStringLiteral("O sistema deverá se comunicar com a URL ") +
           SiteInfo::url() + QLatin1Char('/');
}

void frmContador::buildControls() {
    fraContador = named(new QGroupBox(QStringLiteral("Dados do Contador"), this), "fraContador");

    const auto label = [this](const QString& text, const char* name, QWidget* buddy) {
        QLabel* l = named(new QLabel(text, fraContador), name);
        l->setBuddy(buddy);
        return l;
    };
    const auto line = [this](const char* name) {
        return named(new QLineEdit(fraContador), name);
    };
    const auto masked = [this](const char* name) {
        return named(new MaskedEdit(fraContador), name);
    };

    opt_fisica = named(new QRadioButton(QStringLiteral("Física"), fraContador), "opt_fisica");
    opt_juridica = named(new QRadioButton(QStringLiteral("Jurídica"), fraContador), "opt_juridica");
    lblTipoPessoa = label(QStringLiteral("Tipo de Pessoa"), "lblTipoPessoa", opt_fisica);

    txtCNPJCPF = masked("txtCNPJCPF");
    txtCNPJCPF->setCnpjMask();
    txtCNPJCPF->installEventFilter(this);
    lblCNPJCPF = label(QStringLiteral("CNPJ / CPF"), "lblCNPJCPF", txtCNPJCPF);
    txtCRC = line("txtCRC");
    lblCRC = label(QStringLiteral("CRC"), "lblCRC", txtCRC);
    txtRazaoSocial = line("txtRazaoSocial");
    lblRazaoSocial = label(QStringLiteral("Razão Social"), "lblRazaoSocial", txtRazaoSocial);
    txtLogradouro = line("txtLogradouro");
    lblLogradouro = label(QStringLiteral("Endereço"), "lblLogradouro", txtLogradouro);
    txtNumero = line("txtNumero");
    lblNumero = label(QStringLiteral("Número"), "lblNumero", txtNumero);
    txtComplemento = line("txtComplemento");
    lblComplemento = label(QStringLiteral("Complemento"), "lblComplemento", txtComplemento);
    txtBairro = line("txtBairro");
    lblBairro = label(QStringLiteral("Bairro"), "lblBairro", txtBairro);
    txtCidade = line("txtCidade");
    lblCidade = label(QStringLiteral("Cidade"), "lblCidade", txtCidade);
    txtUF = line("txtUF");
    lblUF = label(QStringLiteral("Estado"), "lblUF", txtUF);
    txtTelefone = masked("txtTelefone");
    txtTelefone->setMask(AccountantForm::kTelefoneMask);
    lblTelefone = label(QStringLiteral("Telefone"), "lblTelefone", txtTelefone);
    txtCEP = masked("txtCEP");
    txtCEP->setMask(AccountantForm::kCepMask);
    lblCEP = label(QStringLiteral("CEP"), "lblCEP", txtCEP);
    txtEmail = line("txtEmail");
    lblEmail = label(QStringLiteral("E-mail"), "lblEmail", txtEmail);

    // Short fields get a width that fits what they hold; the rest stretch.
    const int charWidth = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    txtCNPJCPF->setMinimumWidth(charWidth * 22);
    txtUF->setMaxLength(2);
    txtUF->setMaximumWidth(charWidth * 6);
    txtNumero->setMaximumWidth(charWidth * 10);
    txtTelefone->setMaximumWidth(charWidth * 14);
    txtCEP->setMaximumWidth(charWidth * 14);

    auto* options = new QHBoxLayout;
    options->addWidget(opt_fisica);
    options->addWidget(opt_juridica);
    options->addStretch(1);

    auto* grid = new QGridLayout(fraContador);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    int row = 0;
    grid->addWidget(lblTipoPessoa, row, 0);
    grid->addLayout(options, row, 1, 1, 3);
    ++row;
    grid->addWidget(lblCNPJCPF, row, 0);
    grid->addWidget(txtCNPJCPF, row, 1);
    grid->addWidget(lblCRC, row, 2);
    grid->addWidget(txtCRC, row, 3);
    ++row;
    grid->addWidget(lblRazaoSocial, row, 0);
    grid->addWidget(txtRazaoSocial, row, 1, 1, 3);
    ++row;
    grid->addWidget(lblLogradouro, row, 0);
    grid->addWidget(txtLogradouro, row, 1);
    grid->addWidget(lblNumero, row, 2);
    grid->addWidget(txtNumero, row, 3);
    ++row;
    grid->addWidget(lblComplemento, row, 0);
    grid->addWidget(txtComplemento, row, 1);
    grid->addWidget(lblBairro, row, 2);
    grid->addWidget(txtBairro, row, 3);
    ++row;
    grid->addWidget(lblCidade, row, 0);
    grid->addWidget(txtCidade, row, 1);
    grid->addWidget(lblUF, row, 2);
    grid->addWidget(txtUF, row, 3);
    ++row;
    grid->addWidget(lblTelefone, row, 0);
    grid->addWidget(txtTelefone, row, 1);
    grid->addWidget(lblCEP, row, 2);
    grid->addWidget(txtCEP, row, 3);
    ++row;
    grid->addWidget(lblEmail, row, 0);
    grid->addWidget(txtEmail, row, 1, 1, 3);

    lblAtencao = named(new QLabel(QStringLiteral("Atenção: Para a transmissão dos documentos será "
                                                 "utilizado o certificado dos dados cadastrados "
                                                 "do contador responsável."),
                                  this),
                       "lblAtencao");
    lblAtencao->setWordWrap(true);

    erroMsg = named(new QLabel(this), "erroMsg");
    erroMsg->setWordWrap(true);
    erroMsg->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    erroMsg->setMinimumHeight(fontMetrics().height() * 2);

    btnOK = named(new QPushButton(QStringLiteral("OK"), this), "btnOK");
    btnOK->setDefault(true);
    Command1 = named(new QPushButton(QStringLiteral("Cancelar"), this), "Command1");
    Command2 = named(new QPushButton(QStringLiteral("Remover"), this), "Command2");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command2);
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(Command1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->addWidget(fraContador);
    layout->addWidget(lblAtencao);
    layout->addWidget(erroMsg);
    layout->addLayout(buttons);

    // Tab follows the fields as they are read: left column, then right.
    QWidget* order[] = {opt_fisica,    opt_juridica, txtCNPJCPF,     txtCRC,    txtRazaoSocial,
                        txtLogradouro, txtNumero,    txtComplemento, txtBairro, txtCidade,
                        txtUF,         txtTelefone,  txtCEP,         txtEmail,  btnOK,
                        Command1,      Command2};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    // The mask follows the checked state, however it changed: a click, Space,
    // an arrow key or a screen reader's toggle (which emits no click).
    connect(opt_fisica, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            opt_fisica_Click();
    });
    connect(opt_juridica, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            opt_juridica_Click();
    });
    connect(btnOK, &QPushButton::clicked, this, &frmContador::btnOK_Click);
    connect(Command1, &QPushButton::clicked, this, &frmContador::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmContador::Command2_Click);

    resize(640, sizeHint().height());
}

void frmContador::Form_Load() {
    // The window that needs the accountant first (new taxpayer) disabled the
    // main window; loading this one gives it back.
    if (QWidget* main =
            m_context.windows ? m_context.windows->loaded(QStringLiteral("Principal")) : nullptr)
        main->setEnabled(true);

    std::optional<ContadorRow> row;
    try {
        LocalDb db;
        row = selectContador(db);
    } catch (const RuntimeError& error) {
        // The window stays usable: the user may still type a new accountant.
        m_context.prompter->show(ErrorReport::ErrorMessage(error));
        return;
    } catch (const std::exception& error) {
        m_context.prompter->show(ErrorReport::ErrorMessage(
            RuntimeError(0, kWindowName, QString::fromLocal8Bit(error.what()))));
        return;
    }
    if (row)
        fillFromStore(*row);
}

void frmContador::fillFromStore(const ContadorRow& row) {
    if (AccountantForm::cpfMaskForStored(row.cont_cpf_cnpj))
        txtCNPJCPF->setMask(AccountantForm::kCpfMask);
    else
        txtCNPJCPF->setCnpjMask();
    // The document of a stored accountant cannot change; "Remover" frees it.
    // One its mask cannot hold stays open, so that the user can correct it.
    const bool documentFits = txtCNPJCPF->showStored(row.cont_cpf_cnpj);
    txtCNPJCPF->setEnabled(!documentFits);
    opt_fisica->setEnabled(!documentFits);
    opt_juridica->setEnabled(!documentFits);

    txtCRC->setText(row.cont_num_crc);
    txtRazaoSocial->setText(row.cont_razao_nome);
    txtLogradouro->setText(row.cont_nom_endereco);
    txtNumero->setText(row.cont_num_predial);
    txtComplemento->setText(row.cont_dsc_complemento);
    txtBairro->setText(row.cont_nom_bairro);
    txtCidade->setText(row.cont_nom_cidade);
    txtUF->setText(row.cont_nom_estado);
    txtTelefone->showStored(row.cont_num_telefone);
    txtCEP->showStored(row.cont_num_cep);
    txtEmail->setText(row.cont_email);
}

bool frmContador::cpfMaskSet() const {
    return txtCNPJCPF->mask() == AccountantForm::kCpfMask;
}

AccountantForm::Fields frmContador::fields() const {
    AccountantForm::Fields f;
    f.cpfMask = cpfMaskSet();
    f.values.cont_cpf_cnpj = txtCNPJCPF->maskedText();
    f.values.cont_num_crc = txtCRC->text();
    f.values.cont_razao_nome = txtRazaoSocial->text();
    f.values.cont_nom_endereco = txtLogradouro->text();
    f.values.cont_num_predial = txtNumero->text();
    f.values.cont_dsc_complemento = txtComplemento->text();
    f.values.cont_nom_bairro = txtBairro->text();
    f.values.cont_nom_cidade = txtCidade->text();
    f.values.cont_nom_estado = txtUF->text();
    f.values.cont_num_telefone = txtTelefone->maskedText();
    f.values.cont_num_cep = txtCEP->maskedText();
    f.values.cont_email = txtEmail->text();
    return f;
}

void frmContador::fnContador() {
    if (!m_context.soap)
        throw RuntimeError(-1, kWindowName, QStringLiteral("Sem cliente SOAP"));
    m_context.soap->call(Soap::AccountantServicePath, AccountantForm::kOperation,
                         AccountantForm::registrationParams(fields().values));
}

void frmContador::opt_fisica_Click() {
    txtCNPJCPF->setMask(AccountantForm::kCpfMask);
}

void frmContador::opt_juridica_Click() {
    txtCNPJCPF->setCnpjMask();
}

void frmContador::txtCNPJCPF_LostFocus() {
    erroMsg->setText(AccountantForm::documentFocusMessage(txtCNPJCPF->maskedText(), cpfMaskSet()));
}

bool frmContador::refuseUnfitStoredValue() {
    // A stored value its mask cannot hold is never sent or stored as the mask
    // would read it: the user corrects it first.
    const std::pair<MaskedEdit*, QLabel*> masked[] = {
        {txtCNPJCPF, lblCNPJCPF}, {txtTelefone, lblTelefone}, {txtCEP, lblCEP}};
    for (const auto& [field, label] : masked) {
        if (!field->holdsUnfitValue())
            continue;
        const QString message = field->unfitMessage(label->text());
        erroMsg->setText(message);
        field->setFocus();
        m_context.prompter->show({message, messageTitle(), MsgIcon::Warning, MsgButtons::Ok});
        return true;
    }
    return false;
}

void frmContador::btnOK_Click() {
    const Message code2{connectionMessage(2), messageTitle(), MsgIcon::Critical, MsgButtons::Ok};
    if (refuseUnfitStoredValue())
        return;

    // The server hears of the accountant before any field is checked.
    try {
        fnContador();
    } catch (const std::exception& e) {
        m_context.prompter->show(NetworkError::isCancel(e)
                                     ? Message{NetworkError::cancelledText(), messageTitle(),
                                               MsgIcon::Information, MsgButtons::Ok}
                                     : code2);
        return;
    }

    try {
        const AccountantForm::CheckOutcome outcome = AccountantForm::runChecks(fields(), [this] {
            return m_context.prompter->show({AccountantForm::kAskSemCrc, messageTitle(),
                                             MsgIcon::None, MsgButtons::YesNo}) == MsgAnswer::Yes;
        });
        erroMsg->setText(outcome.erroMsg);
        if (!outcome.passed())
            return;

        LocalDb db;
        replaceContador(db, outcome.row);
    } catch (const std::exception&) {
        m_context.prompter->show(
            {connectionMessage(1), messageTitle(), MsgIcon::Critical, MsgButtons::Ok});
        m_context.prompter->show(code2);
        return;
    }

    close();
    m_context.prompter->show({QStringLiteral("Contador cadastrado com sucesso"), messageTitle(),
                              MsgIcon::Information, MsgButtons::Ok});
}

void frmContador::Command1_Click() {
    close();
}

void frmContador::reject() {
    Command1_Click();
}

void frmContador::Command2_Click() {
    try {
        LocalDb db;
        deleteContador(db);
    } catch (const std::exception&) {
        m_context.prompter->show(
            {QStringLiteral("Não foi possível excluir o contador. Tente novamente mais tarde."),
             messageTitle(), MsgIcon::None, MsgButtons::Ok});
        return;
    }
    // Closed and loaded again, so the fields come back empty and enabled.
    close();
    if (m_context.windows)
        m_context.windows->show(kWindowName);
}

void frmContador::closeEvent(QCloseEvent* event) {
    if (m_context.windows && m_context.windows->loaded(kWindowName) == this)
        m_context.windows->unload(kWindowName);
    event->accept();
}

bool frmContador::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtCNPJCPF && event->type() == QEvent::FocusOut)
        txtCNPJCPF_LostFocus();
    return QDialog::eventFilter(watched, event);
}
