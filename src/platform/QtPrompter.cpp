// Real message boxes: the one place that calls QMessageBox.
#include "platform/QtPrompter.h"

#include <QApplication>
#include <QMessageBox>

QString QtPrompter::defaultTitle() {
    return QStringLiteral("GIA - Prefeitura Municipal de Valdoria");
}

void QtPrompter::prepare(QMessageBox& box, const Message& message) {
    box.setWindowTitle(message.title.isEmpty() ? defaultTitle() : message.title);
    // Texts carry server answers and database messages: never read them as
    // markup. Line breaks are CR+LF; the label wants LF alone.
    box.setTextFormat(Qt::PlainText);
    QString text = message.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    box.setText(text);
    switch (message.icon) {
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    if (message.buttons != MsgButtons::Ok) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(message.buttons == MsgButtons::YesNo ? QMessageBox::Yes
                                                                  : QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
}

MsgAnswer QtPrompter::show(const Message& message) {
    QMessageBox box(QApplication::activeWindow());
    prepare(box, message);
    const int answer = box.exec();
    if (message.buttons != MsgButtons::Ok)
        return answer == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    return MsgAnswer::Ok;
}
