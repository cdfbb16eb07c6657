// Shared controls and behaviour of the two taxpayer data windows.
#include "registry/TaxpayerWindow.h"

#include "base/RuntimeError.h"
#include "platform/MaskedEdit.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/ErrorReport.h"
#include "shell/WindowRegistry.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

template <class W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

TaxpayerWindow::TaxpayerWindow(AppContext& context, const QString& caption, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setWindowTitle(caption);
    setWindowIcon(Emblem::icon());

    fraContribuinte =
        named(new QGroupBox(QStringLiteral(" Contribuinte "), this), "fraContribuinte");
    const auto label = [this](const QString& text, const char* name, QWidget* buddy) {
        QLabel* l = named(new QLabel(text, fraContribuinte), name);
        l->setBuddy(buddy);
        return l;
    };

    txtIE = named(new MaskedEdit(fraContribuinte), "txtIE");
    txtIE->setMask(TaxpayerForm::kIeMask);
    lblIE = label(QStringLiteral("Inscrição Estadual"), "lblIE", txtIE);
    txtRazaoSocial = named(new QLineEdit(fraContribuinte), "txtRazaoSocial");
    lblRazaoSocial = label(QStringLiteral("Razão Social"), "lblRazaoSocial", txtRazaoSocial);
    txtCNPJ = named(new MaskedEdit(fraContribuinte), "txtCNPJ");
    txtCNPJ->setCnpjMask();
    lblCNPJ = label(QStringLiteral("CNPJ"), "lblCNPJ", txtCNPJ);
    txtCNAE = named(new MaskedEdit(fraContribuinte), "txtCNAE");
    txtCNAE->setMask(TaxpayerForm::kCnaeMask);
    lblCNAE = label(QStringLiteral("CNAE"), "lblCNAE", txtCNAE);
    txtInscMunicipal = named(new QLineEdit(fraContribuinte), "txtInscMunicipal");
    lblInscMunicipal =
        label(QStringLiteral("Insc. Municipal"), "lblInscMunicipal", txtInscMunicipal);
    Chave = named(new QLineEdit(fraContribuinte), "Chave");
    lblChave = label(QStringLiteral("Chave de Acesso"), "lblChave", Chave);
    flag_optantesimples = named(
        new QCheckBox(QStringLiteral("Contribuinte Optante do Simples Nacional"), fraContribuinte),
        "flag_optantesimples");

    // Masked fields are as wide as what they hold (the widest letter of the
    // alphanumeric CNPJ included); the name and the municipal registration
    // stretch.
    const auto fitText = [](QLineEdit* field, const QString& sample) {
        const int text = field->fontMetrics().horizontalAdvance(sample);
        field->setFixedWidth(text + field->fontMetrics().averageCharWidth() * 3);
    };
    fitText(txtIE, QStringLiteral("00000000"));
    fitText(txtCNPJ, QStringLiteral("WW.WWW.WWW/WWWW-00"));
    fitText(txtCNAE, QStringLiteral("0000-0/00"));
    fitText(Chave, QStringLiteral("WWWWWWWW"));
    txtInscMunicipal->setMinimumWidth(fontMetrics().averageCharWidth() * 24);

    m_fieldGrid = new QGridLayout(fraContribuinte);
    m_fieldGrid->setColumnStretch(2, 1);
    const struct {
        QLabel* label;
        QWidget* field;
    } rows[] = {{lblIE, txtIE},     {lblRazaoSocial, txtRazaoSocial},     {lblCNPJ, txtCNPJ},
                {lblCNAE, txtCNAE}, {lblInscMunicipal, txtInscMunicipal}, {lblChave, Chave}};
    static_assert(std::size(rows) == kChaveRow + 1);
    for (int r = 0; r < static_cast<int>(std::size(rows)); ++r) {
        m_fieldGrid->addWidget(rows[r].label, r, 0);
        // Free-text fields span the whole width; masked ones keep their size.
        if (rows[r].field == txtRazaoSocial || rows[r].field == txtInscMunicipal)
            m_fieldGrid->addWidget(rows[r].field, r, 1, 1, 2);
        else if (rows[r].field != Chave)
            m_fieldGrid->addWidget(rows[r].field, r, 1);
    }
    // The key field leads a row of its own, where a window may add a button.
    m_chaveRow = new QHBoxLayout;
    m_chaveRow->addWidget(Chave);
    m_chaveRow->addStretch(1);
    m_fieldGrid->addLayout(m_chaveRow, kChaveRow, 1, 1, 2);
    m_fieldGrid->addWidget(flag_optantesimples, kChaveRow + 1, 0, 1, 3);

    erroMsg = named(new QLabel(this), "erroMsg");
    erroMsg->setWordWrap(true);
    erroMsg->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    erroMsg->setMinimumHeight(fontMetrics().height() + 4);

    cmdOK = named(new QPushButton(QStringLiteral("&OK"), this), "cmdOK");
    cmdOK->setDefault(true);
    cmdCancelar = named(new QPushButton(QStringLiteral("&Cancelar"), this), "cmdCancelar");
    m_buttonRow = new QHBoxLayout;
    m_buttonRow->addStretch(1);
    m_buttonRow->addWidget(cmdOK);
    m_buttonRow->addWidget(cmdCancelar);

    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(14, 14, 14, 14);
    m_layout->addWidget(fraContribuinte);
    m_layout->addWidget(erroMsg);
    m_layout->addLayout(m_buttonRow);

    for (QWidget* watched : {static_cast<QWidget*>(txtIE), static_cast<QWidget*>(txtCNPJ)})
        watched->installEventFilter(this);
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancelar, &QPushButton::clicked, this, &TaxpayerWindow::cmdCancelar_Click);
}

