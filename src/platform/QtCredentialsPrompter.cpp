// A modal dialog built on the spot; nothing it holds outlives it.
#include "platform/QtCredentialsPrompter.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

std::optional<Credentials> QtCredentialsPrompter::askProxyCredentials(const QString& proxy,
                                                                      bool refused,
                                                                      const QString& userName) {
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QStringLiteral("Autenticação no proxy"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* intro = new QLabel(
        refused ? QStringLiteral("O proxy %1 recusou o usuário ou a senha. Informe-os novamente.")
                      .arg(proxy)
                : QStringLiteral("O proxy %1 pede usuário e senha.").arg(proxy),
        &dialog);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    auto* user = new QLineEdit(userName, &dialog);
    auto* password = new QLineEdit(&dialog);
    password->setEchoMode(QLineEdit::Password);
    // A known user name is kept: only the password needs typing again.
    if (!userName.isEmpty())
        password->setFocus();
    form->addRow(QStringLiteral("&Usuário:"), user);
    form->addRow(QStringLiteral("&Senha:"), password);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return Credentials{user->text(), password->text()};
}
