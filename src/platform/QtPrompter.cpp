// Real message boxes: the one place that calls QMessageBox.
#include "platform/QtPrompter.h"

#include <QApplication>
#include <QMessageBox>

QString QtPrompter::defaultTitle() { return QStringLiteral("GIA - Prefeitura Municipal de Valdoria"); }

MsgAnswer QtPrompter::show(const Message& message) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(message.title.isEmpty() ? defaultTitle() : message.title);
    box.setText(message.text);
    switch (message.icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    if (message.buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MsgAnswer::Ok;
}
