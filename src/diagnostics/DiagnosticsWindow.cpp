// The diagnostics window: a thin view over Diagnostics.
#include "diagnostics/DiagnosticsWindow.h"

#include "base/SupportLog.h"
#include "certificates/CertificateSources.h"
#include "certificates/CertificateStore.h"
#include "diagnostics/Diagnostics.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"
#include "shell/ProgramState.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

namespace {

const QString kTitle = QStringLiteral("Diagnóstico");

Diagnostics::Inputs inputsFor(const AppContext& context) {
    Diagnostics::Inputs in;
    // The version call asks about the taxpayer in use, as the program does at
    // every start; without one the server refuses the empty key, which still
    // shows that it answers.
    if (context.state) {
        in.ie = context.state->IE();
        in.key = context.state->Chave();
    }
    in.certificateFolder = CertificateStore::defaultFolder();
    // The sources the selection dialog lists, so this count is that list's.
    if (context.certificateSearch) {
        in.certificateSources = context.certificateSearch->sources();
        in.certificateTimeout = context.certificateSearch->timeout();
    }
    in.clock = context.clock;
    in.home = QDir::homePath();
    in.logFolder = SupportLog::folder();
    return in;
}

} // namespace

DiagnosticsWindow::DiagnosticsWindow(AppContext& context, QWidget* parent)
    : QDialog(parent), m_context(context),
      m_diagnostics(new Diagnostics(inputsFor(context), context.proxyAuth, this)) {
    setObjectName(QStringLiteral("DiagnosticsWindow"));
    setWindowTitle(kTitle);
    setWindowIcon(Emblem::icon());
    setAttribute(Qt::WA_DeleteOnClose);
    resize(720, 420);

    lblEstado = new QLabel(this);
    lblEstado->setObjectName(QStringLiteral("lblEstado"));
    txtRelatorio = new QPlainTextEdit(this);
    txtRelatorio->setObjectName(QStringLiteral("txtRelatorio"));
    txtRelatorio->setReadOnly(true);
    txtRelatorio->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtRelatorio->setAccessibleName(QStringLiteral("Relatório do diagnóstico"));
    cmdCopiar = new QPushButton(QStringLiteral("&Copiar relatório"), this);
    cmdCopiar->setObjectName(QStringLiteral("cmdCopiar"));
    cmdRepetir = new QPushButton(QStringLiteral("&Repetir"), this);
    cmdRepetir->setObjectName(QStringLiteral("cmdRepetir"));
    cmdCancelar = new QPushButton(QStringLiteral("C&ancelar"), this);
    cmdCancelar->setObjectName(QStringLiteral("cmdCancelar"));
    cmdFechar = new QPushButton(QStringLiteral("&Fechar"), this);
    cmdFechar->setObjectName(QStringLiteral("cmdFechar"));
    // Enter must not close the window by accident while the steps run.
    for (QPushButton* b : {cmdCopiar, cmdRepetir, cmdCancelar, cmdFechar})
        b->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdCopiar);
    buttons->addStretch(1);
    buttons->addWidget(cmdRepetir);
    buttons->addWidget(cmdCancelar);
    buttons->addWidget(cmdFechar);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblEstado);
    layout->addWidget(txtRelatorio, 1);
    layout->addLayout(buttons);

    connect(m_diagnostics, &Diagnostics::stepStarted, this, &DiagnosticsWindow::onStepStarted);
    connect(m_diagnostics, &Diagnostics::stepFinished, this, &DiagnosticsWindow::onStepFinished);
    connect(m_diagnostics, &Diagnostics::finished, this, &DiagnosticsWindow::onFinished);
    connect(cmdCopiar, &QPushButton::clicked, this, &DiagnosticsWindow::copyReport);
    connect(cmdRepetir, &QPushButton::clicked, this, &DiagnosticsWindow::runAgain);
    connect(cmdCancelar, &QPushButton::clicked, this, &DiagnosticsWindow::cancelRun);
    connect(cmdFechar, &QPushButton::clicked, this, &QDialog::close);

    runAgain();
}

void DiagnosticsWindow::showReport() {
    txtRelatorio->setPlainText(
        DiagnosticReport::text(m_diagnostics->steps(), m_diagnostics->startedAt()));
}

void DiagnosticsWindow::onStepStarted(const QString& name) {
    lblEstado->setText(QStringLiteral("Verificando: %1...").arg(name));
}

void DiagnosticsWindow::onStepFinished() {
    showReport();
}

void DiagnosticsWindow::onFinished() {
    showReport();
    const bool cancelled =
        !m_diagnostics->steps().isEmpty() &&
        m_diagnostics->steps().back().outcome == DiagnosticStep::Outcome::Cancelled;
    lblEstado->setText(cancelled ? QStringLiteral("Diagnóstico cancelado.")
                                 : QStringLiteral("Diagnóstico concluído."));
    cmdCancelar->setEnabled(false);
    cmdRepetir->setEnabled(true);
}

void DiagnosticsWindow::copyReport() {
    try {
        QString text = DiagnosticReport::text(m_diagnostics->steps(), m_diagnostics->startedAt());
        if (m_diagnostics->isRunning())
            text += QStringLiteral("(diagnóstico ainda em andamento)\n");
        QGuiApplication::clipboard()->setText(text);
        lblEstado->setText(QStringLiteral("Relatório copiado para a área de transferência."));
    } catch (const std::exception& e) {
        m_context.prompter->show({QStringLiteral("Não foi possível copiar o relatório: ") +
                                      QString::fromLocal8Bit(e.what()),
                                  kTitle, MsgIcon::Critical, MsgButtons::Ok});
    }
}

void DiagnosticsWindow::runAgain() {
    try {
        if (m_diagnostics->isRunning())
            return;
        txtRelatorio->clear();
        cmdCancelar->setEnabled(true);
        cmdRepetir->setEnabled(false);
        lblEstado->setText(QStringLiteral("Iniciando o diagnóstico..."));
        m_diagnostics->start();
    } catch (const std::exception& e) {
        m_context.prompter->show({QStringLiteral("Não foi possível iniciar o diagnóstico: ") +
                                      QString::fromLocal8Bit(e.what()),
                                  kTitle, MsgIcon::Critical, MsgButtons::Ok});
    }
}

void DiagnosticsWindow::cancelRun() {
    try {
        m_diagnostics->cancel();
    } catch (const std::exception& e) {
        m_context.prompter->show({QStringLiteral("Não foi possível cancelar o diagnóstico: ") +
                                      QString::fromLocal8Bit(e.what()),
                                  kTitle, MsgIcon::Critical, MsgButtons::Ok});
    }
}

void DiagnosticsWindow::closeEvent(QCloseEvent* event) {
    // Nothing of the steps may outlive the window: they stop here, before the
    // window goes.
    cancelRun();
    QDialog::closeEvent(event);
}
