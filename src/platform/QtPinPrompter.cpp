// The PIN question as a desktop dialog.
#include "platform/QtPinPrompter.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>

std::optional<QString> QtPinPrompter::askPin(const QString& tokenLabel) {
    bool ok = false;
    const QString pin = QInputDialog::getText(
        QApplication::activeWindow(), QStringLiteral("PIN do token"),
        QStringLiteral("PIN do token %1:").arg(tokenLabel), QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return pin;
}
