// The connection settings window: a thin form over ProxySettings.
#include "connection/ConnectionSettingsWindow.h"

#include "net/ProxySettings.h"
#include "net/ServerHost.h"
#include "platform/Prompter.h"
#include "shell/AppContext.h"
#include "shell/Emblem.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <exception>

namespace {
const QString kTitle = QStringLiteral("Conexão");
} // namespace

ConnectionSettingsWindow::ConnectionSettingsWindow(AppContext& context, QWidget* parent)
    : QDialog(parent), m_context(context) {
    setObjectName(QStringLiteral("ConnectionSettingsWindow"));
    setWindowTitle(kTitle);
    setWindowIcon(Emblem::icon());
    setAttribute(Qt::WA_DeleteOnClose);

    auto* intro =
        new QLabel(QStringLiteral("Como o programa chega ao servidor da prefeitura:"), this);
    optSistema = new QRadioButton(QStringLiteral("Usar o proxy do &sistema"), this);
    optSistema->setObjectName(QStringLiteral("optSistema"));
    optManual = new QRadioButton(QStringLiteral("Usar este &proxy:"), this);
    optManual->setObjectName(QStringLiteral("optManual"));
    optNenhum = new QRadioButton(QStringLiteral("&Nenhum proxy (conexão direta)"), this);
    optNenhum->setObjectName(QStringLiteral("optNenhum"));
    txtHost = new QLineEdit(this);
    txtHost->setObjectName(QStringLiteral("txtHost"));
    txtHost->setMaxLength(254);
    txtPorta = new QLineEdit(this);
    txtPorta->setObjectName(QStringLiteral("txtPorta"));
    txtPorta->setValidator(new QIntValidator(1, 65535, txtPorta));
    txtPorta->setMaxLength(5);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    cmdCancelar->setObjectName(QStringLiteral("cmdCancelar"));

    auto* form = new QFormLayout;
    form->setContentsMargins(24, 0, 0, 0);
    form->addRow(QStringLiteral("&Host:"), txtHost);
    form->addRow(QStringLiteral("P&orta:"), txtPorta);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancelar);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(optSistema);
    layout->addWidget(optManual);
    layout->addLayout(form);
    layout->addWidget(optNenhum);
    layout->addStretch(1);
    layout->addLayout(buttons);

    const ProxySettings::Settings now = ProxySettings::read();
    (now.mode == ProxySettings::Mode::Manual ? optManual
     : now.mode == ProxySettings::Mode::None ? optNenhum
                                             : optSistema)
        ->setChecked(true);
    txtHost->setText(now.host);
    txtPorta->setText(now.port > 0 ? QString::number(now.port) : QString());
    updateFields();

    for (QRadioButton* option : {optSistema, optManual, optNenhum})
        connect(option, &QRadioButton::toggled, this, &ConnectionSettingsWindow::updateFields);
    connect(cmdOK, &QPushButton::clicked, this, &ConnectionSettingsWindow::save);
    connect(cmdCancelar, &QPushButton::clicked, this, &QDialog::close);
}

void ConnectionSettingsWindow::updateFields() {
    txtHost->setEnabled(optManual->isChecked());
    txtPorta->setEnabled(optManual->isChecked());
}

void ConnectionSettingsWindow::save() {
    try {
        ProxySettings::Settings chosen;
        chosen.mode = optManual->isChecked()   ? ProxySettings::Mode::Manual
                      : optNenhum->isChecked() ? ProxySettings::Mode::None
                                               : ProxySettings::Mode::System;
        chosen.host = txtHost->text().trimmed();
        const uint port = txtPorta->text().trimmed().toUInt();
        chosen.port = port <= 65535 ? static_cast<quint16>(port) : 0;
        if (chosen.mode == ProxySettings::Mode::Manual &&
            (!ServerHost::isPlainHost(chosen.host) || chosen.port == 0)) {
            m_context.prompter->show({QStringLiteral("Informe o host (sem \"http://\" nem porta) e "
                                                     "a porta, de 1 a 65535, do proxy."),
                                      kTitle, MsgIcon::Warning, MsgButtons::Ok});
            (chosen.port == 0 && ServerHost::isPlainHost(chosen.host) ? txtPorta : txtHost)
                ->setFocus();
            return;
        }
        if (!ProxySettings::write(chosen)) {
            m_context.prompter->show({QStringLiteral("Não foi possível gravar as configurações de "
                                                     "conexão no arquivo dadav.ini."),
                                      kTitle, MsgIcon::Critical, MsgButtons::Ok});
            return;
        }
        close();
    } catch (const std::exception& e) {
        m_context.prompter->show({QStringLiteral("Erro ao gravar as configurações de conexão: ") +
                                      QString::fromLocal8Bit(e.what()),
                                  kTitle, MsgIcon::Critical, MsgButtons::Ok});
    }
}