void TaxpayerWindow::addNote(QLabel* note) {
    note->setWordWrap(true);
    m_layout->insertWidget(m_layout->indexOf(erroMsg), note);
}

TaxpayerForm::Fields TaxpayerWindow::fields() const {
    TaxpayerForm::Fields f;
    f.ie = txtIE->maskedText();
    f.razaoSocial = txtRazaoSocial->text();
    f.cnpj = txtCNPJ->maskedText();
    f.cnae = txtCNAE->maskedText();
    f.ccm = txtInscMunicipal->text();
    f.chave = Chave->text();
    f.optanteSimples = flag_optantesimples->isChecked();
    return f;
}

void TaxpayerWindow::txtCNPJ_LostFocus() {
    erroMsg->setText(TaxpayerForm::cnpjFocusMessage(txtCNPJ->maskedText()));
}

void TaxpayerWindow::cmdCancelar_Click() {
    close();
}

void TaxpayerWindow::reject() {
    cmdCancelar_Click();
}

void TaxpayerWindow::reportError(const std::exception& error) {
    if (const auto* runtime = dynamic_cast<const RuntimeError*>(&error)) {
        m_context.prompter->show(ErrorReport::ErrorMessage(*runtime));
        return;
    }
    m_context.prompter->show(ErrorReport::ErrorMessage(
        RuntimeError(0, objectName(), QString::fromLocal8Bit(error.what()))));
}

void TaxpayerWindow::closeEvent(QCloseEvent* event) {
    if (m_context.windows) {
        // Whatever disabled the main window while this one was open, closing
        // this one gives it back.
        if (QWidget* main = m_context.windows->loaded(QStringLiteral("Principal")))
            main->setEnabled(true);
        const QString name = QString::fromLatin1(metaObject()->className());
        if (m_context.windows->loaded(name) == this)
            m_context.windows->unload(name);
    }
    event->accept();
}

bool TaxpayerWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        // Only a move to another control counts as leaving the field; a box
        // or menu taking the focus for a moment does not.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == txtIE)
                txtIE_LostFocus();
            else if (watched == txtCNPJ)
                txtCNPJ_LostFocus();
        }
    }
    return QDialog::eventFilter(watched, event);
}
